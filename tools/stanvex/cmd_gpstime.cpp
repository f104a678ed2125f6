// stanvex gpstime TIME...: converts between calendar time (no leap seconds)
// and GPS time. TIME is "YYYY-MM-DD[ HH:MM:SS]", GPS seconds, "WEEK:SOW"
// (week and second of week) or "YYYY-DOY" (year and day of year, 00:00:00).
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "base/gps_time.h"
#include "command.h"

namespace {

using stanvex::GpsTime;

bool IsLeap(int year) { return year % 4 == 0; }

int DaysInMonth(int year, int month) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return kDays[month - 1] + (month == 2 && IsLeap(year) ? 1 : 0);
}

[[noreturn]] void Fail(const std::string& text) {
  throw stanvex::cli::CommandFailure{"Error cannot read the time '" + text +
                                     "': give YYYY-MM-DD[ HH:MM:SS], GPS seconds, WEEK:SOW or "
                                     "YYYY-DOY from 1980-01-06 to 2048-01-24"};
}

// GPS seconds of text, or a failure naming it.
int64_t ParseTime(const std::string& text) {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  long long a = 0, b = 0;
  char tail = 0;
  int64_t seconds = -1;
  if (std::sscanf(text.c_str(), "%d-%d-%d %d:%d:%d %c", &year, &month, &day, &hour, &minute,
                  &second, &tail) == 6 ||
      std::sscanf(text.c_str(), "%d-%d-%d %c", &year, &month, &day, &tail) == 3) {
    if (year < 1980 || year > 2048 || month < 1 || month > 12 || day < 1 ||
        day > DaysInMonth(year, month) || hour < 0 || hour > 23 || minute < 0 || minute > 59 ||
        second < 0 || second > 59)
      Fail(text);
    seconds = stanvex::GpsSecondsAt(year, month, day, hour, minute, second);
  } else if (std::sscanf(text.c_str(), "%lld-%lld %c", &a, &b, &tail) == 2) {
    if (a >= 1980 && a <= 2048 && b >= 1 && b <= (IsLeap(static_cast<int>(a)) ? 366 : 365))
      seconds = stanvex::GpsSecondsAt(static_cast<int>(a), 1, 1, 0, 0, 0) +
                (b - 1) * stanvex::kSecondsPerDay;
  } else if (std::sscanf(text.c_str(), "%lld:%lld %c", &a, &b, &tail) == 2) {
    if (a >= 0 && a < 10000 && b >= 0 && b < stanvex::kSecondsPerWeek)
      seconds = a * stanvex::kSecondsPerWeek + b;
  } else if (std::sscanf(text.c_str(), "%lld %c", &a, &tail) == 1) {
    seconds = a;
  }
  if (seconds < 0 || seconds > 2147483647LL) Fail(text);
  return seconds;
}

stanvex::cli::CommandRegistration gpstimeRegistration([](CLI::App& app) {
  auto* command = app.add_subcommand("gpstime", "Convert between calendar time and GPS time");
  auto times = std::make_shared<std::vector<std::string>>();
  command
      ->add_option("TIME", *times, "\"YYYY-MM-DD[ HH:MM:SS]\", GPS seconds, WEEK:SOW or YYYY-DOY")
      ->required();
  command->callback([times] {
    std::vector<int32_t> seconds;
    for (const std::string& text : *times) seconds.push_back(static_cast<int32_t>(ParseTime(text)));
    std::printf("%-19s %11s %5s %7s %3s %3s\n", "calendar", "gps seconds", "week", "sow", "dow",
                "doy");
    for (int32_t instant : seconds) {
      GpsTime t;
      t.Clear();
      t.seconds = instant;
      t.ComputeFromSeconds();
      int of_day = t.secondsOfWeek % stanvex::kSecondsPerDay;
      std::printf("%04d-%02d-%02d %02d:%02d:%02d %11d %5d %7d %3d %3d\n", t.year, t.month, t.day,
                  of_day / 3600, of_day / 60 % 60, of_day % 60, t.seconds, t.week, t.secondsOfWeek,
                  t.dayOfWeek, t.dayOfYear);
    }
  });
});

}  // namespace
