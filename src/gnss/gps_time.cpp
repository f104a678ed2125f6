#include "gnss/gps_time.h"

#include <cmath>

namespace stanvex::gnss {

void CivilFromDays(int64_t days, int* year, int* month, int* day) {
  const int64_t z = days + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  *day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  *month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  *year = static_cast<int>(yoe + era * 400 + (*month <= 2 ? 1 : 0));
}

Calendar CalendarOf(int64_t gpsSeconds) {
  Calendar c{};
  const int64_t days = FloorDiv(gpsSeconds, kSecondsPerDay);
  const int64_t secondOfDay = gpsSeconds - days * kSecondsPerDay;
  CivilFromDays(days + kGpsEpochDays, &c.year, &c.month, &c.day);
  c.dayOfYear = static_cast<int>(days + kGpsEpochDays - DaysFromCivil(c.year, 1, 1) + 1);
  c.hour = static_cast<int>(secondOfDay / 3600);
  c.minute = static_cast<int>(secondOfDay % 3600 / 60);
  c.second = static_cast<int>(secondOfDay % 60);
  c.week = FloorDiv(gpsSeconds, kSecondsPerWeek);
  c.secondsOfWeek = gpsSeconds - c.week * kSecondsPerWeek;
  c.dayOfWeek = static_cast<int>(c.secondsOfWeek / kSecondsPerDay);
  return c;
}

int GpsWeekOf(double gpsSeconds) {
  return static_cast<int>(std::floor(gpsSeconds / static_cast<double>(kSecondsPerWeek)));
}

double SecondsOfWeekOf(double gpsSeconds) {
  return gpsSeconds - GpsWeekOf(gpsSeconds) * static_cast<double>(kSecondsPerWeek);
}

}  // namespace stanvex::gnss
