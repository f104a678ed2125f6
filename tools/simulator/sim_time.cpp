#include "sim_time.h"

#include <cmath>

#include "gps_constants.h"

namespace stanvex::sim {
namespace {

// Days from 1970-01-01 of a proleptic Gregorian date.
constexpr int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int* year, int* month, int* day) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  *day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  *month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  *year = static_cast<int>(yoe + era * 400 + (*month <= 2));
}

// constexpr, so that static initializers elsewhere may already convert dates.
constexpr int64_t kGpsEpochDays = DaysFromCivil(1980, 1, 6);

}  // namespace

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
  return (DaysFromCivil(year, month, day) - kGpsEpochDays) * kSecondsPerDay;
}

CalendarTime ToCalendar(const SimTime& t) {
  CalendarTime c;
  int64_t days = t.whole / kSecondsPerDay;
  int64_t secondOfDay = t.whole % kSecondsPerDay;
  if (secondOfDay < 0) {
    secondOfDay += kSecondsPerDay;
    --days;
  }
  CivilFromDays(days + kGpsEpochDays, &c.year, &c.month, &c.day);
  c.hour = static_cast<int>(secondOfDay / 3600);
  c.minute = static_cast<int>(secondOfDay % 3600 / 60);
  c.second = static_cast<double>(secondOfDay % 60) + t.fraction;
  c.dayOfYear = static_cast<int>(DaysFromCivil(c.year, c.month, c.day) -
                                   DaysFromCivil(c.year, 1, 1) + 1);
  int64_t week = t.whole / kSecondsPerWeek;
  int64_t sow = t.whole % kSecondsPerWeek;
  if (sow < 0) {
    sow += kSecondsPerWeek;
    --week;
  }
  c.gpsWeek = static_cast<int>(week);
  c.secondsOfWeek = static_cast<double>(sow) + t.fraction;
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
