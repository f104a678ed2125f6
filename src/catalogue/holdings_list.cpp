#include "catalogue/holdings_list.h"

#include <algorithm>
#include <map>

#include "catalogue/column_table.h"

namespace stanvex {
namespace {

constexpr const char* kNameColumn[] = {"sta"};
constexpr const char* kXColumn[] = {"x"};
constexpr const char* kYColumn[] = {"y"};
constexpr const char* kZColumn[] = {"z"};
constexpr const char* kLastDayColumn[] = {"dtend"};

struct HoldingsColumns {
  int name, x, y, z, lastDay;
};

HoldingsColumns FindColumns(const std::vector<std::string>& fields) {
  NamedColumns names(fields);
  return {names.Find(kNameColumn), names.Find(kXColumn), names.Find(kYColumn),
          names.Find(kZColumn), names.Find(kLastDayColumn)};
}

// The reason a data line cannot be used, or empty with station filled.
std::string ReadLine(const std::vector<std::string>& fields, const HoldingsColumns& columns,
                     ListedStation* listed) {
  std::string reason = CheckShortName(FieldAt(fields, columns.name), &listed->station.shortName);
  if (!reason.empty()) return reason;
  double x = 0, y = 0, z = 0;
  if (!ReadFiniteNumber(FieldAt(fields, columns.x), &x) ||
      !ReadFiniteNumber(FieldAt(fields, columns.y), &y) ||
      !ReadFiniteNumber(FieldAt(fields, columns.z), &z))
    return "X, Y or Z is missing or not a finite number";
  reason = CheckEarthCentred(x, y, z, &listed->station);
  if (!reason.empty()) return reason;
  const std::string& last = FieldAt(fields, columns.lastDay);
  if (!ReadDay(last, true, &listed->lastDay))
    return "the last day of data \"" + Printable(last.substr(0, 32)) + "\" is not a date (YYYY-MM-DD)";
  return std::string();
}

}  // namespace

bool IsHoldingsHeader(const std::vector<std::string>& fields) {
  HoldingsColumns columns = FindColumns(fields);
  return columns.name >= 0 && columns.lastDay >= 0;
}

ListedStations ParseHoldingsList(const std::string& text) {
  ListedStations list;
  list.format = ListFormat::kHoldings;
  list.givesLastDay = true;
  TableText table = SplitTable(text);
  if (!table.refusal.empty()) {
    list.refusal = table.refusal;
    return list;
  }
  bool header = true;
  HoldingsColumns columns{};
  std::map<std::string, int32_t> seen;  // short name -> its line
  for (const TableLine& row : table.lines) {
    const std::string where = "line " + std::to_string(row.number) + ": ";
    if (row.text.size() > kMaxListLineLength) {
      list.problems.push_back(where + "longer than 4096 characters");
      continue;
    }
    std::vector<std::string> fields = SplitAtBlanks(row.text);
    if (fields.empty()) continue;
    if (header) {
      header = false;
      columns = FindColumns(fields);
      std::string missing;
      for (auto [index, name] : {std::pair{columns.name, "Sta"}, {columns.x, "X"},
                                 {columns.y, "Y"}, {columns.z, "Z"}, {columns.lastDay, "Dtend"}})
        if (index < 0) missing += (missing.empty() ? "" : ", ") + std::string(name);
      if (!missing.empty()) {
        list.refusal = where + "the header line names no " + missing + " column";
        return list;
      }
      continue;
    }
    if (row.text.find('\0') != std::string::npos) {
      list.problems.push_back(where + "holds a NUL byte");
      continue;
    }
    ListedStation listed{};
    listed.line = row.number;
    std::string reason = ReadLine(fields, columns, &listed);
    if (reason.empty()) {
      auto found = seen.emplace(listed.station.shortName, row.number);
      if (!found.second)
        reason = "station " + listed.station.shortName + " is listed before, on line " +
                 std::to_string(found.first->second);
    }
    if (!reason.empty()) {
      list.problems.push_back(where + reason);
      continue;
    }
    list.stations.push_back(listed);
  }
  if (header) list.refusal = "the list is empty";
  return list;
}

}  // namespace stanvex
