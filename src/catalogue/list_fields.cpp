#include "catalogue/list_fields.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "catalogue/column_table.h"

namespace stanvex {
namespace {

// Earth-centred points between these radii lie on the ground (the Dead Sea
// shore and the highest summits included).
constexpr double kMinRadius = 6.2e6;
constexpr double kMaxRadius = 6.5e6;

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Days from 1970-01-01 to a valid date of the proleptic Gregorian calendar.
int32_t DaysFromCivil(int year, int month, int day) {
  year -= month <= 2 ? 1 : 0;
  const int era = year / 400;
  const int yearOfEra = year - era * 400;
  const int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
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
  if (year < 1900 || year > 2199 || month < 1 || month > 12 || dayOfMonth < 1 ||
      dayOfMonth > DaysInMonth(year, month))
    return false;
  *day = DaysFromCivil(year, month, dayOfMonth);
  return true;
}

std::string DayText(int32_t day) {
  // The inverse of DaysFromCivil.
  const int32_t z = day + 719468;
  const int32_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int32_t dayOfEra = z - era * 146097;
  const int32_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int32_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int32_t monthIndex = (5 * dayOfYear + 2) / 153;
  const int32_t dayOfMonth = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
  const int32_t month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
  const int32_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
  char text[40];  // room for any int32 parts
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", static_cast<int>(year),
                static_cast<int>(month), static_cast<int>(dayOfMonth));
  return text;
}

}  // namespace stanvex
