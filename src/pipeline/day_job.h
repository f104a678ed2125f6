// The record that carries one retrieval request through its days: what was
// asked, the day being handled and every file name of that day.
//
// Ownership: the retrieval request makes one DayJob (zeroed) per request and
// releases it when the day loop ends. `station` and `service` point into the
// loaded catalogue; `userName` and `password` point to the host's texts, which
// stay valid for the whole request (null means the anonymous login). Texts
// are NUL-terminated in fixed fields; every writer bounds its copy.
#ifndef STANVEX_PIPELINE_DAY_JOB_H
#define STANVEX_PIPELINE_DAY_JOB_H

#include <cstddef>
#include <cstdint>

#include "pipeline/gps_time.h"
#include "stanvex.h"

namespace stanvex {

constexpr size_t kDayJobDirSize = 256;
constexpr size_t kDayJobNameSize = 128;
constexpr size_t kDayJobTypeSize = 5;

struct DayJob {
  StationRecord* station;           // the requested station; its sName names the day's files
  ServiceRecord* service;           // the station's service
  char workDir[kDayJobDirSize];     // copy of WorkingDirectory
  char destDir[kDayJobDirSize];     // copy of the destination directory
  GpsTime windowStart;              // window start, whole seconds
  GpsTime windowEnd;                // window end, whole seconds, less 120 seconds
  GpsTime day;                      // the day being handled
  int32_t compactUsed;              // 1 when the compact RINEX file replaced the observation file
  const char* userName;             // FTP user, or null for anonymous
  const char* password;             // FTP password, or null for anonymous
  char obnName[kDayJobNameSize];    // the day's OBN file name
  char remoteObs[kDayJobNameSize];  // remote path of the observation file
  char remoteNav[kDayJobNameSize];  // remote path of the navigation file
  char remoteCompact[kDayJobNameSize];  // remote path of the compact RINEX file
  char localObs[kDayJobNameSize];       // downloaded observation file, still packed
  char localNav[kDayJobNameSize];       // downloaded navigation file
  char localCompact[kDayJobNameSize];   // downloaded compact RINEX file
  char plainObs[kDayJobNameSize];       // unpacked observation file (RINEX)
  char plainNav[kDayJobNameSize];       // unpacked navigation file (RINEX)
  char plainCompact[kDayJobNameSize];   // unpacked compact RINEX file
  char obsType[kDayJobTypeSize];        // compression type of the observation file
  char navType[kDayJobTypeSize];        // compression type of the navigation file
  char compactType[kDayJobTypeSize];    // compression type of the compact RINEX file
};

}  // namespace stanvex

#endif  // STANVEX_PIPELINE_DAY_JOB_H
