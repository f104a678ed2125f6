#include "catalogue/list_fields.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "catalogue/column_table.h"
#include "gnss/gps_time.h"

namespace stanvex {
namespace {

// Earth-centred points between these radii lie on the ground (the Dead Sea
// shore and the highest summits included).
constexpr double kMinRadius = 6.2e6;
constexpr double kMaxRadius = 6.5e6;

// True when year-month-day is a date of the proleptic Gregorian calendar.
bool IsCalendarDate(int year, int month, int day) {
  if (month < 1 || month > 12 || day < 1 || day > 31) return false;
  int y = 0, m = 0, d = 0;
  gnss::CivilFromDays(gnss::DaysFromCivil(year, month, day), &y, &m, &d);
  return y == year && m == month && d == day;
}

bool Digits(const std::string& text, size_t from, size_t count, int* value) {
  if (from + count > text.size()) return false;
  *value = 0;
  for (size_t i = from; i < from + count; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
    *value = *value * 10 + (text[i] - '0');
  }
  return true;
}

}  // namespace

std::vector<std::string> SplitAtBlanks(const std::string& line) {
  std::vector<std::string> fields;
  size_t at = 0;
  while (at < line.size()) {
    while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
    size_t end = at;
    while (end < line.size() && line[end] != ' ' && line[end] != '\t') ++end;
    if (end > at) fields.push_back(line.substr(at, end - at));
    at = end;
  }
  return fields;
}

std::string CheckShortName(const std::string& name, std::string* shortName) {
  const std::string shown = "\"" + Printable(name.substr(0, 32)) + (name.size() > 32 ? "...\"" : "\"");
  if (name.find('\0') != std::string::npos) return "the name " + shown + " holds a NUL byte";
  bool plain = name.size() == 4;
  for (char c : name) plain = plain && std::isalnum(static_cast<unsigned char>(c));
  if (!plain) return "the name " + shown + " is not 4 letters or digits";
  shortName->clear();
  for (char c : name) *shortName += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return std::string();
}

bool ReadFiniteNumber(const std::string& field, double* value) {
  if (field.empty() || field.size() > 64) return false;
  errno = 0;
  char* end = nullptr;
  const double parsed = std::strtod(field.c_str(), &end);
  if (end != field.c_str() + field.size() || errno != 0 || !std::isfinite(parsed)) return false;
  *value = parsed;
  return true;
}

std::string CheckEarthCentred(double x, double y, double z, ImportedStation* station) {
  const double radius = std::sqrt(x * x + y * y + z * z);
  if (!(radius >= kMinRadius && radius <= kMaxRadius)) return "X Y Z do not lie on the earth's surface";
  EcefToGeodetic(x, y, z, &station->latitude, &station->longitude, &station->height);
  return std::string();
}

bool ReadDay(const std::string& text, bool dashes, int32_t* day) {
  int year = 0, month = 0, dayOfMonth = 0;
  if (dashes) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') return false;
    if (!Digits(text, 0, 4, &year) || !Digits(text, 5, 2, &month) || !Digits(text, 8, 2, &dayOfMonth))
      return false;
  } else if (!Digits(text, 0, 4, &year) || !Digits(text, 4, 2, &month) ||
             !Digits(text, 6, 2, &dayOfMonth)) {
    return false;
  }
  if (year < 1900 || year > 2199 || !IsCalendarDate(year, month, dayOfMonth)) return false;
  *day = static_cast<int32_t>(gnss::DaysFromCivil(year, month, dayOfMonth));
  return true;
}

std::string DayText(int32_t day) {
  int year = 0, month = 0, dayOfMonth = 0;
  gnss::CivilFromDays(day, &year, &month, &dayOfMonth);
  char text[40];  // room for any int32 parts
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", year, month, dayOfMonth);
  return text;
}

}  // namespace stanvex
