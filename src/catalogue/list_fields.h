// Checks of the fields of published station lists (holdings lists, velocity
// files), shared by their readers. Each check returns an empty text when
// the field can be used, else the reason, which names the value as it was
// written (bytes outside printable ASCII shown as \xNN, at most 32 of them).
#ifndef STANVEX_CATALOGUE_LIST_FIELDS_H
#define STANVEX_CATALOGUE_LIST_FIELDS_H

#include <cstdint>
#include <string>
#include <vector>

#include "catalogue/station_import.h"

namespace stanvex {

// A day as days since 1970-01-01; kNoDay when a list gives none.
constexpr int32_t kNoDay = INT32_MIN;

// Lines of a list longer than this are left out unread.
constexpr size_t kMaxListLineLength = 4096;

// The fields of a line separated by runs of blanks and tabs (commas and
// semicolons are text here: the formats below never separate by them).
std::vector<std::string> SplitAtBlanks(const std::string& line);

// A station name that can become a catalogue sName and the start of local
// file names: 4 letters or digits. On success shortName gets it in lower case.
std::string CheckShortName(const std::string& name, std::string* shortName);

// A finite number written in full (no trailing text, at most 64 characters).
bool ReadFiniteNumber(const std::string& field, double* value);

// X, Y, Z (metres, earth-centred) of a point on the ground, turned into
// station's latitude, longitude and height.
std::string CheckEarthCentred(double x, double y, double z, ImportedStation* station);

// "2024-01-01" (with dashes) or "20240101..." (digits, as velocity files'
// epochs, anything after the eighth digit ignored) to a day number. Years
// 1900-2199; months and days as the calendar has them.
bool ReadDay(const std::string& text, bool dashes, int32_t* day);

// day as "2024-01-01".
std::string DayText(int32_t day);

}  // namespace stanvex

#endif  // STANVEX_CATALOGUE_LIST_FIELDS_H
