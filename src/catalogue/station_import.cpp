#include "catalogue/station_import.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <set>

namespace stanvex {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kSemiMajor = 6378137.0;
constexpr double kFlattening = 1.0 / 298.257223563;
// Points this far from the earth's centre are taken as X Y Z (and must lie
// between the bounds to be a place on the ground).
constexpr double kEcefThreshold = 1.0e6;
constexpr double kMinRadius = 6.2e6;
constexpr double kMaxRadius = 6.5e6;
constexpr size_t kMaxLineLength = 4096;

std::string Trim(const std::string& text) {
  size_t first = 0;
  size_t last = text.size();
  while (first < last && std::isspace(static_cast<unsigned char>(text[first]))) ++first;
  while (last > first && std::isspace(static_cast<unsigned char>(text[last - 1]))) --last;
  return text.substr(first, last - first);
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::vector<std::string> SplitFields(const std::string& line) {
  std::vector<std::string> fields;
  char separator = line.find(',') != std::string::npos   ? ','
                   : line.find(';') != std::string::npos ? ';'
                                                         : ' ';
  if (separator == ' ') {
    std::string field;
    for (char c : line) {
      if (c == ' ' || c == '\t') {
        if (!field.empty()) fields.push_back(field);
        field.clear();
      } else {
        field += c;
      }
    }
    if (!field.empty()) fields.push_back(field);
    return fields;
  }
  size_t start = 0;
  for (;;) {
    size_t end = line.find(separator, start);
    fields.push_back(Trim(line.substr(start, end == std::string::npos ? end : end - start)));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return fields;
}

bool Number(const std::string& field, double* value) {
  std::string text = Trim(field);
  if (text.empty() || text.size() > 64) return false;
  errno = 0;
  char* end = nullptr;
  double parsed = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size() || errno != 0 || !std::isfinite(parsed)) return false;
  *value = parsed;
  return true;
}

bool AllAlphanumeric(const std::string& text) {
  for (char c : text)
    if (!std::isalnum(static_cast<unsigned char>(c))) return false;
  return !text.empty();
}

// Column positions; -1 when absent.
struct Columns {
  int name = 0, x = -1, y = -1, z = -1, lat = -1, lon = -1, height = -1;
  bool byName = false;
};

int Find(const std::vector<std::string>& names, std::initializer_list<const char*> wanted) {
  for (const char* w : wanted)
    for (size_t i = 0; i < names.size(); ++i)
      if (names[i] == w) return static_cast<int>(i);
  return -1;
}

// Columns from a line of column names, or false when the line is not one.
bool HeaderColumns(const std::vector<std::string>& fields, Columns* columns) {
  std::vector<std::string> names;
  for (const std::string& field : fields) names.push_back(Lower(Trim(field)));
  Columns found;
  found.byName = true;
  found.name = Find(names, {"stationname", "station", "name", "site", "id", "sname"});
  found.x = Find(names, {"x"});
  found.y = Find(names, {"y"});
  found.z = Find(names, {"z"});
  found.lat = Find(names, {"latitude", "lat"});
  found.lon = Find(names, {"longitude", "lon", "long"});
  found.height = Find(names, {"height", "ht", "h", "hgt"});
  bool xyz = found.x >= 0 && found.y >= 0 && found.z >= 0;
  bool geodetic = found.lat >= 0 && found.lon >= 0 && found.height >= 0;
  if (found.name < 0 || (!xyz && !geodetic)) return false;
  if (xyz) found.lat = found.lon = found.height = -1;
  *columns = found;
  return true;
}

const std::string& Field(const std::vector<std::string>& fields, int index) {
  static const std::string kEmpty;
  return index >= 0 && static_cast<size_t>(index) < fields.size()
             ? fields[static_cast<size_t>(index)]
             : kEmpty;
}

// One station from the fields of a data line; false with a reason.
bool ReadStation(const std::vector<std::string>& fields, const Columns& columns,
                 ImportedStation* station, std::string* reason) {
  std::string name = Trim(Field(fields, columns.name));
  if (!AllAlphanumeric(name) || (name.size() != 4 && name.size() != 9)) {
    *reason = "the name \"" + name.substr(0, 32) + "\" is not 4 or 9 letters or digits";
    return false;
  }
  station->shortName = Lower(name.substr(0, 4));
  station->longName = name.size() == 9 ? Upper(name) : std::string();

  double a = 0, b = 0, c = 0;
  bool xyz = false;
  if (columns.byName) {
    xyz = columns.x >= 0;
    int first = xyz ? columns.x : columns.lat;
    int second = xyz ? columns.y : columns.lon;
    int third = xyz ? columns.z : columns.height;
    if (!Number(Field(fields, first), &a) || !Number(Field(fields, second), &b) ||
        !Number(Field(fields, third), &c)) {
      *reason = "a coordinate is missing or not a number";
      return false;
    }
  } else {
    if (!Number(Field(fields, 1), &a) || !Number(Field(fields, 2), &b) ||
        !Number(Field(fields, 3), &c)) {
      *reason = "a coordinate is missing or not a number";
      return false;
    }
    xyz = std::sqrt(a * a + b * b + c * c) > kEcefThreshold;
  }
  if (xyz) {
    double radius = std::sqrt(a * a + b * b + c * c);
    if (radius < kMinRadius || radius > kMaxRadius) {
      *reason = "X Y Z do not lie on the earth's surface";
      return false;
    }
    EcefToGeodetic(a, b, c, &station->latitude, &station->longitude, &station->height);
    return true;
  }
  if (a < -90 || a > 90 || b < -180 || b > 360 || c < -1000 || c > 10000) {
    *reason = "latitude, longitude or height out of range";
    return false;
  }
  station->latitude = a;
  station->longitude = b > 180 ? b - 360 : b;
  station->height = c;
  return true;
}

// "46 52 37.56012 N": whole degrees, whole minutes, seconds to 5 decimals.
std::string Sexagesimal(double degrees, char positive, char negative) {
  char hemisphere = degrees < 0 ? negative : positive;
  // Rounded once, in units of 1e-5 seconds, so that 59.999999 s carries.
  long long units = std::llround(std::fabs(degrees) * 3600.0 * 1e5);
  long long whole_seconds = units / 100000;
  long long fraction = units % 100000;
  // Every part fits an int (degrees below 400, fraction below 100000).
  char text[64];
  std::snprintf(text, sizeof text, "%d %d %d.%05d %c", static_cast<int>(whole_seconds / 3600),
                static_cast<int>((whole_seconds / 60) % 60), static_cast<int>(whole_seconds % 60),
                static_cast<int>(fraction), hemisphere);
  return text;
}

}  // namespace

void EcefToGeodetic(double x, double y, double z, double* latitude, double* longitude,
                    double* height) {
  const double e2 = kFlattening * (2 - kFlattening);
  double p = std::hypot(x, y);
  double lat = std::atan2(z, p * (1 - e2));
  double h = 0;
  for (int i = 0; i < 10; ++i) {
    double sin_lat = std::sin(lat);
    double n = kSemiMajor / std::sqrt(1 - e2 * sin_lat * sin_lat);
    h = std::fabs(std::cos(lat)) > 1e-12 ? p / std::cos(lat) - n
                                         : std::fabs(z) - n * (1 - e2);
    lat = std::atan2(z, p * (1 - e2 * n / (n + h)));
  }
  *latitude = lat * 180.0 / kPi;
  *longitude = std::atan2(y, x) * 180.0 / kPi;
  *height = h;
}

StationList ParseStationList(const std::string& text) {
  StationList list;
  Columns columns;
  bool first_line = true;
  std::set<std::string> seen;
  size_t start = 0;
  int number = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    ++number;
    std::string where = "line " + std::to_string(number) + ": ";
    if (line.size() > kMaxLineLength) {
      list.problems.push_back(where + "longer than 4096 characters");
      first_line = false;
      continue;
    }
    line = Trim(line);
    if (line.empty()) continue;
    bool comment = line[0] == '#';
    if (comment) line = Trim(line.substr(1));
    std::vector<std::string> fields = SplitFields(line);
    if (first_line) {
      first_line = false;
      if (HeaderColumns(fields, &columns)) continue;
    }
    if (comment) continue;
    ImportedStation station{};
    std::string reason;
    if (!ReadStation(fields, columns, &station, &reason)) {
      list.problems.push_back(where + reason);
      continue;
    }
    // Local file names are made from the short name: it must be unique.
    if (!seen.insert(station.shortName).second) {
      list.problems.push_back(where + "station " +
                              (station.longName.empty() ? station.shortName : station.longName) +
                              " is listed twice");
      continue;
    }
    list.stations.push_back(station);
  }
  return list;
}

bool IsValidServiceId(const std::string& id) {
  if (id.empty() || id.size() > 31) return false;
  for (char c : id) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u <= ' ' || u >= 127 || c == '{' || c == '}' || c == '"' || c == ';' || c == '`')
      return false;
  }
  return true;
}

std::string StationBlocks(const std::vector<ImportedStation>& stations,
                          const std::string& service) {
  std::string out;
  char height[64];
  for (const ImportedStation& s : stations) {
    std::snprintf(height, sizeof height, "%.3f", s.height);
    out += "Station {\n  sName: " + s.shortName + "\n";
    if (!s.longName.empty()) out += "  lName: " + s.longName + "\n";
    out += "  lat: " + Sexagesimal(s.latitude, 'N', 'S') + "\n";
    out += "  lon: " + Sexagesimal(s.longitude, 'E', 'W') + "\n";
    out += std::string("  ht: ") + height + "\n  serv: " + service + "\n}\n\n";
  }
  return out;
}

}  // namespace stanvex
