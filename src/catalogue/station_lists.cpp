#include "catalogue/station_lists.h"

#include "catalogue/column_table.h"
#include "catalogue/holdings_list.h"
#include "catalogue/velocity_file.h"

namespace stanvex {
namespace {

// The first line of text, after a UTF-8 byte-order mark, without its end.
std::string FirstLine(const std::string& text) {
  const size_t start = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  size_t end = text.find('\n', start);
  if (end == std::string::npos) end = text.size();
  if (end - start > kMaxListLineLength) end = start + kMaxListLineLength;
  return TrimBlanks(text.substr(start, end - start));
}

ListedStations ReadTable(const std::string& text) {
  StationList table = ParseStationList(text);
  ListedStations list;
  list.problems = std::move(table.problems);
  list.refusal = std::move(table.refusal);
  for (const ImportedStation& station : table.stations)
    list.stations.push_back(ListedStation{station, 0, kNoDay});
  return list;
}

}  // namespace

const char* ListFormatName(ListFormat format) {
  switch (format) {
    case ListFormat::kHoldings:
      return "holdings list";
    case ListFormat::kVelocity:
      return "velocity file";
    case ListFormat::kTable:
      break;
  }
  return "table";
}

ListFormat DetectListFormat(const std::string& text) {
  const std::string first = FirstLine(text);
  if (IsVelocityFile(first)) return ListFormat::kVelocity;
  if (IsHoldingsHeader(SplitAtBlanks(first))) return ListFormat::kHoldings;
  return ListFormat::kTable;
}

ListedStations ReadStationList(const std::string& text) {
  switch (DetectListFormat(text)) {
    case ListFormat::kHoldings:
      return ParseHoldingsList(text);
    case ListFormat::kVelocity:
      return ParseVelocityFile(text);
    case ListFormat::kTable:
      break;
  }
  return ReadTable(text);
}

}  // namespace stanvex
