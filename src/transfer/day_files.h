// The record a daily download works on: whose files, for which day, with
// which login, and every name of the day's files. The retrieval request
// fills the first part, the download fills the names and types and tells
// whether the compact file stood in for the observation file.
//
// Ownership: `station` and `service` point into the loaded catalogue;
// `userName` and `password` point to the host's texts, which stay valid for
// the whole request (null means the anonymous login). Texts are
// NUL-terminated in fixed fields; every writer bounds its copy.
#ifndef STANVEX_TRANSFER_DAY_FILES_H
#define STANVEX_TRANSFER_DAY_FILES_H

#include <cstddef>
#include <cstdint>

#include "base/gps_time.h"
#include "stanvex.h"

namespace stanvex {

constexpr size_t kDayNameSize = 128;
constexpr size_t kDayTypeSize = 5;

// The files that serve a day's observations: its daily file (or compact
// file), or the hourly or 15-minute files that cover the window's part of
// the day.
enum SubDailyKind : int32_t { kDailyFile = 0, kHourlyFiles = 1, kQuarterHourFiles = 2 };
constexpr int32_t kMaxSubDailyFiles = 96;  // the 15-minute files of a whole day

struct DayFiles {
  StationRecord* station;            // the requested station; its sName names the day's files
  ServiceRecord* service;            // the station's service
  GpsTime day;                       // the day being handled (DownloadDay breaks it down)
  int32_t compactUsed;               // 1 when the compact RINEX file replaced the observation file
  const char* userName;              // FTP user, or null for anonymous
  const char* password;              // FTP password, or null for anonymous
  char obnName[kDayNameSize];        // the day's OBN file name
  char remoteObs[kDayNameSize];      // remote path of the observation file
  char remoteNav[kDayNameSize];      // remote path of the navigation file
  char remoteCompact[kDayNameSize];  // remote path of the compact RINEX file
  char localObs[kDayNameSize];       // downloaded observation file, still packed
  char localNav[kDayNameSize];       // downloaded navigation file
  char localCompact[kDayNameSize];   // downloaded compact RINEX file
  char plainObs[kDayNameSize];       // unpacked observation file (RINEX)
  char plainNav[kDayNameSize];       // unpacked navigation file (RINEX)
  char plainCompact[kDayNameSize];   // unpacked compact RINEX file
  char obsType[kDayTypeSize];        // compression type of the observation file
  char navType[kDayTypeSize];        // compression type of the navigation file
  char compactType[kDayTypeSize];    // compression type of the compact RINEX file
  // The request's window (whole GPS seconds, the end without a margin) and
  // interval (> 0 when the request asks for one); the window's part of the
  // day chooses the sub-daily files. A window that misses the day stands for
  // the whole day.
  int32_t windowStart;
  int32_t windowEnd;
  double interval;
  // Written by the download: which files serve the day and, for sub-daily
  // files, the second of the day each one starts at and whether it arrived
  // (then under SubDailyLocalName).
  int32_t subDailyKind;
  int32_t subDailyCount;
  int32_t subDailyStart[kMaxSubDailyFiles];
  uint8_t subDailyArrived[kMaxSubDailyFiles];
};

}  // namespace stanvex

#endif  // STANVEX_TRANSFER_DAY_FILES_H
