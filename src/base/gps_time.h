// One instant in GPS time and its calendar breakdown.
#ifndef STANVEX_BASE_GPS_TIME_H
#define STANVEX_BASE_GPS_TIME_H

#include <cstdint>

#include "gnss/gps_time.h"

namespace stanvex {

constexpr int32_t kSecondsPerWeek = static_cast<int32_t>(gnss::kSecondsPerWeek);
constexpr int32_t kSecondsPerDay = static_cast<int32_t>(gnss::kSecondsPerDay);

// Seconds before the end of a window that do not count toward another day:
// a window ending in the first two minutes of a day does not fetch that day.
constexpr int32_t kEndMargin = 120;

// GPS seconds count whole seconds since 1980-01-06 00:00:00 (a Sunday), with
// no leap seconds (the arithmetic is gnss/gps_time.h's).
//
// Usage: store the instant in `seconds`, call ComputeFromSeconds(); to move
// the instant, add to `seconds` and call it again.
struct GpsTime {
  int32_t dayOfYear;      // 1..366
  int32_t year;           // four digits
  int32_t month;          // 1..12
  int32_t day;            // 1..31
  int32_t week;           // GPS week without rollover
  int32_t dayOfWeek;      // 0 (Sunday)..6
  int32_t seconds;        // the instant (input), must not be negative
  int32_t secondsOfWeek;  // 0..604799

  // Sets all eight fields to 0.
  void Clear();
  // Fills the seven other fields from `seconds`. Cannot fail.
  void ComputeFromSeconds();
};

// GPS seconds of a calendar instant (no leap seconds), the inverse of
// ComputeFromSeconds. Fields are not range-checked: callers validate them
// (a month outside 1..12 counts as January).
int64_t GpsSecondsAt(int year, int month, int day, int hour, int minute, int second);

static_assert(sizeof(GpsTime) == 32, "GpsTime is eight 32-bit integers");

}  // namespace stanvex

#endif  // STANVEX_BASE_GPS_TIME_H
