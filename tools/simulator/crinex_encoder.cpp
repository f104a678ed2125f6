#include "crinex_encoder.h"

#include <cstdint>
#include <cstdlib>
#include <map>
#include <vector>

#include "rinex_text.h"

namespace stanvex::sim {
namespace {

constexpr int kMaxTypes = 9;
constexpr int kMaxSatellites = 30;
constexpr int kMaxOrder = 5;
// Largest magnitude the reader's 32-bit upper part carries (in thousandths).
constexpr int64_t kLargestValue = 2147483647LL * 1000;

class LineReader {
 public:
  explicit LineReader(const std::string& text) : text_(text) {}
  bool Next(std::string* line) {
    if (pos_ >= text_.size()) return false;
    size_t end = text_.find('\n', pos_);
    if (end == std::string::npos) end = text_.size();
    line->assign(text_, pos_, end - pos_);
    if (!line->empty() && line->back() == '\r') line->pop_back();
    pos_ = end + 1;
    ++number_;
    return true;
  }
  int number() const { return number_; }

 private:
  const std::string& text_;
  size_t pos_ = 0;
  int number_ = 0;
};

std::string Column(const std::string& line, size_t start, size_t width) {
  if (start >= line.size()) return std::string();
  return line.substr(start, width);
}

bool IsBlank(const std::string& s) { return s.find_first_not_of(' ') == std::string::npos; }

// A fixed-point text ("-123.456", ".5", "  12") as an integer count of
// 10^-decimals units, exactly. False when it is not a number.
bool ParseFixed(const std::string& field, int decimals, int64_t* value) {
  size_t i = field.find_first_not_of(' ');
  if (i == std::string::npos) return false;
  bool negative = false;
  if (field[i] == '-' || field[i] == '+') negative = field[i++] == '-';
  int64_t whole = 0, fraction = 0;
  int digits = 0, fractionDigits = 0;
  for (; i < field.size() && field[i] >= '0' && field[i] <= '9'; ++i, ++digits) {
    if (whole > 100000000000000LL) return false;
    whole = whole * 10 + (field[i] - '0');
  }
  if (i < field.size() && field[i] == '.') {
    for (++i; i < field.size() && field[i] >= '0' && field[i] <= '9'; ++i) {
      if (fractionDigits < decimals) {
        fraction = fraction * 10 + (field[i] - '0');
        ++fractionDigits;
      }
      ++digits;
    }
  }
  if (field.find_first_not_of(' ', i) != std::string::npos || digits == 0) return false;
  for (; fractionDigits < decimals; ++fractionDigits) fraction *= 10;
  int64_t scale = 1;
  for (int k = 0; k < decimals; ++k) scale *= 10;
  if (whole > (INT64_MAX - fraction) / scale) return false;
  *value = whole * scale + fraction;
  if (negative) *value = -*value;
  return true;
}

// The difference text that turns old into new for the reader's text repair:
// a blank keeps a character, '&' blanks one, anything else replaces it.
std::string TextDifference(const std::string& oldText, const std::string& newText) {
  std::string diff;
  const size_t n = oldText.size() > newText.size() ? oldText.size() : newText.size();
  for (size_t i = 0; i < n; ++i) {
    const char o = i < oldText.size() ? oldText[i] : ' ';
    const char c = i < newText.size() ? newText[i] : ' ';
    if (i >= oldText.size()) diff += c;
    else if (o == c) diff += ' ';
    else if (c == ' ') diff += '&';
    else diff += c;
  }
  TrimRight(&diff);
  return diff;
}

// Differencing state of one value series (an observation type of one
// satellite, or the clock).
struct Arc {
  bool active = false;
  int level = 0;                    // differences built so far
  int64_t diff[kMaxOrder + 1] = {};  // diff[k]: k-th difference of the latest value

  // The field text for value, continuing or starting the arc. A difference
  // of limit or more in magnitude (0: no limit) starts the arc again.
  std::string Encode(int64_t value, int order, int64_t limit = 0) {
    if (active && limit > 0) {
      const int nextLevel = level < order ? level + 1 : order;
      int64_t d[kMaxOrder + 1];
      d[0] = value;
      for (int k = 1; k <= nextLevel; ++k) d[k] = d[k - 1] - diff[k - 1];
      if (d[nextLevel] >= limit || d[nextLevel] <= -limit) active = false;
    }
    if (!active) {
      active = true;
      level = 0;
      diff[0] = value;
      return std::to_string(order) + "&" + std::to_string(value);
    }
    int64_t next[kMaxOrder + 1];
    next[0] = value;
    const int newLevel = level < order ? level + 1 : order;
    for (int k = 1; k <= newLevel; ++k) next[k] = next[k - 1] - diff[k - 1];
    for (int k = 0; k <= newLevel; ++k) diff[k] = next[k];
    level = newLevel;
    return std::to_string(next[newLevel]);
  }
};

// What both versions' encoders keep between epochs.
template <typename SatelliteStateT>
struct EncoderState {
  EncoderState(const CrinexOptions& o, std::string* compact, std::string* message)
      : options(o), out(compact), error(message) {}
  const CrinexOptions& options;
  std::string* out;
  std::string* error;
  std::string previousLine;  // compact epoch line of the previous epoch
  bool reinitialize = true;   // next epoch starts afresh
  Arc clock;
  std::map<std::string, SatelliteStateT> previous;  // satellites of the previous epoch

  bool Fail(const LineReader& reader, const std::string& what) {
    *error = "line " + std::to_string(reader.number()) + ": " + what;
    return false;
  }

  // The epoch's compact line (freshLine when the epoch starts afresh, else
  // its difference from the previous one) and its clock line.
  std::string EpochHead(const std::string& compactLine, const std::string& freshLine,
                        bool hasClock, int64_t clockValue) {
    std::string text;
    if (reinitialize) {
      text = freshLine + "\n";
      previous.clear();
      clock.active = false;
      reinitialize = false;
    } else {
      text = TextDifference(previousLine, compactLine) + "\n";
    }
    previousLine = compactLine;
    if (hasClock) {
      text += clock.Encode(clockValue, options.clockOrder) + "\n";
    } else {
      clock.active = false;
      text += "\n";
    }
    return text;
  }

  // Copies an event epoch's line (as eventLine) and its special records,
  // handing each record labelled typesLabel to readTypes; the next epoch
  // starts afresh.
  template <typename ReadTypes>
  bool CopyEvent(LineReader& reader, const std::string& eventLine, int records,
                 const char* typesLabel, ReadTypes readTypes) {
    *out += eventLine + "\n";
    for (int i = 0; i < records; ++i) {
      std::string record;
      if (!reader.Next(&record)) return Fail(reader, "event epoch ends early");
      TrimRight(&record);
      *out += record + "\n";
      if (Column(record, 60, 19) == typesLabel && !readTypes(record)) return false;
    }
    reinitialize = true;
    return true;
  }

  // Adds one observation field (a 14-column value and 2 flag columns) of
  // satellite id to fields and flags, continuing arc. False for an
  // unreadable value.
  bool EncodeField(const LineReader& reader, const std::string& id, const std::string& field,
                   bool first, Arc& arc, int64_t limit, std::string* fields, std::string* flags) {
    const std::string number = field.substr(0, 14);
    if (!first) *fields += ' ';
    if (IsBlank(number)) {
      arc.active = false;
      *flags += "  ";
      return true;
    }
    int64_t value = 0;
    if (!ParseFixed(number, 3, &value) || value > kLargestValue || value < -kLargestValue)
      return Fail(reader, "unreadable observation of " + id);
    *fields += arc.Encode(value, options.dataOrder, limit);
    *flags += field.substr(14, 2);
    return true;
  }
};

// A satellite's data line: its fields, then its flags as a difference from
// the previous epoch's (known) or as newFlags.
std::string SatelliteLine(const std::string& fields, bool known, const std::string& oldFlags,
                          const std::string& flags, const std::string& newFlags) {
  std::string data = fields + " ";
  data += known ? TextDifference(oldFlags, flags) : newFlags;
  TrimRight(&data);
  return data + "\n";
}

// The two header lines the compact format puts before the RINEX header.
std::string CompactHeaderLines(const char* versionLine, const CrinexOptions& options) {
  std::string program = "stanvex simulate";
  program.resize(40, ' ');
  return HeaderLine(versionLine, "CRINEX VERS   / TYPE") +
         HeaderLine(program + options.date, "CRINEX PROG / DATE");
}

struct SatelliteState {
  Arc arcs[kMaxTypes];
  std::string flags;
};

struct Encoder : EncoderState<SatelliteState> {
  using EncoderState::EncoderState;
  int types = 0;
};

bool EncodeHeader(Encoder& e, LineReader& reader) {
  *e.out += CompactHeaderLines("1.0                 COMPACT RINEX FORMAT", e.options);
  std::string line;
  bool first = true;
  while (reader.Next(&line)) {
    const std::string label = Column(line, 60, 20);
    if (first) {
      if (label.compare(0, 20, "RINEX VERSION / TYPE") != 0 || Column(line, 5, 1) != "2" ||
          Column(line, 20, 1) != "O")
        return e.Fail(reader, "not a RINEX 2 observation file");
      first = false;
    }
    if (line.size() > 254) return e.Fail(reader, "header line longer than 254 characters");
    TrimRight(&line);
    *e.out += line + "\n";
    if (label.compare(0, 19, "# / TYPES OF OBSERV") == 0) {
      const std::string count = Column(line, 0, 6);
      if (!IsBlank(count)) e.types = std::atoi(count.c_str());
      if (e.types < 1 || e.types > kMaxTypes)
        return e.Fail(reader, "the format carries 1 to 9 observation types");
    }
    if (label.compare(0, 13, "END OF HEADER") == 0) {
      if (e.types == 0) return e.Fail(reader, "no # / TYPES OF OBSERV line");
      return true;
    }
  }
  return e.Fail(reader, "no END OF HEADER");
}

// Copies an event epoch (flag 2 to 5) and its special records; the next
// epoch starts afresh.
bool EncodeEvent(Encoder& e, LineReader& reader, std::string line, int records) {
  TrimRight(&line);
  return e.CopyEvent(reader, "&" + line.substr(1), records, "# / TYPES OF OBSERV",
                     [&](const std::string& record) {
                       if (IsBlank(Column(record, 0, 6))) return true;
                       e.types = std::atoi(Column(record, 0, 6).c_str());
                       if (e.types < 1 || e.types > kMaxTypes)
                         return e.Fail(reader, "the format carries 1 to 9 observation types");
                       return true;
                     });
}

bool EncodeEpoch(Encoder& e, LineReader& reader, const std::string& line) {
  const int flag = std::atoi(Column(line, 26, 3).c_str());
  const int count = std::atoi(Column(line, 29, 3).c_str());
  if (flag > 1) return EncodeEvent(e, reader, line, count);
  if (count < 0 || count > kMaxSatellites)
    return e.Fail(reader, "the format carries at most 30 satellites per epoch");

  // Satellite list: 12 on the epoch line, the rest on continuation lines.
  std::vector<std::string> satellites;
  std::string current = line;
  for (int i = 0; i < count; ++i) {
    if (i > 0 && i % 12 == 0 && !reader.Next(&current))
      return e.Fail(reader, "epoch ends inside its satellite list");
    std::string id = Column(current, 32 + static_cast<size_t>(i % 12) * 3, 3);
    if (id.size() != 3) return e.Fail(reader, "satellite list shorter than its count");
    if (id[0] == ' ') id[0] = 'G';
    satellites.push_back(id);
  }
  std::string compactLine = Column(line, 0, 32);
  for (const std::string& id : satellites) compactLine += id;
  TrimRight(&compactLine);
  if (compactLine.empty()) return e.Fail(reader, "blank epoch line");

  // Receiver clock offset in nanoseconds, when given.
  const std::string clockText = Column(line, 68, 12);
  int64_t clockValue = 0;
  const bool hasClock = !IsBlank(clockText);
  if (hasClock && !ParseFixed(clockText, 9, &clockValue))
    return e.Fail(reader, "unreadable receiver clock offset");

  std::string text =
      e.EpochHead(compactLine, "&" + compactLine.substr(1), hasClock, clockValue);

  std::map<std::string, SatelliteState> now;
  const int linesPerSatellite = (e.types + 4) / 5;
  for (const std::string& id : satellites) {
    std::string record;
    for (int l = 0; l < linesPerSatellite; ++l) {
      std::string part;
      if (!reader.Next(&part)) return e.Fail(reader, "epoch ends inside its data records");
      part.resize(80, ' ');
      record += part;
    }
    auto found = e.previous.find(id);
    const bool known = found != e.previous.end();
    SatelliteState state = known ? found->second : SatelliteState();
    if (now.count(id)) return e.Fail(reader, "satellite " + id + " twice in one epoch");

    std::string fields, flags;
    for (int j = 0; j < e.types; ++j) {
      const std::string field = record.substr(static_cast<size_t>(j / 5) * 80 + (j % 5) * 16, 16);
      if (!e.EncodeField(reader, id, field, j == 0, state.arcs[j], 0, &fields, &flags))
        return false;
    }
    std::string trimmed = flags;
    TrimRight(&trimmed);
    text += SatelliteLine(fields, known, state.flags, flags, trimmed);
    state.flags = flags;
    now[id] = state;
  }
  e.previous.swap(now);
  *e.out += text;
  return true;
}

// ---- compact RINEX 3.0 --------------------------------------------------------

constexpr size_t kEpochColumns3 = 41;  // epoch line before the clock offset / satellite list
constexpr int kMaxTypes3 = 99;
// Observation differences stay below ten digits: a larger one (a new
// ambiguity, a jump of the clock) starts the value's arc again, as today's
// compact RINEX 3 files do.
constexpr int64_t kDifferenceLimit3 = 10000000000LL;

struct SatelliteState3 {
  std::vector<Arc> arcs;
  std::string flags;
};

struct Encoder3 : EncoderState<SatelliteState3> {
  using EncoderState::EncoderState;
  std::map<char, int> types;  // observation types per satellite system
};

// Reads a "SYS / # / OBS TYPES" line into the type counts; continuation
// lines (blank system) add nothing.
bool CountTypes(Encoder3& e, const LineReader& reader, const std::string& line) {
  const char system = line.empty() ? ' ' : line[0];
  if (system == ' ') return true;
  const int count = std::atoi(Column(line, 3, 3).c_str());
  if (count < 1 || count > kMaxTypes3)
    return e.Fail(reader, std::string("system ") + system + ": 1 to 99 observation types");
  e.types[system] = count;
  return true;
}

bool EncodeHeader3(Encoder3& e, LineReader& reader) {
  *e.out += CompactHeaderLines("3.0                 COMPACT RINEX FORMAT", e.options);
  std::string line;
  bool first = true;
  while (reader.Next(&line)) {
    const std::string label = Column(line, 60, 20);
    if (first) {
      const std::string version = Column(line, 5, 1);
      if (label.compare(0, 20, "RINEX VERSION / TYPE") != 0 ||
          (version != "3" && version != "4") || Column(line, 20, 1) != "O")
        return e.Fail(reader, "not a RINEX 3 or 4 observation file");
      first = false;
    }
    if (line.size() > 254) return e.Fail(reader, "header line longer than 254 characters");
    TrimRight(&line);
    *e.out += line + "\n";
    if (label.compare(0, 19, "SYS / # / OBS TYPES") == 0 && !CountTypes(e, reader, line))
      return false;
    if (label.compare(0, 13, "END OF HEADER") == 0) {
      if (e.types.empty()) return e.Fail(reader, "no SYS / # / OBS TYPES line");
      return true;
    }
  }
  return e.Fail(reader, "no END OF HEADER");
}

// An event epoch (flag 2 to 5) and its special records are copied; the
// next epoch starts afresh.
bool EncodeEvent3(Encoder3& e, LineReader& reader, std::string line, int records) {
  TrimRight(&line);
  return e.CopyEvent(reader, line, records, "SYS / # / OBS TYPES",
                     [&](const std::string& record) { return CountTypes(e, reader, record); });
}

bool EncodeEpoch3(Encoder3& e, LineReader& reader, const std::string& line) {
  if (line[0] != '>') return e.Fail(reader, "an epoch line starts with '>'");
  const std::string flagText = Column(line, 31, 1);
  const int flag = std::atoi(flagText.c_str());
  const int count = std::atoi(Column(line, 32, 3).c_str());
  if (flagText.empty() || flagText[0] < '0' || flagText[0] > '6' || count < 0)
    return e.Fail(reader, "unreadable epoch line");
  if (flag >= 2 && flag <= 5) return EncodeEvent3(e, reader, line, count);
  if (flag == 6) return e.Fail(reader, "cycle slip records (epoch flag 6) are not carried");

  std::string compactLine = Column(line, 0, kEpochColumns3);
  compactLine.resize(kEpochColumns3, ' ');
  std::vector<std::string> records;
  for (int i = 0; i < count; ++i) {
    std::string record;
    if (!reader.Next(&record)) return e.Fail(reader, "epoch ends inside its data records");
    if (record.size() < 3) return e.Fail(reader, "satellite record without its satellite");
    compactLine += record.substr(0, 3);
    records.push_back(record);
  }
  TrimRight(&compactLine);

  const std::string clockText = Column(line, kEpochColumns3, 15);
  int64_t clockValue = 0;
  const bool hasClock = !IsBlank(clockText);
  // The format's field holds less than 1000 s.
  if (hasClock && (!ParseFixed(clockText, 12, &clockValue) ||
                    clockValue >= 1000000000000000LL || clockValue <= -1000000000000000LL))
    return e.Fail(reader, "unreadable receiver clock offset");

  std::string text = e.EpochHead(compactLine, compactLine, hasClock, clockValue);

  std::map<std::string, SatelliteState3> now;
  for (std::string& record : records) {
    const std::string id = record.substr(0, 3);
    const auto typeCount = e.types.find(id[0]);
    if (typeCount == e.types.end())
      return e.Fail(reader, "satellite " + id + " of a system without observation types");
    const int types = typeCount->second;
    if (now.count(id)) return e.Fail(reader, "satellite " + id + " twice in one epoch");
    record.resize(3 + static_cast<size_t>(types) * 16, ' ');
    auto found = e.previous.find(id);
    const bool known = found != e.previous.end();
    SatelliteState3 state = known ? found->second : SatelliteState3();
    state.arcs.resize(static_cast<size_t>(types));

    std::string fields, flags;
    for (int j = 0; j < types; ++j) {
      const std::string field = record.substr(3 + static_cast<size_t>(j) * 16, 16);
      if (!e.EncodeField(reader, id, field, j == 0, state.arcs[j], kDifferenceLimit3, &fields,
                         &flags))
        return false;
    }
    // A new satellite's flags, every blank written as '&' as today's
    // compact RINEX 3 files do.
    std::string marked = flags;
    for (char& c : marked)
      if (c == ' ') c = '&';
    text += SatelliteLine(fields, known, state.flags, flags, marked);
    state.flags = flags;
    now[id] = state;
  }
  e.previous.swap(now);
  *e.out += text;
  return true;
}


// Checks the options, then encodes the header and every epoch of rinex.
template <typename EncoderT>
bool EncodeWith(bool (*encodeHeader)(EncoderT&, LineReader&),
                bool (*encodeEpoch)(EncoderT&, LineReader&, const std::string&),
                const std::string& rinex, std::string* compact, std::string* error,
                const CrinexOptions& options) {
  std::string scratch;
  if (!error) error = &scratch;
  if (options.dataOrder < 0 || options.dataOrder > kMaxOrder || options.clockOrder < 0 ||
      options.clockOrder > kMaxOrder) {
    *error = "difference orders are 0 to 5";
    return false;
  }
  compact->clear();
  EncoderT e(options, compact, error);
  LineReader reader(rinex);
  if (!encodeHeader(e, reader)) return false;
  std::string line;
  while (reader.Next(&line)) {
    if (IsBlank(line)) continue;
    if (!encodeEpoch(e, reader, line)) return false;
  }
  return true;
}

}  // namespace

bool EncodeCompactRinex3(const std::string& rinex, std::string* compact, std::string* error,
                         const CrinexOptions& options) {
  return EncodeWith<Encoder3>(EncodeHeader3, EncodeEpoch3, rinex, compact, error, options);
}

bool EncodeCompactRinex(const std::string& rinex, std::string* compact, std::string* error,
                        const CrinexOptions& options) {
  return EncodeWith<Encoder>(EncodeHeader, EncodeEpoch, rinex, compact, error, options);
}

}  // namespace stanvex::sim
