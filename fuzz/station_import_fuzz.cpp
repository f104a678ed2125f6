// Reads arbitrary bytes as a station list and writes the Station blocks of
// what it accepted; the blocks must name only plain, bounded values.
#include <cstddef>
#include <cstdint>
#include <string>

#include "catalogue/station_import.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  stanvex::StationList list = stanvex::ParseStationList(text);
  for (const stanvex::ImportedStation& s : list.stations) {
    if (s.shortName.size() != 4) __builtin_trap();
    if (!s.longName.empty() && s.longName.size() != 9) __builtin_trap();
    if (!(s.latitude >= -90 && s.latitude <= 90)) __builtin_trap();
    if (!(s.longitude >= -180 && s.longitude <= 180)) __builtin_trap();
  }
  std::string blocks = stanvex::StationBlocks(list.stations, "FUZZ");
  if (blocks.find("../") != std::string::npos) __builtin_trap();
  return 0;
}
