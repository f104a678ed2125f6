#include "catalogue/station_selection.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

namespace stanvex {
namespace {

constexpr double kEarthRadius = 6371000.0;
const double kRadians = std::acos(-1.0) / 180.0;

std::string Describe(const std::string& name, int32_t line) {
  return "station " + name + (line > 0 ? " (line " + std::to_string(line) + ")" : "");
}

}  // namespace

double SurfaceDistance(const ImportedStation& a, const ImportedStation& b) {
  const double phi1 = a.latitude * kRadians, phi2 = b.latitude * kRadians;
  const double dPhi = phi2 - phi1, dLambda = (b.longitude - a.longitude) * kRadians;
  const double h = std::sin(dPhi / 2) * std::sin(dPhi / 2) +
                   std::cos(phi1) * std::cos(phi2) * std::sin(dLambda / 2) * std::sin(dLambda / 2);
  return 2 * kEarthRadius * std::asin(std::sqrt(std::min(1.0, h)));
}

SelectedStations SelectStations(const ListedStations& list, const StationSelection& selection) {
  SelectedStations selected;
  std::map<std::string, const ListedStation*> other;
  if (selection.onlyIn != nullptr)
    for (const ListedStation& s : selection.onlyIn->stations) other.emplace(s.station.shortName, &s);
  for (const ListedStation& listed : list.stations) {
    const std::string& name = listed.station.shortName;
    if (selection.except.count(name) != 0) {
      ++selected.excepted;
      continue;
    }
    int32_t lastDay = listed.lastDay;
    if (selection.onlyIn != nullptr) {
      auto found = other.find(name);
      if (found == other.end()) {
        ++selected.notInOther;
        continue;
      }
      const ListedStation& there = *found->second;
      const double metres = SurfaceDistance(listed.station, there.station);
      if (metres > kSameStationMetres) {
        char distance[32];
        std::snprintf(distance, sizeof distance, "%.3f km", metres / 1000.0);
        selected.problems.push_back(Describe(name, listed.line) + " lies " + distance + " from " +
                                    Describe(name, there.line) + " of " + selection.onlyInName +
                                    ": another station of the same name");
        ++selected.elsewhere;
        continue;
      }
      if (there.lastDay != kNoDay) lastDay = std::max(lastDay, there.lastDay);
    }
    if (selection.activeSince != kNoDay && (lastDay == kNoDay || lastDay < selection.activeSince)) {
      ++selected.inactive;
      continue;
    }
    selected.stations.push_back(listed.station);
  }
  return selected;
}

}  // namespace stanvex
