// GPS time as used by the simulator: whole seconds since 1980-01-06 00:00:00
// (GPS scale, no leap seconds) plus a fraction, so that differences of nearby
// instants keep sub-nanosecond precision whatever the date.
#ifndef STANVEX_SIM_SIM_TIME_H
#define STANVEX_SIM_SIM_TIME_H

#include <cstdint>

namespace stanvex::sim {

struct SimTime {
  int64_t whole = 0;    // seconds since the GPS epoch
  double fraction = 0;  // [0, 1) normally; any value is accepted by Diff

  static SimTime FromSeconds(double seconds);
  SimTime Plus(double seconds) const;
};

// a - b in seconds.
double Diff(const SimTime& a, const SimTime& b);

struct CalendarTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0;
  double second = 0;
  int dayOfYear = 0;
  int gpsWeek = 0;
  double secondsOfWeek = 0;
};

CalendarTime ToCalendar(const SimTime& t);

// GPS seconds of year/month/day 00:00:00. Years from 1980 to 2099.
int64_t GpsSecondsOfDate(int year, int month, int day);

// GPS - UTC in whole seconds at the given GPS time.
int LeapSecondsAt(int64_t gpsSeconds);

}  // namespace stanvex::sim

#endif  // STANVEX_SIM_SIM_TIME_H
