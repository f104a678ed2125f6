#include "sim_time.h"

#include <cmath>

#include "gnss/gps_time.h"
#include "gps_constants.h"

namespace stanvex::sim {

SimTime SimTime::FromSeconds(double seconds) {
  SimTime t;
  t.whole = static_cast<int64_t>(std::floor(seconds));
  t.fraction = seconds - static_cast<double>(t.whole);
  return t;
}

SimTime SimTime::Plus(double seconds) const {
  SimTime t = *this;
  const double wholePart = std::floor(seconds);
  t.whole += static_cast<int64_t>(wholePart);
  t.fraction += seconds - wholePart;
  if (t.fraction >= 1.0) {
    t.whole += 1;
    t.fraction -= 1.0;
  }
  return t;
}

double Diff(const SimTime& a, const SimTime& b) {
  return static_cast<double>(a.whole - b.whole) + (a.fraction - b.fraction);
}

int64_t GpsSecondsOfDate(int year, int month, int day) {
  return gnss::GpsSecondsOf(year, month, day);
}

CalendarTime ToCalendar(const SimTime& t) {
  const gnss::Calendar whole = gnss::CalendarOf(t.whole);
  CalendarTime c;
  c.year = whole.year;
  c.month = whole.month;
  c.day = whole.day;
  c.hour = whole.hour;
  c.minute = whole.minute;
  c.second = whole.second + t.fraction;
  c.dayOfYear = whole.dayOfYear;
  c.gpsWeek = static_cast<int>(whole.week);
  c.secondsOfWeek = static_cast<double>(whole.secondsOfWeek) + t.fraction;
  return c;
}

int LeapSecondsAt(int64_t gpsSeconds) {
  // Dates (UTC) from which GPS - UTC took each value; the offset of the
  // date itself is the count of earlier leap seconds.
  static const int kSteps[][3] = {
      {1981, 7, 1}, {1982, 7, 1}, {1983, 7, 1}, {1985, 7, 1}, {1988, 1, 1}, {1990, 1, 1},
      {1991, 1, 1}, {1992, 7, 1}, {1993, 7, 1}, {1994, 7, 1}, {1996, 1, 1}, {1997, 7, 1},
      {1999, 1, 1}, {2006, 1, 1}, {2009, 1, 1}, {2012, 7, 1}, {2015, 7, 1}, {2017, 1, 1}};
  int leap = 0;
  for (const auto& step : kSteps) {
    if (gpsSeconds >= GpsSecondsOfDate(step[0], step[1], step[2]) + leap + 1) ++leap;
  }
  return leap;
}

}  // namespace stanvex::sim
