// GPS time for the converter: seconds since 1980-01-06 00:00:00 GPS as a
// double, and its week / second-of-week split. No leap seconds: RINEX GPS
// files and broadcast ephemerides are in GPS time throughout.
#ifndef STANVEX_RIN2OBN_GNSS_TIME_H
#define STANVEX_RIN2OBN_GNSS_TIME_H

#include <cmath>
#include <cstdint>

namespace rin2obn {

constexpr double kSecondsPerWeek = 604800.0;
constexpr double kHalfWeek = 302400.0;

// Days from 1970-01-01 to the given proleptic Gregorian date.
inline int64_t DaysFromCivil(int64_t year, int month, int day) {
  year -= month <= 2 ? 1 : 0;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t yoe = year - era * 400;
  const int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

constexpr int64_t kGpsEpochDays = 3657;  // 1980-01-06 counted from 1970-01-01

// GPS seconds of a calendar instant given in GPS time.
inline double GpsSecondsFromCalendar(int year, int month, int day, int hour, int minute,
                                     double second) {
  const int64_t days = DaysFromCivil(year, month, day) - kGpsEpochDays;
  return static_cast<double>(days * 86400 + hour * 3600 + minute * 60) + second;
}

inline int GpsWeekOf(double gpsSeconds) {
  return static_cast<int>(std::floor(gpsSeconds / kSecondsPerWeek));
}

inline double SecondsOfWeekOf(double gpsSeconds) {
  return gpsSeconds - GpsWeekOf(gpsSeconds) * kSecondsPerWeek;
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
