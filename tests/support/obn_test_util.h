// Builders of OBN records and files for the observation-file tests.
#ifndef STANVEX_TESTS_SUPPORT_OBN_TEST_UTIL_H
#define STANVEX_TESTS_SUPPORT_OBN_TEST_UTIL_H

#include <cstring>
#include <string>
#include <vector>

#include "obsfiles/obn_file.h"

namespace stanvex::testing {

// An epoch with count measurements whose carried bytes are a pattern derived
// from time, so copies can be checked byte for byte.
struct TestEpoch {
  ObnPositionRecord position;
  std::vector<ObnMeasurementRecord> measurements;
};

inline TestEpoch MakeEpoch(double time, int count) {
  TestEpoch epoch{};
  unsigned char* raw = reinterpret_cast<unsigned char*>(&epoch.position);
  for (size_t i = 0; i < sizeof epoch.position; ++i)
    raw[i] = static_cast<unsigned char>(i * 7 + static_cast<int>(time));
  epoch.position.size = kObnPositionSize;
  epoch.position.count = static_cast<int8_t>(count);
  epoch.position.flags = 1;
  epoch.position.position1 = 47.0 + time / 1e6;
  epoch.position.position2 = 7.0;
  epoch.position.time = time;
  epoch.measurements.resize(static_cast<size_t>(count));
  for (int m = 0; m < count; ++m) {
    unsigned char* mr = reinterpret_cast<unsigned char*>(&epoch.measurements[static_cast<size_t>(m)]);
    for (size_t i = 0; i < sizeof(ObnMeasurementRecord); ++i)
      mr[i] = static_cast<unsigned char>(i * 3 + static_cast<size_t>(m) + static_cast<int>(time));
    epoch.measurements[static_cast<size_t>(m)].size = kObnMeasurementSize;
  }
  return epoch;
}

// The handle OpenObnForRead gives path, or null; why, when given, receives
// its Result.
inline ObnFile* OpenedObn(const std::string& path, int bufferSize = kObnBufferSize,
                          Result* why = nullptr) {
  ObnFile* file = nullptr;
  Result opened = OpenObnForRead(path.c_str(), bufferSize, &file);
  if (why != nullptr) *why = opened;
  return file;
}

// The handle CreateObn gives path, or null; why, when given, receives its
// Result.
inline ObnFile* CreatedObn(const std::string& path, int8_t carried, float interval,
                           int16_t bufferSize, int8_t maxChannels, Result* why = nullptr) {
  ObnFile* file = nullptr;
  Result created = CreateObn(path.c_str(), carried, interval, bufferSize, maxChannels, &file);
  if (why != nullptr) *why = created;
  return file;
}

// Writes epochs with the library's writer; returns false on any failure.
inline bool WriteObnFile(const std::string& path, const std::vector<TestEpoch>& epochs,
                         float interval = 30.0f, int8_t carried = 5) {
  ObnFile* file = CreatedObn(path, carried, interval, kObnBufferSize, kObnWriterChannels);
  if (file == nullptr) return false;
  bool ok = true;
  for (TestEpoch epoch : epochs)
    ok = ok && WriteObnEpoch(file, &epoch.position, epoch.measurements.data()).ok;
  return CloseObn(file).ok && ok;
}

// Raw bytes of a header, position and measurement records, for damaged files.
inline std::string RawHeader(int16_t size = kObnHeaderSize, int8_t maxChannels = 12) {
  ObnHeader header{};
  header.size = size;
  header.maxChannels = maxChannels;
  header.interval = 1.0f;
  return std::string(reinterpret_cast<const char*>(&header), sizeof header);
}

inline std::string RawEpoch(const TestEpoch& epoch) {
  std::string bytes(reinterpret_cast<const char*>(&epoch.position), sizeof epoch.position);
  bytes.append(reinterpret_cast<const char*>(epoch.measurements.data()),
               epoch.measurements.size() * sizeof(ObnMeasurementRecord));
  return bytes;
}

// Times of every epoch of a file read back; stops at the first damaged epoch.
inline std::vector<double> EpochTimes(const std::string& path) {
  std::vector<double> times;
  ObnFile* file = OpenedObn(path);
  if (file == nullptr) return times;
  ObnPositionRecord position;
  ObnMeasurementRecord measurements[kObnReaderRoom];
  while (ReadObnEpoch(file, &position, measurements).ok) {
    const double time = position.time;  // a packed field: copied, never bound by reference
    times.push_back(time);
  }
  CloseObn(file);
  return times;
}

}  // namespace stanvex::testing

#endif  // STANVEX_TESTS_SUPPORT_OBN_TEST_UTIL_H
