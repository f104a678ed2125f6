// The stations of the loaded catalogue nearest to a position (the work of
// iFindClosestStation).
#include "catalogue/nearest.h"

#include <cctype>
#include <cmath>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/exchange_order.h"

namespace stanvex {

namespace {

constexpr double kEarthRadius = 6371000.0;
const double kPi = std::acos(-1.0);

double Radians(float degrees, float minutes, float seconds, char hemisphere, char negative) {
  double angle =
      (minutes * (1.0 / 60.0) + seconds * (1.0 / 3600.0) + degrees) * kPi * (1.0 / 180.0);
  return std::tolower(static_cast<unsigned char>(hemisphere)) == negative ? -angle : angle;
}

struct Candidate {
  int32_t station;
  double distance;
};

// The exchange sort by distance over every entry.
void SortAll(std::vector<Candidate>& list) {
  std::vector<int32_t> rank = RanksOf(static_cast<int32_t>(list.size()), [&](int32_t a, int32_t b) {
    return list[static_cast<size_t>(a)].distance < list[static_cast<size_t>(b)].distance;
  });
  std::vector<int32_t> order = ExchangeOrder(rank);
  std::vector<Candidate> sorted(list.size());
  for (size_t i = 0; i < order.size(); ++i) sorted[i] = list[static_cast<size_t>(order[i])];
  list.swap(sorted);
}

// The exchange sort of a list whose entries before the last are in order:
// only its last pass can exchange anything.
void SortLast(std::vector<Candidate>& list) {
  size_t last = list.size() - 1;
  for (size_t k = 0; k < last; ++k)
    if (list[k].distance > list[last].distance) std::swap(list[k], list[last]);
}

}  // namespace

double StationDistance(const StationRecord& station, double latitude, double longitude) {
  double phi0 = latitude * kPi * (1.0 / 180.0);
  double lambda0 = longitude * kPi * (1.0 / 180.0);
  double phi = Radians(station.latDeg, station.latMin, station.latSec, station.latHem, 's');
  double lambda = Radians(station.lonDeg, station.lonMin, station.lonSec, station.lonHem, 'w');
  double x = std::cos(phi) * (lambda - lambda0) * kEarthRadius;
  double y = (phi - phi0) * kEarthRadius;
  return std::sqrt(x * x + y * y);
}

Result FindClosestStations(double latitude, double longitude, double maximumDistance,
                           int32_t wanted, std::vector<StationRecord*>* found) {
  Serv_Sta* catalogue = nullptr;
  Result loaded = RequireLoadedCatalogue(&catalogue);
  if (!loaded.ok) return loaded.WithHeading(kNearestHeading);

  size_t room = static_cast<size_t>(wanted);
  std::vector<Candidate> list;
  list.reserve(room < static_cast<size_t>(catalogue->iNumStations)
                   ? room
                   : static_cast<size_t>(catalogue->iNumStations));
  bool sorted = true;
  for (int32_t i = 0; i < catalogue->iNumStations; ++i) {
    StationRecord& station = catalogue->pStations[i];
    double d = StationDistance(station, latitude, longitude);
    station.distance = d;
    if (list.size() < room) {
      if (d <= maximumDistance) {
        list.push_back({i, d});
        sorted = false;
      }
      continue;
    }
    if (!sorted) {
      SortAll(list);
      sorted = true;
    }
    // At equal distance the station earlier in the catalogue stays.
    if (d < list.back().distance) {
      list.back() = {i, d};
      SortLast(list);
    }
  }
  if (!sorted) SortAll(list);

  found->clear();
  for (const Candidate& candidate : list) found->push_back(&catalogue->pStations[candidate.station]);
  return Result::Success();
}

}  // namespace stanvex
