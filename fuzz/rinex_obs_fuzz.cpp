// Reads arbitrary bytes as a RINEX observation file, header and every epoch,
// through the converter's reader (from memory: the reader takes a line source).
#include <cstddef>
#include <cstdint>
#include <string>

#include "rinex_obs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  rin2obn::TextLineSource source(std::string(reinterpret_cast<const char*>(data), size));
  rin2obn::ObsReader reader(source, [](const std::string&) {});
  if (!reader.ReadHeader()) return 0;
  rin2obn::ObsEpoch epoch;
  while (reader.NextEpoch(epoch) == rin2obn::ObsReader::kEpoch) {
    // Touch every value so that a wrong size shows up under the sanitizers.
    volatile double sum = 0.0;
    for (int s = 0; s < epoch.SatelliteCount(); ++s)
      for (int t = 0; t < epoch.typeCount; ++t) sum = sum + epoch.Value(s, t) + epoch.Lli(s, t);
  }
  return 0;
}
