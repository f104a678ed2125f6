// Real-data helpers for the converter tests: the shared files, unpacked or
// copied into a scratch directory, and the epochs of a written OBN file.
#ifndef STANVEX_TESTS_SUPPORT_REAL_DATA_H
#define STANVEX_TESTS_SUPPORT_REAL_DATA_H

#include <zlib.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "obn_format.h"
#include "test_support.h"

namespace real_data {

// Writes the gzip file source, unpacked, to target. False when it cannot.
inline bool Gunzip(const std::string& source, const std::string& target) {
  gzFile in = gzopen(source.c_str(), "rb");
  if (in == nullptr) return false;
  std::string text;
  char buffer[65536];
  int n;
  while ((n = gzread(in, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(n));
  gzclose(in);
  stanvex::testing::WriteFile(target, text);
  return n == 0;
}

struct Epoch {
  stanvex::ObnPositionRecord position;
  std::vector<stanvex::ObnMeasurementRecord> measurements;
};

struct ObnContent {
  stanvex::ObnHeader header;
  std::vector<Epoch> epochs;
  bool wellFormed = false;  // every record complete, nothing after the last
};

inline ObnContent ReadObn(const std::string& path) {
  ObnContent content;
  const std::string bytes = stanvex::testing::ReadFile(path);
  if (bytes.size() < sizeof content.header) return content;
  std::memcpy(&content.header, bytes.data(), sizeof content.header);
  size_t offset = sizeof content.header;
  while (offset + sizeof(stanvex::ObnPositionRecord) <= bytes.size()) {
    Epoch epoch;
    std::memcpy(&epoch.position, bytes.data() + offset, sizeof epoch.position);
    offset += sizeof epoch.position;
    if (epoch.position.count < 0) return content;
    epoch.measurements.resize(static_cast<size_t>(epoch.position.count));
    const size_t size = epoch.measurements.size() * sizeof(stanvex::ObnMeasurementRecord);
    if (offset + size > bytes.size()) return content;
    if (size > 0) std::memcpy(epoch.measurements.data(), bytes.data() + offset, size);
    offset += size;
    content.epochs.push_back(epoch);
  }
  content.wellFormed = offset == bytes.size();
  return content;
}

// East, north, up offset (metres) of a latitude/longitude/height from ref.
inline void LocalOffset(const double ref[3], double latitude, double longitude, double height,
                        double enu[3]) {
  const double a = 6378137.0, f = 1.0 / 298.257223563, e2 = f * (2.0 - f);
  const double degree = 3.14159265358979323846 / 180.0;
  const double la = latitude * degree, lo = longitude * degree;
  const double v = a / std::sqrt(1.0 - e2 * std::sin(la) * std::sin(la));
  const double xyz[3] = {(v + height) * std::cos(la) * std::cos(lo),
                         (v + height) * std::cos(la) * std::sin(lo),
                         (v * (1.0 - e2) + height) * std::sin(la)};
  const double d[3] = {xyz[0] - ref[0], xyz[1] - ref[1], xyz[2] - ref[2]};
  enu[0] = -std::sin(lo) * d[0] + std::cos(lo) * d[1];
  enu[1] = -std::sin(la) * std::cos(lo) * d[0] - std::sin(la) * std::sin(lo) * d[1] +
           std::cos(la) * d[2];
  enu[2] = std::cos(la) * std::cos(lo) * d[0] + std::cos(la) * std::sin(lo) * d[1] +
           std::sin(la) * d[2];
}

}  // namespace real_data

#endif  // STANVEX_TESTS_SUPPORT_REAL_DATA_H
