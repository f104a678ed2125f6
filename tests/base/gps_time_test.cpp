#include "base/gps_time.h"

#include <gtest/gtest.h>

namespace stanvex {
namespace {

GpsTime At(int32_t seconds) {
  GpsTime t;
  t.Clear();
  t.seconds = seconds;
  t.ComputeFromSeconds();
  return t;
}

void ExpectDate(const GpsTime& t, int year, int day_of_year, int month, int day) {
  EXPECT_EQ(t.year, year) << t.seconds;
  EXPECT_EQ(t.dayOfYear, day_of_year) << t.seconds;
  EXPECT_EQ(t.month, month) << t.seconds;
  EXPECT_EQ(t.day, day) << t.seconds;
}

// Seconds of 00:00:00 on 1 January of year (years 1981..2099).
int32_t NewYear(int year) {
  int32_t days = 361;  // 1980-01-06 .. 1981-01-01
  for (int y = 1981; y < year; ++y) days += y % 4 == 0 ? 366 : 365;
  return days * kSecondsPerDay;
}

TEST(GpsTime, ClearZeroesEveryField) {
  GpsTime t = At(123456789);
  t.Clear();
  EXPECT_EQ(
      t.dayOfYear + t.year + t.month + t.day + t.week + t.dayOfWeek + t.seconds + t.secondsOfWeek,
      0);
}

TEST(GpsTime, EpochIsSundaySixthOfJanuary1980) {
  GpsTime t = At(0);
  EXPECT_EQ(t.week, 0);
  EXPECT_EQ(t.secondsOfWeek, 0);
  EXPECT_EQ(t.dayOfWeek, 0);
  ExpectDate(t, 1980, 6, 1, 6);
  ExpectDate(At(361 * kSecondsPerDay), 1981, 1, 1, 1);
}

TEST(GpsTime, WeekBoundaries) {
  GpsTime last = At(kSecondsPerWeek - 1);
  EXPECT_EQ(last.week, 0);
  EXPECT_EQ(last.dayOfWeek, 6);
  EXPECT_EQ(last.secondsOfWeek, kSecondsPerWeek - 1);
  GpsTime next = At(kSecondsPerWeek);
  EXPECT_EQ(next.week, 1);
  EXPECT_EQ(next.dayOfWeek, 0);
  EXPECT_EQ(next.secondsOfWeek, 0);
}

TEST(GpsTime, YearEndsAndNewYears) {
  for (int year = 1981; year <= 2047; ++year) {  // int32 seconds reach 2048
    bool leap = year % 4 == 0;
    ExpectDate(At(NewYear(year + 1) - 1), year, leap ? 366 : 365, 12, 31);
    ExpectDate(At(NewYear(year + 1)), year + 1, 1, 1, 1);
    if (HasFailure()) return;
  }
}

TEST(GpsTime, LeapDayAndMonthStarts) {
  ExpectDate(At(NewYear(2000) + 59 * kSecondsPerDay + 12 * 3600), 2000, 60, 2, 29);
  ExpectDate(At(NewYear(2000) + 60 * kSecondsPerDay), 2000, 61, 3, 1);
  ExpectDate(At(NewYear(2021) + 59 * kSecondsPerDay), 2021, 60, 3, 1);
  ExpectDate(At(NewYear(2021) + 333 * kSecondsPerDay), 2021, 334, 11, 30);
  ExpectDate(At(NewYear(2021) + 334 * kSecondsPerDay), 2021, 335, 12, 1);
}

TEST(GpsTime, WeeksAreNotRolledOver) {
  // 2021-01-01 00:00:00 is week 2138, Friday.
  GpsTime t = At(NewYear(2021));
  EXPECT_EQ(t.week, 2138);
  EXPECT_EQ(t.dayOfWeek, 5);
  EXPECT_EQ(t.secondsOfWeek, 5 * kSecondsPerDay);
  ExpectDate(t, 2021, 1, 1, 1);
}

TEST(GpsTime, LargestSecondsDoNotOverflow) {
  GpsTime t = At(2147483647);
  EXPECT_EQ(t.week, 3550);
  EXPECT_EQ(t.year, 2048);
  EXPECT_GE(t.secondsOfWeek, 0);
}

TEST(GpsTime, SecondsBeforeTheEpochGiveAValidDate) {
  GpsTime t = At(-1);
  EXPECT_EQ(t.week, -1);
  EXPECT_EQ(t.secondsOfWeek, kSecondsPerWeek - 1);
  EXPECT_EQ(t.dayOfWeek, 6);
  ExpectDate(t, 1980, 5, 1, 5);
  ExpectDate(At(-6 * kSecondsPerDay), 1979, 365, 12, 31);
}

TEST(GpsSecondsAt, InvertsComputeFromSeconds) {
  EXPECT_EQ(GpsSecondsAt(1980, 1, 6, 0, 0, 0), 0);
  EXPECT_EQ(GpsSecondsAt(2021, 1, 1, 0, 0, 0), NewYear(2021));
  for (int32_t s = -2 * kSecondsPerDay; s < 2000000000; s += 7777777) {
    GpsTime t = At(s);
    int32_t of_day = (t.secondsOfWeek % kSecondsPerDay);
    EXPECT_EQ(GpsSecondsAt(t.year, t.month, t.day, of_day / 3600, of_day / 60 % 60, of_day % 60),
              s);
  }
}

}  // namespace
}  // namespace stanvex
