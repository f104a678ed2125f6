#include "base/gps_time.h"

namespace stanvex {

namespace {

// Seconds from 1980-01-01 00:00:00 to the GPS epoch.
constexpr int64_t kEpochOffset = 5LL * kSecondsPerDay;

int DaysInYear(int64_t year) { return year % 4 == 0 ? 366 : 365; }

int64_t FloorDiv(int64_t a, int64_t b) {
  return a / b - ((a % b != 0 && (a < 0) != (b < 0)) ? 1 : 0);
}

}  // namespace

void GpsTime::Clear() { *this = GpsTime{}; }

void GpsTime::ComputeFromSeconds() {
  // 64-bit and floor division, so that instants near the ends of the 32-bit
  // range and (out of contract) before the epoch still give a valid date.
  int64_t s = seconds;
  int64_t w = FloorDiv(s, kSecondsPerWeek);
  week = static_cast<int32_t>(w);
  secondsOfWeek = static_cast<int32_t>(s - w * kSecondsPerWeek);
  dayOfWeek = secondsOfWeek / kSecondsPerDay;

  int64_t r = s + kEpochOffset;
  int64_t y = 1980;
  while (r < 0) {
    --y;
    r += static_cast<int64_t>(DaysInYear(y)) * kSecondsPerDay;
  }
  while (r >= static_cast<int64_t>(DaysInYear(y)) * kSecondsPerDay) {
    r -= static_cast<int64_t>(DaysInYear(y)) * kSecondsPerDay;
    ++y;
  }
  year = static_cast<int32_t>(y);
  dayOfYear = static_cast<int32_t>(r / kSecondsPerDay + 1);

  static const int kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  int remaining = dayOfYear;
  month = 12;
  for (int m = 0; m < 12; ++m) {
    int length = kMonthDays[m] + (m == 1 && y % 4 == 0 ? 1 : 0);
    if (remaining <= length) {
      month = m + 1;
      break;
    }
    remaining -= length;
  }
  day = remaining;
}

int64_t GpsSecondsAt(int year, int month, int day, int hour, int minute, int second) {
  static const int kDaysBeforeMonth[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
  int64_t days = 0;  // from 1980-01-01
  for (int y = 1980; y < year; ++y) days += DaysInYear(y);
  for (int y = year; y < 1980; ++y) days -= DaysInYear(y);
  if (month >= 1 && month <= 12) days += kDaysBeforeMonth[month - 1];
  if (month > 2 && year % 4 == 0) days += 1;
  days += day - 1;
  return days * kSecondsPerDay + hour * 3600LL + minute * 60LL + second - kEpochOffset;
}

}  // namespace stanvex
