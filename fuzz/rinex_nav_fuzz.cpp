// Reads arbitrary bytes as a RINEX GPS navigation file and computes the
// satellite position of every ephemeris read, through the converter's code.
#include <cstddef>
#include <cstdint>
#include <string>

#include "orbit.h"
#include "rinex_nav.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  rin2obn::TextLineSource source(std::string(reinterpret_cast<const char*>(data), size));
  rin2obn::NavReader reader(source, [](const std::string&) {});
  if (!reader.ReadHeader()) return 0;
  rin2obn::EphemerisStore store;
  rin2obn::Ephemeris eph;
  while (reader.Next(eph)) {
    store.Add(eph);
    volatile double x = rin2obn::ComputeSatellite(eph, eph.toeSeconds + 60.0).position[0];
    (void)x;
  }
  if (store.size() > 0) store.Select(store.All()[0].prn, store.All()[0].toeSeconds);
  return 0;
}
