// Published station lists read for stanvex catalogue import, whatever their
// format: tables of positions (station_import.h), the Nevada Geodetic
// Laboratory's holdings list (holdings_list.h) and PBO velocity files
// (velocity_file.h). The format is told from the text itself.
#ifndef STANVEX_CATALOGUE_STATION_LISTS_H
#define STANVEX_CATALOGUE_STATION_LISTS_H

#include <cstdint>
#include <string>
#include <vector>

#include "catalogue/list_fields.h"
#include "catalogue/station_import.h"

namespace stanvex {

enum class ListFormat {
  kTable,     // name and position a line, CSV or blank-separated (station_import.h)
  kHoldings,  // header "Sta Lat(deg) Long(deg) Hgt(m) X(m) Y(m) Z(m) Dtbeg Dtend ..."
  kVelocity,  // first line "PBO Velocity file ..."
};

// "table", "holdings list", "velocity file".
const char* ListFormatName(ListFormat format);

struct ListedStation {
  ImportedStation station;
  int32_t line;     // the list's line the station was taken from (from 1)
  int32_t lastDay;  // the last day of data the list gives, or kNoDay
};

struct ListedStations {
  ListFormat format = ListFormat::kTable;
  bool givesLastDay = false;  // the format carries each station's last day of data
  std::vector<ListedStation> stations;  // one per short name, in list order
  std::vector<std::string> problems;    // "line 7: ..." for each line left out
  std::string refusal;                  // why no line was read; empty when the list was read
};

// The format of text: a velocity file by its first line, a holdings list by
// the column names of its first line, else a table.
ListFormat DetectListFormat(const std::string& text);

// Reads text in its format. Never throws; see each reader for what it keeps.
ListedStations ReadStationList(const std::string& text);

}  // namespace stanvex

#endif  // STANVEX_CATALOGUE_STATION_LISTS_H
