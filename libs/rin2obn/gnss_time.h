// GPS time for the converter: seconds since 1980-01-06 00:00:00 GPS as a
// double, and its week / second-of-week split (the arithmetic is the
// shared gnss/gps_time.h). No leap seconds: RINEX GPS files and broadcast
// ephemerides are in GPS time throughout.
#ifndef STANVEX_RIN2OBN_GNSS_TIME_H
#define STANVEX_RIN2OBN_GNSS_TIME_H

#include <cstdint>

#include "gnss/gps_time.h"

namespace rin2obn {

constexpr double kSecondsPerWeek = static_cast<double>(stanvex::gnss::kSecondsPerWeek);
constexpr double kHalfWeek = kSecondsPerWeek / 2;

using stanvex::gnss::GpsWeekOf;
using stanvex::gnss::SecondsOfWeekOf;

// GPS seconds of a calendar instant given in GPS time.
inline double GpsSecondsFromCalendar(int year, int month, int day, int hour, int minute,
                                     double second) {
  return static_cast<double>(stanvex::gnss::GpsSecondsOf(year, month, day, hour, minute)) +
         second;
}

// Two-digit RINEX 2 years: 80-99 are 1980-1999, 00-79 are 2000-2079.
inline int FullYear(int year) {
  if (year >= 100) return year;
  return year < 80 ? year + 2000 : year + 1900;
}

// True when the fields form a calendar date and time this converter handles.
inline bool PlausibleCalendar(int year, int month, int day, int hour, int minute, double second) {
  return year >= 1980 && year <= 2079 && month >= 1 && month <= 12 && day >= 1 && day <= 31 &&
         hour >= 0 && hour <= 24 && minute >= 0 && minute <= 60 && second >= 0.0 &&
         second <= 61.0;
}

}  // namespace rin2obn

#endif  // STANVEX_RIN2OBN_GNSS_TIME_H
