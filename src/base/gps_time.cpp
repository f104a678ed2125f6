#include "base/gps_time.h"

#include "gnss/gps_time.h"

namespace stanvex {

void GpsTime::Clear() { *this = GpsTime{}; }

void GpsTime::ComputeFromSeconds() {
  // 64-bit and floor division, so that instants near the ends of the 32-bit
  // range and (out of contract) before the epoch still give a valid date.
  const gnss::Calendar c = gnss::CalendarOf(seconds);
  week = static_cast<int32_t>(c.week);
  secondsOfWeek = static_cast<int32_t>(c.secondsOfWeek);
  dayOfWeek = c.dayOfWeek;
  year = c.year;
  dayOfYear = c.dayOfYear;
  month = c.month;
  day = c.day;
}

int64_t GpsSecondsAt(int year, int month, int day, int hour, int minute, int second) {
  return gnss::GpsSecondsOf(year, month, day, hour, minute, second);
}

}  // namespace stanvex
