// Station lists (CSV or blank-separated text, one station a line) turned into
// catalogue Station blocks, so that users can add a network to their own
// catalogue (stanvex catalogue import).
//
// A line gives a station name and either its latitude, longitude and height
// (decimal degrees, metres) or its earth-centred X, Y and Z (metres). A first
// line of column names (it may start with '#', and may follow a UTF-8
// byte-order mark) picks the columns by name, in any order: the name from
// "StationName", "Station", "Name", "Site", "ID" or "sName"; X, Y and Z
// (or x_m, y_m and z_m, as NOAA's CORS coordinates come) when all three are
// there (they are exact where rounded latitudes are not), else
// "Latitude"/"Lat", "Longitude"/"Lon"/"Long" and "Height"/"Ht"/"H"/"Hgt".
// Names compare without regard to case and to a unit in brackets ("Height
// (m)"). A first line that names some of these columns but not a full set
// refuses the list (a '#' line is then a comment). Without such a line the
// columns are name and three numbers, taken as X Y Z when they lie about an
// earth radius from the centre, else as latitude, longitude and height.
// Fields are separated by commas, else semicolons, else blanks. A 9-character
// name (ZIMM00CHE) gives the short name (zimm) and the long name; a
// 4-character name gives the short name only.
#ifndef STANVEX_CATALOGUE_STATION_IMPORT_H
#define STANVEX_CATALOGUE_STATION_IMPORT_H

#include <string>
#include <vector>

namespace stanvex {

struct ImportedStation {
  std::string shortName;  // 4 letters or digits, lower case
  std::string longName;   // 9 letters or digits, upper case, or empty
  double latitude;        // degrees, north positive
  double longitude;       // degrees, east positive, -180..180
  double height;          // metres above the ellipsoid
};

struct StationList {
  std::vector<ImportedStation> stations;
  std::vector<std::string> problems;  // "line 7: ..." for each line left out
  std::string refusal;                // why no line was read; empty when the list was read
};

// Reads text (the whole list). Lines that cannot be used are left out and
// named in problems; a list that cannot be read at all (UTF-16 text, a
// header without the columns needed) gets a refusal and no station.
StationList ParseStationList(const std::string& text);

// True when id can be a catalogue service identifier (1..31 characters, no
// blanks, braces, quotes or ';').
bool IsValidServiceId(const std::string& id);

// The Station blocks of stations, each with "serv: " + service.
std::string StationBlocks(const std::vector<ImportedStation>& stations,
                          const std::string& service);

// WGS84 earth-centred X, Y, Z (metres) to latitude, longitude (degrees) and
// ellipsoidal height (metres).
void EcefToGeodetic(double x, double y, double z, double* latitude, double* longitude,
                    double* height);

}  // namespace stanvex

#endif  // STANVEX_CATALOGUE_STATION_IMPORT_H
