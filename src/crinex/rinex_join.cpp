#include "crinex/rinex_join.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/gps_time.h"
#include "base/text.h"
#include "platform/platform.h"

namespace stanvex {
namespace {

constexpr int kMaxHeaderLines = 5000;
constexpr int kMaxRecordCount = 999;  // the width of an epoch's count field
// Half the last digit of the seconds field (F11.7): two epochs closer than
// this are the same epoch.
constexpr double kSameEpoch = 5e-8;

// ---- lines and fields ----------------------------------------------------

enum class Got { kLine, kEnd, kTooLong };

// One line without its line end (LF or CR LF), at most kJoinMaxLineLength
// characters. A last line without a line feed is a line.
class LineReader {
 public:
  explicit LineReader(std::FILE* file) : file_(file) {}
  Got Next(std::string* line) {
    if (std::fgets(buffer_, sizeof buffer_, file_) == nullptr) return Got::kEnd;
    ++number_;
    size_t length = std::strlen(buffer_);
    bool feed = length > 0 && buffer_[length - 1] == '\n';
    if (!feed && !std::feof(file_)) return Got::kTooLong;  // longer, or a NUL byte inside
    if (feed) --length;
    if (length > 0 && buffer_[length - 1] == '\r') --length;
    if (length > kJoinMaxLineLength) return Got::kTooLong;
    line->assign(buffer_, length);
    return Got::kLine;
  }
  int number() const { return number_; }

 private:
  std::FILE* file_;
  int number_ = 0;
  char buffer_[kJoinMaxLineLength + 3];  // the line, CR, LF and NUL
};

bool HasLabel(const std::string& line, const char* label) {
  return line.size() > 60 && line.compare(60, std::strlen(label), label) == 0;
}

std::string Slice(const std::string& line, size_t at, size_t width) {
  return at < line.size() ? line.substr(at, width) : std::string();
}

bool Blank(const std::string& text) { return text.find_first_not_of(' ') == std::string::npos; }

std::string Trimmed(const std::string& text) {
  size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// The integer in columns [at, at + width); a blank field reads as 0.
bool Integer(const std::string& line, size_t at, size_t width, int* value) {
  std::string text = Trimmed(Slice(line, at, width));
  *value = 0;
  if (text.empty()) return true;
  char* end = nullptr;
  long parsed = std::strtol(text.c_str(), &end, 10);
  if (end == text.c_str() || *end != '\0' || parsed < -99999 || parsed > 99999) return false;
  *value = static_cast<int>(parsed);
  return true;
}

void TrimEnd(std::string* line) {
  size_t end = line->find_last_not_of(' ');
  line->resize(end == std::string::npos ? 0 : end + 1);
}

// ---- observation types ---------------------------------------------------

// The observation types a file's observations are written in: one list for
// RINEX 2, one per satellite system for RINEX 3 and 4.
struct TypeLists {
  bool rinex3 = false;
  std::vector<std::string> common;
  std::vector<std::string> bySystem[26];

  // The list of a satellite's system; null when the file lists none for it.
  const std::vector<std::string>* Of(char system) const {
    if (!rinex3) return common.empty() ? nullptr : &common;
    if (system == ' ') system = 'G';
    if (system < 'A' || system > 'Z') return nullptr;
    const std::vector<std::string>& list = bySystem[system - 'A'];
    return list.empty() ? nullptr : &list;
  }
  bool Empty() const {
    if (!rinex3) return common.empty();
    for (const auto& list : bySystem)
      if (!list.empty()) return false;
    return true;
  }
  bool operator==(const TypeLists& other) const {
    if (rinex3 != other.rinex3 || common != other.common) return false;
    for (int i = 0; i < 26; ++i)
      if (bySystem[i] != other.bySystem[i]) return false;
    return true;
  }
};

// Takes the observation type records of one header or one event, line by
// line: "# / TYPES OF OBSERV" (RINEX 2: a count, then 9 types a line) or
// "SYS / # / OBS TYPES" (a system letter and count, then 13 types a line).
// A record with a count starts its list afresh.
class TypeRecords {
 public:
  explicit TypeRecords(TypeLists* lists) : lists_(lists) {}

  enum class Taken { kOther, kTaken, kDamaged };

  Taken Take(const std::string& line) {
    if (lists_->rinex3 ? !HasLabel(line, "SYS / # / OBS TYPES")
                       : !HasLabel(line, "# / TYPES OF OBSERV"))
      return Taken::kOther;
    bool ok;
    if (lists_->rinex3) {
      if (line[0] != ' ') {
        if (line[0] < 'A' || line[0] > 'Z') return Taken::kDamaged;
        list_ = &lists_->bySystem[line[0] - 'A'];
        if (!Begin(line, 3, 3)) return Taken::kDamaged;
      }
      ok = Append(line, 7, 4, 13);
    } else {
      if (!Blank(Slice(line, 0, 6))) {
        list_ = &lists_->common;
        if (!Begin(line, 0, 6)) return Taken::kDamaged;
      }
      ok = Append(line, 6, 6, 9);
    }
    return ok ? Taken::kTaken : Taken::kDamaged;
  }

 private:
  bool Begin(const std::string& line, size_t at, size_t width) {
    int count = 0;
    if (!Integer(line, at, width, &count) || count < 0 || count > kJoinMaxTypes) return false;
    list_->clear();
    expected_ = static_cast<size_t>(count);
    return true;
  }
  // Types of slotWidth characters from column at (the last 3 or 2 of each
  // slot hold the type), up to slots of them.
  bool Append(const std::string& line, size_t at, size_t slotWidth, size_t slots) {
    if (list_ == nullptr) return false;  // a continuation without its start
    for (size_t k = 0; k < slots && list_->size() < expected_; ++k) {
      std::string type = Trimmed(Slice(line, at + k * slotWidth, slotWidth));
      if (type.empty()) return false;
      list_->push_back(type);
    }
    return true;
  }

  TypeLists* lists_;
  std::vector<std::string>* list_ = nullptr;
  size_t expected_ = 0;
};

// ---- epochs --------------------------------------------------------------

struct EpochLine {
  bool hasTime = false;
  double time = 0;  // GPS seconds of the calendar instant as written
  int flag = 0;
  int count = 0;  // satellites, or special records of an event
};

// The columns of an epoch line's fields.
struct EpochColumns {
  size_t year, yearWidth, month, day, hour, minute, second, flag, count;
};
constexpr EpochColumns kRinex2Epoch{1, 2, 4, 7, 10, 13, 15, 28, 29};
constexpr EpochColumns kRinex3Epoch{2, 4, 7, 10, 13, 16, 18, 31, 32};

bool ParseEpochLine(const std::string& line, bool rinex3, EpochLine* epoch) {
  if (rinex3 && (line.empty() || line[0] != '>')) return false;
  const EpochColumns& c = rinex3 ? kRinex3Epoch : kRinex2Epoch;
  if (!Integer(line, c.flag, 1, &epoch->flag) || epoch->flag < 0 || epoch->flag > 6) return false;
  if (!Integer(line, c.count, 3, &epoch->count) || epoch->count < 0) return false;
  epoch->hasTime = !Blank(Slice(line, c.year, c.second + 11 - c.year));
  if (!epoch->hasTime) return epoch->flag >= 2 && epoch->flag <= 5;
  int year, month, day, hour, minute;
  if (!Integer(line, c.year, c.yearWidth, &year) || !Integer(line, c.month, 2, &month) ||
      !Integer(line, c.day, 2, &day) || !Integer(line, c.hour, 2, &hour) ||
      !Integer(line, c.minute, 2, &minute))
    return false;
  std::string secondText = Trimmed(Slice(line, c.second, 11));
  char* end = nullptr;
  double second = std::strtod(secondText.c_str(), &end);
  if (secondText.empty() || *end != '\0' || !(second >= 0 && second < 62)) return false;
  if (!rinex3) year += year < 80 ? 2000 : 1900;
  if (year < 1980 || year > 2099 || month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 ||
      hour > 23 || minute < 0 || minute > 59)
    return false;
  epoch->time = static_cast<double>(GpsSecondsAt(year, month, day, hour, minute, 0)) + second;
  return true;
}

// Writes count into the epoch line's count field.
void SetCount(std::string* line, bool rinex3, int count) {
  const size_t at = rinex3 ? kRinex3Epoch.count : kRinex2Epoch.count;
  if (line->size() < at + 3) line->resize(at + 3, ' ');
  char digits[8];
  std::snprintf(digits, sizeof digits, "%3d", count);
  line->replace(at, 3, digits, 3);
}

// Where each output type of a list finds its value in an input list (-1:
// it has none); identity when both lists are the same.
struct TypeMap {
  bool made = false;
  bool usable = false;  // both files list the system
  std::vector<int> from;
};

// ---- the join --------------------------------------------------------------

// Keeps why an input was left out, or where its reading stopped.
void KeepProblem(JoinInput* input, const Result& result) {
  CopyText(input->problem, sizeof input->problem, result.message);
}

class Join {
 public:
  explicit Join(const char* output) : output_(output) {}
  ~Join() {
    if (out_ != nullptr) std::fclose(out_);
  }
  Join(const Join&) = delete;
  Join& operator=(const Join&) = delete;

  // Reads one input into the output. Fails only when the output cannot be
  // created or written; an input that is left out, or whose reading stops,
  // says why in its problem.
  Result Add(JoinInput* input);
  // Closes the output; fails when anything of it could not be written.
  Result Finish() {
    if (out_ != nullptr) {
      bool closed = std::fclose(out_) == 0;
      out_ = nullptr;
      if (!closed) writeFailed_ = true;
    }
    return writeFailed_ ? WriteFailure() : Result::Success();
  }

 private:
  // The failures of these three say what is wrong with the input, except
  // that CopyEvent and CopyData fail with WriteFailure() when the output
  // cannot be written (writeFailed_ is then set).
  Result ReadHeader(LineReader& in, TypeLists* types, std::string* text);
  Result CopyEvent(LineReader& in, std::string& line, const EpochLine& epoch);
  Result CopyData(LineReader& in, std::string& line, const EpochLine& epoch);
  void Remap(const std::vector<std::string>& lines, std::string* out);
  const TypeMap& MapFor(char system);
  bool Write(const std::string& text) {
    if (writeFailed_) return false;
    if (!text.empty() && std::fwrite(text.data(), 1, text.size(), out_) != text.size())
      writeFailed_ = true;
    return !writeFailed_;
  }
  Result Written(const std::string& text) {
    return Write(text) ? Result::Success() : WriteFailure();
  }
  Result WriteFailure() const {
    return Result::Failure(nullptr, "Error writing the joined observation file %s", output_);
  }
  static Result Damaged(const LineReader& in, Got got) {
    return Result::Failure(
        ResultKind::kNone,
        got == Got::kTooLong ? "has a line too long at line %d, the rest is left out"
        : got == Got::kEnd   ? "ends inside an epoch after line %d"
                             : "has a damaged epoch at line %d, the rest is left out",
        in.number());
  }

  const char* output_;
  std::FILE* out_ = nullptr;
  bool writeFailed_ = false;
  bool started_ = false;
  TypeLists outTypes_;
  TypeLists inTypes_;
  TypeMap maps_[27];  // per system letter; the last for RINEX 2
  bool identity_ = true;
  bool haveLast_ = false;
  double last_ = 0;
};

Result Join::ReadHeader(LineReader& in, TypeLists* types, std::string* text) {
  std::string line;
  Got got = in.Next(&line);
  double version = 0;
  if (got == Got::kLine && HasLabel(line, "RINEX VERSION / TYPE"))
    version = std::atof(Slice(line, 0, 9).c_str());
  if (got != Got::kLine || version < 2 || version >= 5 || Slice(line, 20, 1) != "O") {
    return Result::Failure(ResultKind::kNone, "is not a RINEX 2, 3 or 4 observation file");
  }
  types->rinex3 = version >= 3;
  TypeRecords records(types);
  for (int lines = 1;; ++lines) {
    if (records.Take(line) == TypeRecords::Taken::kDamaged) {
      return Result::Failure(ResultKind::kNone,
                             "has a damaged observation type record at line %d", in.number());
    }
    if (!HasLabel(line, "TIME OF LAST OBS") && !HasLabel(line, "# OF SATELLITES") &&
        !HasLabel(line, "PRN / # OF OBS"))
      text->append(line).push_back('\n');
    if (HasLabel(line, "END OF HEADER")) break;
    got = in.Next(&line);
    if (got != Got::kLine || lines == kMaxHeaderLines) {
      return Result::Failure(ResultKind::kNone, "ends inside its header (line %d)", in.number());
    }
  }
  if (types->Empty())
    return Result::Failure(ResultKind::kNone, "lists no observation types");
  return Result::Success();
}

const TypeMap& Join::MapFor(char system) {
  const int slot = outTypes_.rinex3 ? (system == ' ' ? 'G' : system) - 'A' : 26;
  static const TypeMap kNone;
  if (slot < 0 || slot > 26) return kNone;
  TypeMap& map = maps_[slot];
  if (map.made) return map;
  map.made = true;
  const std::vector<std::string>* to = outTypes_.Of(system);
  const std::vector<std::string>* from = inTypes_.Of(system);
  map.usable = to != nullptr && from != nullptr;
  if (!map.usable) return map;
  map.from.assign(to->size(), -1);
  for (size_t k = 0; k < to->size(); ++k)
    for (size_t j = 0; j < from->size(); ++j)
      if ((*to)[k] == (*from)[j]) map.from[k] = static_cast<int>(j);
  return map;
}

// One satellite's observation lines in the output's types. RINEX 2: 5
// fields of 16 characters a line; RINEX 3: the satellite and every field on
// one line.
void Join::Remap(const std::vector<std::string>& lines, std::string* out) {
  const bool rinex3 = outTypes_.rinex3;
  const char system = rinex3 && !lines[0].empty() ? lines[0][0] : ' ';
  const TypeMap& map = MapFor(system);
  auto field = [&](int j) -> std::string {
    if (j < 0) return std::string(16, ' ');
    size_t line = rinex3 ? 0 : static_cast<size_t>(j) / 5;
    size_t at = rinex3 ? 3 + 16 * static_cast<size_t>(j) : 16 * (static_cast<size_t>(j) % 5);
    std::string text = line < lines.size() ? Slice(lines[line], at, 16) : std::string();
    text.resize(16, ' ');
    return text;
  };
  std::string current = rinex3 ? Slice(lines[0], 0, 3) : std::string();
  for (size_t k = 0; k < map.from.size(); ++k) {
    if (!rinex3 && k > 0 && k % 5 == 0) {
      TrimEnd(&current);
      out->append(current).push_back('\n');
      current.clear();
    }
    current += field(map.from[k]);
  }
  TrimEnd(&current);
  out->append(current).push_back('\n');
}

Result Join::CopyEvent(LineReader& in, std::string& line, const EpochLine& epoch) {
  std::string kept;
  int keptCount = 0;
  TypeLists changed = inTypes_;
  TypeRecords records(&changed);
  bool typesChanged = false;
  std::string record;
  for (int i = 0; i < epoch.count; ++i) {
    Got got = in.Next(&record);
    if (got != Got::kLine) return Damaged(in, got);
    TypeRecords::Taken taken = records.Take(record);
    if (taken == TypeRecords::Taken::kDamaged) return Damaged(in, Got::kLine);
    if (taken == TypeRecords::Taken::kTaken) {
      typesChanged = true;
      continue;
    }
    kept.append(record).push_back('\n');
    ++keptCount;
  }
  if (typesChanged) {
    inTypes_ = changed;
    for (TypeMap& map : maps_) map = TypeMap{};
    identity_ = inTypes_ == outTypes_;
  }
  if (epoch.flag == 4 && keptCount == 0) return Result::Success();
  if (epoch.hasTime && haveLast_ && epoch.time <= last_ + kSameEpoch) return Result::Success();
  SetCount(&line, outTypes_.rinex3, keptCount);
  TrimEnd(&line);
  return Written(line + "\n" + kept);
}

Result Join::CopyData(LineReader& in, std::string& line, const EpochLine& epoch) {
  const bool rinex3 = outTypes_.rinex3;
  std::vector<std::string> lines;
  // RINEX 2: 12 satellites on the epoch line, 12 on each further line.
  if (!rinex3) {
    std::string more;
    for (int listed = 12; listed < epoch.count; listed += 12) {
      Got got = in.Next(&more);
      if (got != Got::kLine) return Damaged(in, got);
      line += "\n" + more;
    }
  }
  // RINEX 2: the satellite's values take 5 to a line (none without types).
  const std::vector<std::string>* types = inTypes_.Of('G');
  const size_t perSatellite = rinex3 ? 1 : ((types != nullptr ? types->size() : 0) + 4) / 5;
  std::string data;
  int written = 0;
  for (int s = 0; s < epoch.count; ++s) {
    lines.clear();
    for (size_t k = 0; k < perSatellite; ++k) {
      std::string text;
      Got got = in.Next(&text);
      if (got != Got::kLine) return Damaged(in, got);
      lines.push_back(text);
    }
    if (identity_) {
      for (const std::string& text : lines) data.append(text).push_back('\n');
      ++written;
      continue;
    }
    if (!MapFor(rinex3 && !lines[0].empty() ? lines[0][0] : ' ').usable) continue;
    Remap(lines, &data);
    ++written;
  }
  if (haveLast_ && epoch.time <= last_ + kSameEpoch) return Result::Success();
  // None of its satellites can be written.
  if (written == 0 && epoch.count > 0) return Result::Success();
  if (written != epoch.count) SetCount(&line, rinex3, written);
  Result copied = Written(line + "\n" + data);
  if (!copied.ok) return copied;
  haveLast_ = true;
  last_ = epoch.time;
  return Result::Success();
}

Result Join::Add(JoinInput* input) {
  input->joined = false;
  input->problem[0] = '\0';
  std::FILE* file = std::fopen(input->path, "rb");
  if (file == nullptr) {
    KeepProblem(input, Result::Failure(ResultKind::kNotFound, "cannot be opened"));
    return Result::Success();
  }
  std::unique_ptr<LineReader> in(new LineReader(file));
  TypeLists types;
  std::string header;
  Result read = ReadHeader(*in, &types, &header);
  if (read.ok && started_ && types.rinex3 != outTypes_.rinex3)
    read = Result::Failure(ResultKind::kNone, "is RINEX %d, the first file RINEX %d",
                           types.rinex3 ? 3 : 2, outTypes_.rinex3 ? 3 : 2);
  if (!read.ok) {
    KeepProblem(input, read);
    std::fclose(file);
    return writeFailed_ ? WriteFailure() : Result::Success();
  }
  if (!started_) {
    out_ = platform::CreateNewFile(output_);
    if (out_ == nullptr) {
      writeFailed_ = true;
      std::fclose(file);
      return WriteFailure();
    }
    started_ = true;
    outTypes_ = types;
    Write(header);
  }
  input->joined = true;
  inTypes_ = types;
  for (TypeMap& map : maps_) map = TypeMap{};
  identity_ = inTypes_ == outTypes_;
  std::string line;
  for (;;) {
    Got got = in->Next(&line);
    if (got == Got::kEnd) break;
    if (got == Got::kTooLong) {
      KeepProblem(input, Damaged(*in, got));
      break;
    }
    if (Blank(line)) continue;
    EpochLine epoch;
    bool ok = ParseEpochLine(line, outTypes_.rinex3, &epoch) && epoch.count <= kMaxRecordCount;
    if (!ok) {
      KeepProblem(input, Damaged(*in, Got::kLine));
      break;
    }
    Result copied = epoch.flag >= 2 && epoch.flag <= 5 ? CopyEvent(*in, line, epoch)
                                                       : CopyData(*in, line, epoch);
    if (!copied.ok) {
      // A write that failed is the join's failure, not the input's.
      if (!writeFailed_) KeepProblem(input, copied);
      break;
    }
  }
  std::fclose(file);
  return writeFailed_ ? WriteFailure() : Result::Success();
}

}  // namespace

Result JoinRinexObservations(JoinInput* inputs, int32_t count, const char* output) {
  Join join(output);
  int32_t joined = 0;
  for (int32_t i = 0; i < count; ++i) {
    if (!join.Add(&inputs[i]).ok) break;
    if (inputs[i].joined) ++joined;
  }
  Result finished = join.Finish();
  if (!finished.ok) return finished;
  if (joined == 0)
    return Result::Failure(nullptr, "Error none of the observation files could be joined into %s",
                           output);
  return Result::Success();
}

bool IsCompactRinexFile(const char* path) {
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return false;
  char line[96] = {};
  bool compact = std::fgets(line, sizeof line, file) != nullptr &&
                 std::strncmp(line + 60, "CRINEX VERS   / TYPE", 20) == 0;
  std::fclose(file);
  return compact;
}

}  // namespace stanvex
