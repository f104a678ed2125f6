// Expands arbitrary remote-name templates for an arbitrary day and station,
// alone and as a service's three templates. The input is laid out as
//   4 bytes   GPS seconds of the day (made non-negative)
//   8 bytes   the station's sName (not necessarily terminated)
//   5 bytes   the service's Ftype (not necessarily terminated)
//   1 byte    hasDFile (bit 0), the station has a long name (bit 1)
//   the rest  observation, navigation and compact templates, split at '\n';
//             each fills its 256-byte field, terminated only when shorter.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "base/gps_time.h"
#include "stanvex.h"
#include "transfer/day_files.h"
#include "transfer/file_names.h"

namespace {

// Copies the next '\n'-separated piece of data into field (size bytes).
void TakePiece(const uint8_t*& data, size_t& size, char* field, size_t fieldSize) {
  const uint8_t* end = static_cast<const uint8_t*>(std::memchr(data, '\n', size));
  size_t length = end ? static_cast<size_t>(end - data) : size;
  std::memset(field, 0, fieldSize);
  std::memcpy(field, data, length < fieldSize ? length : fieldSize);
  size_t used = end ? length + 1 : length;
  data += used;
  size -= used;
}

// A name field must hold its terminator within its size.
void CheckTerminated(const char* field, size_t size) {
  if (strnlen(field, size) >= size) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 18) return 0;
  uint32_t raw;
  std::memcpy(&raw, data, 4);
  ServiceRecord service{};
  StationRecord station{};
  std::memcpy(station.sName, data + 4, sizeof station.sName);
  std::memcpy(service.Ftype, data + 12, sizeof service.Ftype);
  service.hasDFile = data[17] & 1;
  data += 18;
  size -= 18;
  TakePiece(data, size, service.oFile, sizeof service.oFile);
  TakePiece(data, size, service.nFile, sizeof service.nFile);
  TakePiece(data, size, service.dFile, sizeof service.dFile);

  stanvex::DayFiles job{};
  job.station = &station;
  job.service = &service;
  job.day.seconds = static_cast<int32_t>(raw & 0x7fffffff);
  job.day.ComputeFromSeconds();

  char output[stanvex::kTemplateSize] = {};
  stanvex::InterprutFileFormat(job.day, output, service.oFile, station.sName);
  CheckTerminated(output, sizeof output);

  // Long names and '|' alternatives: every choice fits its name field.
  stanvex::PathChoices choices;
  const char* long_name = (data[-1] & 2) != 0 ? "ABCD00XYZ" : nullptr;
  if (stanvex::ExpandChoices(job.day, service.nFile, station.sName, long_name, &choices).ok) {
    if (choices.count < 1 || choices.count > stanvex::kMaxAlternatives) __builtin_trap();
    for (int i = 0; i < choices.count; ++i)
      CheckTerminated(choices.paths[i], stanvex::kDayNameSize);
  }

  // The same template as a sub-daily one, for a file starting on a quarter
  // hour of the day (the tokens <h>, <HH> and <MM>).
  stanvex::GpsTime start = job.day;
  const int64_t quarter = job.day.seconds - job.day.seconds % stanvex::kSecondsPerDay +
                          int64_t{raw >> 25 & 0x7f} % 96 * 900;
  start.seconds = quarter > INT32_MAX ? job.day.seconds : static_cast<int32_t>(quarter);
  start.ComputeFromSeconds();
  if (stanvex::ExpandSubDailyChoices(start, service.nFile, station.sName, long_name, &choices).ok) {
    if (choices.count < 1 || choices.count > stanvex::kMaxAlternatives) __builtin_trap();
    for (int i = 0; i < choices.count; ++i)
      CheckTerminated(choices.paths[i], stanvex::kDayNameSize);
  }

  if (stanvex::BuildDayFileNames(&job).ok) {
    const char* fields[] = {job.obnName,   job.remoteObs, job.remoteNav, job.remoteCompact,
                            job.localObs,  job.localNav,  job.localCompact, job.plainObs,
                            job.plainNav,  job.plainCompact};
    for (const char* field : fields) CheckTerminated(field, stanvex::kDayNameSize);
  }
  return 0;
}
