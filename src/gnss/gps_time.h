// GPS time arithmetic, once for the core, the converter library and the
// simulator: GPS seconds count from 1980-01-06 00:00:00 (a Sunday) in GPS
// time, with no leap seconds, and break down into the proleptic Gregorian
// calendar and GPS weeks (never rolled over).
#ifndef STANVEX_GNSS_GPS_TIME_H
#define STANVEX_GNSS_GPS_TIME_H

#include <cstdint>

namespace stanvex::gnss {

constexpr int64_t kSecondsPerDay = 86400;
constexpr int64_t kSecondsPerWeek = 604800;

// a / b rounded toward minus infinity (b > 0).
constexpr int64_t FloorDiv(int64_t a, int64_t b) {
  return a / b - ((a % b != 0 && (a < 0) != (b < 0)) ? 1 : 0);
}

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar
// (month 1..12; a day outside the month counts on from its first).
constexpr int64_t DaysFromCivil(int64_t year, int month, int day) {
  year -= month <= 2 ? 1 : 0;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t yoe = year - era * 400;
  const int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

// The date of a count of days from 1970-01-01.
void CivilFromDays(int64_t days, int* year, int* month, int* day);

// 1980-01-06, the GPS epoch, counted from 1970-01-01.
constexpr int64_t kGpsEpochDays = DaysFromCivil(1980, 1, 6);

// GPS seconds of a calendar instant given in GPS time. A month outside
// 1..12 counts as January.
constexpr int64_t GpsSecondsOf(int year, int month, int day, int hour = 0, int minute = 0,
                               int64_t second = 0) {
  const int m = month >= 1 && month <= 12 ? month : 1;
  return (DaysFromCivil(year, m, day) - kGpsEpochDays) * kSecondsPerDay + hour * 3600LL +
         minute * 60LL + second;
}

// The calendar breakdown of whole GPS seconds.
struct Calendar {
  int year;
  int month;      // 1..12
  int day;        // 1..31
  int dayOfYear;  // 1..366
  int hour, minute, second;
  int64_t week;           // GPS week
  int dayOfWeek;          // 0 (Sunday)..6
  int64_t secondsOfWeek;  // 0..604799
};

Calendar CalendarOf(int64_t gpsSeconds);

// Week and second of week of GPS seconds with a fraction.
int GpsWeekOf(double gpsSeconds);
double SecondsOfWeekOf(double gpsSeconds);

}  // namespace stanvex::gnss

#endif  // STANVEX_GNSS_GPS_TIME_H
