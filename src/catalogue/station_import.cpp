#include "catalogue/station_import.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <set>

#include "base/result.h"
#include "catalogue/column_table.h"
#include "gnss/wgs84.h"

namespace stanvex {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kSemiMajor = gnss::kWgs84A;
constexpr double kFlattening = gnss::kWgs84F;
// Points this far from the earth's centre are taken as X Y Z (and must lie
// between the bounds to be a place on the ground).
constexpr double kEcefThreshold = 1.0e6;
constexpr double kMinRadius = 6.2e6;
constexpr double kMaxRadius = 6.5e6;
constexpr size_t kMaxLineLength = 4096;

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

bool Number(const std::string& field, double* value) {
  std::string text = TrimBlanks(field);
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

// The names each column goes by in a header line, preferred first.
constexpr const char* kNameColumn[] = {"stationname", "station", "name", "site", "id", "sname"};
constexpr const char* kXColumn[] = {"x", "x_m"};
constexpr const char* kYColumn[] = {"y", "y_m"};
constexpr const char* kZColumn[] = {"z", "z_m"};
constexpr const char* kLatColumn[] = {"latitude", "lat"};
constexpr const char* kLonColumn[] = {"longitude", "lon", "long"};
constexpr const char* kHeightColumn[] = {"height", "ht", "h", "hgt"};

// Column positions; -1 when absent.
struct Columns {
  int name = 0, x = -1, y = -1, z = -1, lat = -1, lon = -1, height = -1;
  bool byName = false;
};

enum class FirstLine { kData, kHeader, kBadHeader };

template <size_t N>
std::string Alternatives(const char* const (&names)[N]) {
  std::string text;
  for (size_t i = 0; i < N; ++i)
    text += (i == 0 ? "" : i + 1 == N ? " or " : ", ") + std::string(names[i]);
  return text;
}

// What the header lacks: its name column, else the coordinate columns.
std::string MissingColumns(const Columns& found) {
  if (found.name < 0) return "no station name column (" + Alternatives(kNameColumn) + ")";
  std::string missing;
  auto add = [&](int index, const std::string& what) {
    if (index < 0) missing += (missing.empty() ? "" : ", ") + what;
  };
  add(found.lat, "latitude (" + Alternatives(kLatColumn) + ")");
  add(found.lon, "longitude (" + Alternatives(kLonColumn) + ")");
  add(found.height, "height (" + Alternatives(kHeightColumn) + ")");
  return "no " + missing + " column, nor X, Y and Z columns";
}

// Reads the first line of a list. A line that names the name column and
// either X, Y and Z or latitude, longitude and height is the header. A line
// without a number that names some of them is a header that cannot be used
// (problem says why): reading its data by position could swap columns.
FirstLine ReadFirstLine(const std::vector<std::string>& fields, Columns* columns,
                        std::string* problem) {
  NamedColumns names(fields);
  Columns found;
  found.byName = true;
  found.name = names.Find(kNameColumn);
  found.x = names.Find(kXColumn);
  found.y = names.Find(kYColumn);
  found.z = names.Find(kZColumn);
  found.lat = names.Find(kLatColumn);
  found.lon = names.Find(kLonColumn);
  found.height = names.Find(kHeightColumn);
  bool xyz = found.x >= 0 && found.y >= 0 && found.z >= 0;
  bool geodetic = found.lat >= 0 && found.lon >= 0 && found.height >= 0;
  if (found.name >= 0 && (xyz || geodetic)) {
    if (xyz) found.lat = found.lon = found.height = -1;
    *columns = found;
    return FirstLine::kHeader;
  }
  bool names_some = found.name >= 0 || found.x >= 0 || found.y >= 0 || found.z >= 0 ||
                    found.lat >= 0 || found.lon >= 0 || found.height >= 0;
  double number = 0;
  for (const std::string& field : fields)
    if (Number(field, &number)) return FirstLine::kData;
  if (!names_some) return FirstLine::kData;
  *problem = "the header line names " + MissingColumns(found);
  return FirstLine::kBadHeader;
}

// A data line that cannot be used, with why.
Result Refused(const std::string& reason) {
  return Result::Failure(ResultKind::kDamaged, "%s", reason.c_str());
}

// One station from the fields of a data line; a failure says why the line
// cannot be used.
Result ReadStation(const std::vector<std::string>& fields, const Columns& columns,
                   ImportedStation* station) {
  std::string name = TrimBlanks(FieldAt(fields, columns.name));
  if (name.find('\0') != std::string::npos) {
    return Refused("the name \"" + Printable(name.substr(0, 32)) + "\" holds a NUL byte");
  }
  if (!AllAlphanumeric(name) || (name.size() != 4 && name.size() != 9)) {
    return Refused("the name \"" + Printable(name.substr(0, 32)) +
                   "\" is not 4 or 9 letters or digits");
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
    if (!Number(FieldAt(fields, first), &a) || !Number(FieldAt(fields, second), &b) ||
        !Number(FieldAt(fields, third), &c)) {
      return Refused("a coordinate is missing or not a number");
    }
  } else {
    if (!Number(FieldAt(fields, 1), &a) || !Number(FieldAt(fields, 2), &b) ||
        !Number(FieldAt(fields, 3), &c)) {
      return Refused("a coordinate is missing or not a number");
    }
    xyz = std::sqrt(a * a + b * b + c * c) > kEcefThreshold;
  }
  if (xyz) {
    double radius = std::sqrt(a * a + b * b + c * c);
    if (radius < kMinRadius || radius > kMaxRadius) {
      return Refused("X Y Z do not lie on the earth's surface");
    }
    EcefToGeodetic(a, b, c, &station->latitude, &station->longitude, &station->height);
    return Result::Success();
  }
  if (a < -90 || a > 90 || b < -180 || b > 360 || c < -1000 || c > 10000) {
    return Refused("latitude, longitude or height out of range");
  }
  station->latitude = a;
  station->longitude = b > 180 ? b - 360 : b;
  station->height = c;
  return Result::Success();
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
  TableText table = SplitTable(text);
  if (!table.refusal.empty()) {
    list.refusal = table.refusal;
    return list;
  }
  Columns columns;
  bool first_line = true;
  std::set<std::string> seen;
  for (const TableLine& row : table.lines) {
    std::string where = "line " + std::to_string(row.number) + ": ";
    if (row.text.size() > kMaxLineLength) {
      list.problems.push_back(where + "longer than 4096 characters");
      first_line = false;
      continue;
    }
    std::string line = TrimBlanks(row.text);
    if (line.empty()) continue;
    bool comment = line[0] == '#';
    if (comment) line = TrimBlanks(line.substr(1));
    std::vector<std::string> fields = SplitFields(line);
    if (first_line) {
      first_line = false;
      std::string problem;
      FirstLine kind = ReadFirstLine(fields, &columns, &problem);
      if (kind == FirstLine::kHeader) continue;
      if (kind == FirstLine::kBadHeader && !comment) {
        list.refusal = where + problem;
        return list;
      }
    }
    if (comment) continue;
    ImportedStation station{};
    Result read = ReadStation(fields, columns, &station);
    if (!read.ok) {
      list.problems.push_back(where + read.message);
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
