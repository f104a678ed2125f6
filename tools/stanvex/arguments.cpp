#include "arguments.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "base/gps_time.h"
#include "command.h"
#include "platform/platform.h"

namespace stanvex::cli {

namespace {

// The last time 32-bit GPS seconds can hold.
constexpr double kLastGpsSeconds = 2147483647.0;

int DaysInMonth(int year, int month) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

// True when text is a whole calendar time; *seconds receives its GPS seconds.
bool ParseCalendar(const std::string& text, double* seconds) {
  int year, month, day, hour = 0, minute = 0, second = 0;
  int used = 0;
  bool whole = std::sscanf(text.c_str(), "%4d-%2d-%2d%n", &year, &month, &day, &used) == 3 &&
               static_cast<size_t>(used) == text.size();
  if (!whole) {
    char separator = 0;
    used = 0;
    const int fields = std::sscanf(text.c_str(), "%4d-%2d-%2d%c%2d:%2d%n", &year, &month, &day,
                                   &separator, &hour, &minute, &used);
    if (fields != 6 || (separator != ' ' && separator != 'T')) return false;
    if (static_cast<size_t>(used) < text.size()) {
      int more = 0;
      if (std::sscanf(text.c_str() + used, ":%2d%n", &second, &more) != 1 ||
          static_cast<size_t>(used + more) != text.size())
        throw CommandFailure{"invalid time: " + text};
    }
  }
  if (year < 1980 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) ||
      hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59)
    throw CommandFailure{"invalid time: " + text + " (no such date or time)"};
  *seconds = static_cast<double>(GpsSecondsAt(year, month, day, hour, minute, second));
  return true;
}

}  // namespace

double ParseTime(const std::string& text) {
  double seconds = 0;
  if (!ParseCalendar(text, &seconds)) {
    char* end = nullptr;
    seconds = std::strtod(text.c_str(), &end);
    if (text.empty() || end == text.c_str() || *end != '\0' || !std::isfinite(seconds))
      throw CommandFailure{"invalid time (calendar time or GPS seconds): " + text};
  }
  if (seconds < 0)
    throw CommandFailure{"invalid time: " + text + " is before the start of GPS time (1980-01-06)"};
  if (seconds > kLastGpsSeconds)
    throw CommandFailure{"invalid time: " + text + " is after 2048-01-24 03:14:07 GPS, " +
                         "the last time 32-bit GPS seconds hold"};
  return seconds;
}

void CheckInterval(double seconds, const std::string& what) {
  if (!std::isfinite(seconds) || seconds < kFinestInterval) {
    char text[160];
    std::snprintf(text, sizeof text,
                  "invalid %s %g: give a number of seconds of at least %g", what.c_str(),
                  seconds, kFinestInterval);
    throw CommandFailure{text};
  }
}

void RefuseSameFile(const std::string& input, const std::string& output) {
  if (platform::SameFileName(input.c_str(), output.c_str()) ||
      platform::SameFile(input.c_str(), output.c_str()))
    throw CommandFailure{"the output " + output + " would overwrite the input " + input +
                         ": nothing was written"};
}

std::string ResolvePassword(const PasswordSources& sources, bool* present) {
  *present = true;
  if (sources.given) return sources.password;
  if (!sources.file.empty()) {
    std::ifstream file(sources.file, std::ios::binary);
    std::string line;
    if (!file || (!std::getline(file, line) && !file.eof()))
      throw CommandFailure{"cannot read the password file " + sources.file};
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
  }
  // The variable and the terminal serve a named user only: an anonymous
  // login must not carry a password meant for a private archive.
  if (sources.user.empty()) {
    const char* token = sources.token ? std::getenv("STANVEX_PASSWORD") : nullptr;
    *present = token != nullptr;
    return token != nullptr ? token : std::string();
  }
  if (const char* variable = std::getenv("STANVEX_PASSWORD")) return variable;
  if (platform::IsTerminal(0)) {
    char typed[256];
    const std::string prompt = "FTP password for " + sources.user + ": ";
    if (platform::ReadHiddenLine(prompt.c_str(), typed, sizeof typed)) return typed;
    throw CommandFailure{"no password was typed"};
  }
  *present = false;
  return std::string();
}

}  // namespace stanvex::cli
