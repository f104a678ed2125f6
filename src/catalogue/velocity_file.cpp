#include "catalogue/velocity_file.h"

#include <map>
#include <vector>

#include "catalogue/column_table.h"

namespace stanvex {
namespace {

constexpr char kFirstLine[] = "PBO Velocity file";
constexpr char kStartDescription[] = "Start Field Description";
constexpr char kEndDescription[] = "End Field Description";

constexpr const char* kIdField[] = {"dot#"};
constexpr const char* kNameField[] = {"name"};
constexpr const char* kXField[] = {"ref_x"};
constexpr const char* kYField[] = {"ref_y"};
constexpr const char* kZField[] = {"ref_z"};
constexpr const char* kLastEpochField[] = {"last_epoch"};

struct VelocityFields {
  size_t count;  // fields a line has when its Name holds no blank
  int id, name, x, y, z, lastEpoch;
};

bool StartsWith(const std::string& text, const char* start) {
  return text.compare(0, std::char_traits<char>::length(start), start) == 0;
}

// The token of line at a described field: fields after Name are counted
// from the end of the line, so that blanks in a name shift nothing.
const std::string& FieldOf(const std::vector<std::string>& tokens, const VelocityFields& fields,
                           int index) {
  static const std::string kEmpty;
  if (index < 0) return kEmpty;
  size_t at = static_cast<size_t>(index);
  if (fields.name >= 0 && index > fields.name) at += tokens.size() - fields.count;
  return at < tokens.size() ? tokens[at] : kEmpty;
}

std::string ReadLine(const std::vector<std::string>& tokens, const VelocityFields& fields,
                     ListedStation* listed) {
  if (tokens.size() < fields.count || (fields.name < 0 && tokens.size() != fields.count))
    return "has " + std::to_string(tokens.size()) + " fields where the file describes " +
           std::to_string(fields.count);
  std::string reason =
      CheckShortName(FieldOf(tokens, fields, fields.id), &listed->station.shortName);
  if (!reason.empty()) return reason;
  double x = 0, y = 0, z = 0;
  if (!ReadFiniteNumber(FieldOf(tokens, fields, fields.x), &x) ||
      !ReadFiniteNumber(FieldOf(tokens, fields, fields.y), &y) ||
      !ReadFiniteNumber(FieldOf(tokens, fields, fields.z), &z))
    return "Ref_X, Ref_Y or Ref_Z is not a finite number";
  reason = CheckEarthCentred(x, y, z, &listed->station);
  if (!reason.empty()) return reason;
  const std::string& last = FieldOf(tokens, fields, fields.lastEpoch);
  if (last.size() != 14 || !ReadDay(last, false, &listed->lastDay))
    return "the last_epoch \"" + Printable(last.substr(0, 32)) +
           "\" is not a time (YYYYMMDDhhmmss)";
  return std::string();
}

}  // namespace

bool IsVelocityFile(const std::string& firstLine) { return StartsWith(firstLine, kFirstLine); }

ListedStations ParseVelocityFile(const std::string& text) {
  ListedStations list;
  list.format = ListFormat::kVelocity;
  list.givesLastDay = true;
  TableText table = SplitTable(text);
  if (!table.refusal.empty()) {
    list.refusal = table.refusal;
    return list;
  }
  enum class Part { kHeader, kDescription, kData } part = Part::kHeader;
  std::vector<std::string> described;
  VelocityFields fields{};
  std::map<std::string, size_t> stationOf;  // short name -> index in list.stations
  for (const TableLine& row : table.lines) {
    const std::string where = "line " + std::to_string(row.number) + ": ";
    if (row.text.size() > kMaxListLineLength) {
      list.problems.push_back(where + "longer than 4096 characters");
      continue;
    }
    const std::string line = TrimBlanks(row.text);
    if (part != Part::kData) {
      if (part == Part::kHeader && StartsWith(line, kStartDescription)) {
        part = Part::kDescription;
      } else if (part == Part::kDescription && StartsWith(line, kEndDescription)) {
        NamedColumns names(described);
        fields = {described.size(),       names.Find(kIdField), names.Find(kNameField),
                  names.Find(kXField),    names.Find(kYField),  names.Find(kZField),
                  names.Find(kLastEpochField)};
        std::string missing;
        for (auto [index, name] : {std::pair{fields.id, "Dot#"}, {fields.x, "Ref_X"},
                                   {fields.y, "Ref_Y"}, {fields.z, "Ref_Z"},
                                   {fields.lastEpoch, "last_epoch"}})
          if (index < 0) missing += (missing.empty() ? "" : ", ") + std::string(name);
        if (!missing.empty()) {
          list.refusal = where + "the field description names no " + missing + " field";
          return list;
        }
        part = Part::kData;
      } else if (part == Part::kDescription && !line.empty()) {
        described.push_back(SplitAtBlanks(line).front());
      }
      continue;
    }
    if (line.empty() || line[0] == '*') continue;  // the column titles
    if (row.text.find('\0') != std::string::npos) {
      list.problems.push_back(where + "holds a NUL byte");
      continue;
    }
    ListedStation listed{};
    listed.line = row.number;
    std::string reason = ReadLine(SplitAtBlanks(line), fields, &listed);
    if (!reason.empty()) {
      list.problems.push_back(where + reason);
      continue;
    }
    auto found = stationOf.emplace(listed.station.shortName, list.stations.size());
    if (found.second) {
      list.stations.push_back(listed);
    } else if (listed.lastDay >= list.stations[found.first->second].lastDay) {
      list.stations[found.first->second] = listed;
    }
  }
  if (part != Part::kData)
    list.refusal = "no field description (\"" + std::string(kStartDescription) + "\" ... \"" +
                   kEndDescription + "\") before the stations";
  return list;
}

}  // namespace stanvex
