// Reads arbitrary bytes as a published station list (any format: the input
// picks it, as the command's detection does), chooses among its stations
// against itself, and writes the Station blocks; every station kept must be
// a plain 4-character name at a place on the ground.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

#include "catalogue/station_lists.h"
#include "catalogue/station_selection.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  stanvex::ListedStations list = stanvex::ReadStationList(text);
  if (!list.refusal.empty() && !list.stations.empty()) __builtin_trap();
  for (const stanvex::ListedStation& s : list.stations) {
    if (s.station.shortName.size() != 4) __builtin_trap();
    for (char c : s.station.shortName)
      if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) __builtin_trap();
    if (!(s.station.latitude >= -90 && s.station.latitude <= 90)) __builtin_trap();
    if (!(s.station.longitude >= -180 && s.station.longitude <= 180)) __builtin_trap();
    if (!std::isfinite(s.station.height)) __builtin_trap();
    if (list.givesLastDay && s.lastDay == stanvex::kNoDay) __builtin_trap();
  }
  stanvex::StationSelection selection;
  selection.onlyIn = &list;
  selection.activeSince = 0;
  stanvex::SelectedStations selected = stanvex::SelectStations(list, selection);
  if (selected.stations.size() > list.stations.size()) __builtin_trap();
  std::string blocks = stanvex::StationBlocks(selected.stations, "FUZZ");
  if (blocks.find('\0') != std::string::npos) __builtin_trap();
  return 0;
}
