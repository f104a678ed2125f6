// Reads arbitrary bytes as a RINEX 3 or 4 observation file (choosing the
// GPS signals as the converter does) and as a RINEX 3 or 4 navigation file,
// through the converter's readers. Each reader turns the other's files away
// at the first line, so one corpus serves both.
#include <cstddef>
#include <cstdint>
#include <string>

#include "orbit.h"
#include "rinex_nav.h"
#include "rinex_obs.h"
#include "signal_choice.h"

namespace {

void ReadObservations(const std::string& text) {
  rin2obn::TextLineSource source(text);
  rin2obn::ObsReader reader(source, [](const std::string&) {});
  if (!reader.ReadHeader()) return;
  rin2obn::SignalChoice choice;
  rin2obn::ObsEpoch epoch;
  while (reader.NextEpoch(epoch) == rin2obn::ObsReader::kEpoch) {
    choice.Count(reader.header(), epoch);
    // Touch every value so that a wrong size shows up under the sanitizers.
    volatile double sum = 0.0;
    for (int s = 0; s < epoch.SatelliteCount(); ++s)
      for (int t = 0; t < epoch.typeCount; ++t) sum = sum + epoch.Value(s, t) + epoch.Lli(s, t);
  }
  choice.Choose();
  for (int prn = 0; prn <= rin2obn::SignalChoice::kMaxPrn + 1; ++prn) {
    const rin2obn::SlotSignals g = choice.For(reader.header(), prn);
    if (g.l2Strength >= static_cast<int>(reader.header().TypesOf('G').size())) __builtin_trap();
  }
}

void ReadNavigation(const std::string& text) {
  rin2obn::TextLineSource source(text);
  rin2obn::NavReader reader(source, [](const std::string&) {});
  if (!reader.ReadHeader()) return;
  rin2obn::EphemerisStore store;
  rin2obn::Ephemeris eph;
  while (reader.Next(eph)) {
    store.Add(eph);
    volatile double x = rin2obn::ComputeSatellite(eph, eph.toeSeconds + 60.0).position[0];
    (void)x;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  ReadObservations(text);
  ReadNavigation(text);
  return 0;
}
