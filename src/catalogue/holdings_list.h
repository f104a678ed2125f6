// The Nevada Geodetic Laboratory's holdings list (DataHoldings.txt): one
// station a line, blank-separated, under a header line that names the
// columns, for instance
//
//   Sta  Lat(deg)   Long(deg) Hgt(m)  X(m)           Y(m)         Z(m)          Dtbeg      Dtend ...
//   1NSU  31.7508   266.9024   28.071  -293349.5323 -5420742.3561  3336980.8353 2004-01-16 2024-09-28 ...
//
// The columns are found by name ("Sta", "X", "Y", "Z", "Dtend"), in any
// order. The position comes from X Y Z (the list rounds latitude and
// longitude to 0.0001 degree, about 11 m); Dtend is the last day of data.
#ifndef STANVEX_CATALOGUE_HOLDINGS_LIST_H
#define STANVEX_CATALOGUE_HOLDINGS_LIST_H

#include <string>
#include <vector>

#include "catalogue/station_lists.h"

namespace stanvex {

// True when the fields of a first line name the holdings list's columns.
bool IsHoldingsHeader(const std::vector<std::string>& fields);

// Reads a holdings list. A line that cannot be used (a name that is not 4
// letters or digits, a missing or non-finite coordinate, a point off the
// earth's surface, a last day that is not a date, a NUL byte, more than
// 4096 characters, a name listed before) is left out and named in
// problems; a header without the columns needed refuses the list.
ListedStations ParseHoldingsList(const std::string& text);

}  // namespace stanvex

#endif  // STANVEX_CATALOGUE_HOLDINGS_LIST_H
