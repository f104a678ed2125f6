// The stations of a list that a catalogue takes: those that recorded data
// lately, those that another list also holds (a network's positions, kept
// where a holdings list shows them active), less those named.
#ifndef STANVEX_CATALOGUE_STATION_SELECTION_H
#define STANVEX_CATALOGUE_STATION_SELECTION_H

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "catalogue/station_lists.h"

namespace stanvex {

// Two stations of one name lie within this distance when they are one
// station: positions of one station in two lists differ by their frames and
// epochs (centimetres to a few metres), two stations that share a name lie
// kilometres apart or more.
constexpr double kSameStationMetres = 1000.0;

struct StationSelection {
  int32_t activeSince = kNoDay;            // kNoDay: no condition
  const ListedStations* onlyIn = nullptr;  // null: no condition
  std::string onlyInName;                  // how messages name onlyIn
  std::set<std::string> except;            // short names, lower case
};

struct SelectedStations {
  std::vector<ImportedStation> stations;  // in list order
  std::vector<std::string> problems;      // names shared with a station elsewhere
  int32_t excepted = 0;    // named in except
  int32_t notInOther = 0;  // not in onlyIn
  int32_t elsewhere = 0;   // in onlyIn under the same name, but farther than kSameStationMetres
  int32_t inactive = 0;    // last day of data before activeSince, or not known
};

// The stations of list that selection keeps. A station's last day of data
// is the later of what list and onlyIn give; with activeSince, a station
// that neither gives a day for is left out.
SelectedStations SelectStations(const ListedStations& list, const StationSelection& selection);

// Metres between two stations along the earth's surface (sphere of radius
// 6371 km; heights left aside).
double SurfaceDistance(const ImportedStation& a, const ImportedStation& b);

}  // namespace stanvex

#endif  // STANVEX_CATALOGUE_STATION_SELECTION_H
