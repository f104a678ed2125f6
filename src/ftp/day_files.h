// The record a daily download works on: whose files, for which day, with
// which login, and every name of the day's files. The retrieval request
// fills the first part, the download fills the names and types and tells
// whether the compact file stood in for the observation file.
//
// Ownership: `station` and `service` point into the loaded catalogue;
// `userName` and `password` point to the host's texts, which stay valid for
// the whole request (null means the anonymous login). Texts are
// NUL-terminated in fixed fields; every writer bounds its copy.
#ifndef STANVEX_FTP_DAY_FILES_H
#define STANVEX_FTP_DAY_FILES_H

#include <cstddef>
#include <cstdint>

#include "base/gps_time.h"
#include "stanvex.h"

namespace stanvex {

constexpr size_t kDayNameSize = 128;
constexpr size_t kDayTypeSize = 5;

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
};

}  // namespace stanvex

#endif  // STANVEX_FTP_DAY_FILES_H
