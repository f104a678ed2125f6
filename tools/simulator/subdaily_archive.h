// The sub-daily products of the sample archive, for one service laid out as
// NOAA's CORS archive and one laid out as BKG's IGS tree:
//
// SIMNOAA: RINEX 2 short names, gzip, a folder per station and day.
//   <YYYY>/<JJJ>/<xxxx>/<xxxx><JJJ>0.<yy>o.gz .d.gz .n.gz  daily observation, compact, nav
//   <YYYY>/<JJJ>/<xxxx>/<xxxx><JJJ><h>.<yy>o.gz            hourly observation (h a-x)
//   <YYYY>/<JJJ>/brdc<JJJ>0.<yy>n.gz                        merged navigation, rebuilt hourly
// SIMBKG: RINEX 3 long names, compact RINEX 3, gzip.
//   IGS/obs/<YYYY>/<JJJ>/<XXXXMRCCC>_R_<YYYY><JJJ>0000_01D_30S_MO.crx.gz    daily
//   IGS/nrt/<JJJ>/<HH>/<XXXXMRCCC>_R_<YYYY><JJJ><HH>00_01H_30S_MO.crx.gz    hourly
//   IGS/highrate/<YYYY>/<JJJ>/<h>/<XXXXMRCCC>_R_<YYYY><JJJ><HH><MM>_15M_01S_MO.crx.gz
//                                                             15 minutes at 1 s
//   IGS/BRDC/<YYYY>/<JJJ>/BRDM00DLR_S_<YYYY><JJJ>0000_01D_MN.rnx.gz         daily navigation
//   IGS/BRDC/<YYYY>/<JJJ>/BRDC00WRD_S_<YYYY><JJJ>0000_01D_MN.rnx.gz         rolling navigation
// (30S is the archive's interval.) Hourly files and the rolling navigation
// file exist for every day; the 15-minute files only for the last two hours
// of "today", the day after the daily files, which has only these.
#ifndef STANVEX_SIM_SUBDAILY_ARCHIVE_H
#define STANVEX_SIM_SUBDAILY_ARCHIVE_H

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "sample_archive.h"

namespace stanvex::sim {

// The two services; interval (seconds) gives the long names' data-frequency field.
std::vector<ArchiveService> SubDailyServices(double interval);
// One station of each: simh (SIMNOAA), simq (SIMBKG, long name SIMQ00DEU).
std::vector<ArchiveStation> SubDailyStations();

// The hours [first, end) of today that 15-minute 1 Hz files cover when
// todayHours hours of it are published.
struct HourSpan {
  int first = 0;
  int end = 0;
};
HourSpan HighRateHours(int todayHours);

// The name, below the output folder's recorded/, of the plain RINEX file of
// the first 1 Hz hour as recorded, for comparing a retrieval from the
// 15-minute files with a conversion of the hour itself.
std::string RecordedHourName(const ArchiveStation& station, int64_t hourGps);

// Stores data under a service's remote path (packed as the service packs,
// recorded as written); false with the caller's error set.
using PutFile = std::function<bool(const ArchiveService& service, const std::string& remote,
                                   const std::string& data, const SimTime& stamp)>;

// Compact RINEX of a whole observation file (version 3.0 for RINEX 3), its
// program line dated startGps.
bool EncodeCompact(bool rinex3, const std::string& rinex, int64_t startGps, std::string* compact,
                   std::string* error);

// The observation header of a station's file starting at firstEpoch.
std::string StationHeader(const ArchiveService& service, const ArchiveStation& station,
                          const ObservationOptions& options, const Vec3& truePosition,
                          const SimTime& firstEpoch);

// A day's formatted epochs, hour by hour, with the time of each hour's
// first epoch; an hour without epochs has an empty text.
struct HourTexts {
  std::array<std::string, 24> text;
  std::array<SimTime, 24> first;
};

// The hourly files of a station's day: compact for RINEX 3 services, plain
// otherwise; none for an hour without epochs.
bool PutHourlyFiles(const ArchiveService& service, const ArchiveStation& station,
                    const ObservationOptions& options, const Vec3& truePosition,
                    const HourTexts& hours, const PutFile& put, std::string* error);

// The service's rolling navigation file of the day starting at dayGps,
// holding what was broadcast in its first hours (24 for a day that ended).
bool PutRollingNavigation(const ArchiveService& service, int64_t dayGps, int hours,
                          const PutFile& put);

// The 15-minute 1 Hz files of a station's today (todayGps its first second),
// from a simulation at 1 s of its high-rate hours; *recordedHour receives
// the plain text of the first of them.
bool PutHighRateFiles(const ArchiveService& service, const ArchiveStation& station,
                      const ArchiveOptions& options, int64_t todayGps, const PutFile& put,
                      std::string* recordedHour, std::string* error);

}  // namespace stanvex::sim

#endif  // STANVEX_SIM_SUBDAILY_ARCHIVE_H
