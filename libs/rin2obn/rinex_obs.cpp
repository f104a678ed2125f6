#include "rinex_obs.h"

#include <cstdio>
#include <cstring>

#include "fields.h"
#include "gnss_time.h"

namespace rin2obn {
namespace {

constexpr size_t kMaxTypes = 99;        // more than any receiver writes
constexpr int kSatellitesPerLine = 12;  // satellite list on an epoch line
constexpr int kValuesPerLine = 5;       // observations per data line
constexpr int kMaxReportedSkips = 10;
constexpr int kSystemTypesPerLine = 13;  // "SYS / # / OBS TYPES" codes per line
constexpr size_t kValueWidth = 16;       // version 3: value, loss of lock, strength

const std::vector<std::string> kNoTypes;

int SystemSlot(char system) { return system >= 'A' && system <= 'Z' ? system - 'A' : -1; }

// The one-digit flag at column, 0 when blank or not a digit.
uint8_t FlagDigit(const std::string& line, size_t column) {
  return column < line.size() && line[column] >= '0' && line[column] <= '9'
             ? static_cast<uint8_t>(line[column] - '0')
             : 0;
}

// The epoch's time as written: "2005-04-02 00:10:00.0000000".
std::string CalendarText(const ObsEpoch& epoch) {
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%010.7f", epoch.year, epoch.month,
                epoch.day, epoch.hour, epoch.minute, epoch.second);
  return text;
}

}  // namespace

int ObsHeader::IndexOf(const char* type) const {
  for (size_t i = 0; i < types.size(); ++i)
    if (types[i] == type) return static_cast<int>(i);
  return -1;
}

const std::vector<std::string>& ObsHeader::TypesOf(char satelliteSystem) const {
  if (!IsVersion3()) return types;
  const int slot = SystemSlot(satelliteSystem);
  return slot < 0 ? kNoTypes : systemTypes[slot];
}

int ObsHeader::IndexOf(char satelliteSystem, const std::string& type) const {
  const std::vector<std::string>& list = TypesOf(satelliteSystem);
  for (size_t i = 0; i < list.size(); ++i)
    if (list[i] == type) return static_cast<int>(i);
  return -1;
}

bool ObsReader::NextLine() {
  if (putBack_) {
    putBack_ = false;
    return true;
  }
  return source_.Next(line_);
}

void ObsReader::Skipped(long line, const std::string& why) {
  if (++skipped_ <= kMaxReportedSkips) Event("line " + std::to_string(line) + " skipped: " + why);
}

void ObsReader::Event(const std::string& text) {
  if (events_) events_(text);
}

bool ObsReader::ReadHeader() {
  // The first line that is not blank names the file's version and type.
  while (source_.Next(line_) && line_.empty()) {
  }
  std::string label = HeaderLabel(line_);
  if (label == "CRINEX VERS   / TYPE") {
    error_ = "the file is compact RINEX; it must be decoded first";
    return false;
  }
  if (label != "RINEX VERSION / TYPE") {
    error_ = "not a RINEX observation file (no RINEX VERSION / TYPE record)";
    return false;
  }
  ParseReal(line_, 0, 9, header_.version);
  char type = line_.size() > 20 ? line_[20] : ' ';
  if (type != 'O' && type != 'o') {
    error_ = "not a RINEX observation file (file type '";
    error_ += type;
    error_ += "')";
    return false;
  }
  if (header_.version < 1.0 || header_.version >= 5.0) {
    error_ = "unsupported RINEX version " + FieldText(line_, 0, 9) +
             " (2.10, 2.11, 3.0x or 4.0x expected)";
    return false;
  }
  char system = line_.size() > 40 ? line_[40] : ' ';
  header_.system = system == ' ' ? 'G' : system;
  while (source_.Next(line_)) {
    if (!ApplyHeaderLine(line_, false)) {
      bool anyTypes = !header_.types.empty();
      for (const std::vector<std::string>& list : header_.systemTypes)
        anyTypes = anyTypes || !list.empty();
      if (!anyTypes) {
        error_ = "the header lists no observation types";
        return false;
      }
      if (header_.IsVersion3()) SetTimeSystemOffset();
      return true;
    }
  }
  error_ = "the header has no END OF HEADER record";
  return false;
}

bool ObsReader::ApplyHeaderLine(const std::string& line, bool inData) {
  const std::string label = HeaderLabel(line);
  if (label == "END OF HEADER") return false;
  bool known = true;
  if (label == "MARKER NAME") {
    header_.markerName = FieldText(line, 0, 60);
  } else if (label == "MARKER NUMBER") {
    header_.markerNumber = FieldText(line, 0, 20);
  } else if (label == "REC # / TYPE / VERS") {
    header_.receiverNumber = FieldText(line, 0, 20);
    header_.receiverType = FieldText(line, 20, 20);
    header_.receiverVersion = FieldText(line, 40, 20);
  } else if (label == "ANT # / TYPE") {
    header_.antennaNumber = FieldText(line, 0, 20);
    header_.antennaType = FieldText(line, 20, 20);
  } else if (label == "APPROX POSITION XYZ") {
    for (int i = 0; i < 3; ++i) ParseReal(line, static_cast<size_t>(14 * i), 14, header_.approxPosition[i]);
  } else if (label == "ANTENNA: DELTA H/E/N") {
    for (int i = 0; i < 3; ++i) ParseReal(line, static_cast<size_t>(14 * i), 14, header_.antennaDelta[i]);
  } else if (label == "# / TYPES OF OBSERV") {
    int count = 0;
    if (ParseInt(line, 0, 6, count)) {
      // A count starts a new list; continuation records leave it blank.
      header_.types.clear();
      pendingTypeCount_ = count < 0 ? 0 : count;
    }
    for (int k = 0; k < 9; ++k) {
      if (header_.types.size() >= static_cast<size_t>(pendingTypeCount_) ||
          header_.types.size() >= kMaxTypes)
        break;
      std::string type = FieldText(line, static_cast<size_t>(6 + 6 * k), 6);
      if (type.empty()) break;
      header_.types.push_back(type);
    }
  } else if (label == "SYS / # / OBS TYPES") {
    ApplySystemTypes(line);
  } else if (label == "TIME OF FIRST OBS") {
    header_.timeSystem = FieldText(line, 48, 3);
  } else if (label == "LEAP SECONDS") {
    int leap = 0;
    if (ParseInt(line, 0, 6, leap) && leap >= 0) header_.leapSeconds = leap;
  } else if (label == "INTERVAL") {
    ParseReal(line, 0, 10, header_.interval);
  } else {
    known = false;  // other records carry nothing the conversion uses
  }
  if (inData && known) Event("header record inside the data: " + label);
  return true;
}

// A file's epochs may be in another system's time: BeiDou time runs 14 s
// behind GPS time; GLONASS time is UTC(SU) + 3 h, which needs the leap
// seconds. Galileo and QZSS time follow GPS time.
void ObsReader::SetTimeSystemOffset() {
  if (header_.timeSystem == "BDT") {
    header_.toGpsTime = 14.0;
  } else if (header_.timeSystem == "GLO") {
    int leap = header_.leapSeconds;
    if (leap < 0) {
      leap = 18;
      Event("epochs in GLONASS time without LEAP SECONDS: 18 s assumed");
    }
    header_.toGpsTime = leap - 3.0 * 3600.0;
  }
}

void ObsReader::ApplySystemTypes(const std::string& line) {
  // A record naming its system starts that system's list; continuation
  // records leave the letter and the count blank.
  const char system = line.empty() ? ' ' : line[0];
  int count = 0;
  if (system != ' ') {
    if (SystemSlot(system) < 0 || !ParseInt(line, 3, 3, count)) {
      pendingSystem_ = 0;
      return;
    }
    pendingSystem_ = system;
    pendingTypeCount_ = count < 0 ? 0 : count;
    header_.systemTypes[SystemSlot(system)].clear();
  }
  if (pendingSystem_ == 0) return;
  std::vector<std::string>& list = header_.systemTypes[SystemSlot(pendingSystem_)];
  for (int k = 0; k < kSystemTypesPerLine; ++k) {
    if (list.size() >= static_cast<size_t>(pendingTypeCount_) || list.size() >= kMaxTypes) break;
    std::string type = FieldText(line, static_cast<size_t>(7 + 4 * k), 3);
    if (type.empty()) break;
    list.push_back(type);
  }
}

bool ObsReader::ParseEpochLine(const std::string& line, ObsEpoch& epoch, int& count) {
  int year = 0;
  if (!ParseInt(line, 0, 3, year) || !ParseInt(line, 3, 3, epoch.month) ||
      !ParseInt(line, 6, 3, epoch.day) || !ParseInt(line, 9, 3, epoch.hour) ||
      !ParseInt(line, 12, 3, epoch.minute) || !ParseReal(line, 15, 11, epoch.second))
    return false;
  if (year < 0) return false;
  epoch.year = FullYear(year);
  if (!PlausibleCalendar(epoch.year, epoch.month, epoch.day, epoch.hour, epoch.minute,
                         epoch.second))
    return false;
  if (!ParseInt(line, 29, 3, count) || count < 0) return false;
  epoch.gpsSeconds = GpsSecondsFromCalendar(epoch.year, epoch.month, epoch.day, epoch.hour,
                                            epoch.minute, epoch.second);
  epoch.clockOffset = 0.0;
  ParseReal(line, 68, 12, epoch.clockOffset);
  return true;
}

ObsReader::Result ObsReader::NextEpoch(ObsEpoch& epoch) {
  for (;;) {
    const Result read =
        header_.IsVersion3() ? NextEpochVersion3(epoch) : NextEpochVersion2(epoch);
    if (read != kEpoch || InTimeOrder(epoch)) return read;
  }
}

bool ObsReader::InTimeOrder(const ObsEpoch& epoch) {
  // Slips are reported at the time of the epoch they belong to; such a record
  // neither needs nor sets a later time.
  const bool slips = epoch.flag == 6;
  if (havePrevious_ && (epoch.gpsSeconds < previousSeconds_ ||
                        (!slips && epoch.gpsSeconds == previousSeconds_))) {
    Skipped(epochLine_, "the epoch " + CalendarText(epoch) +
                            " does not follow the previous epoch " + previousCalendar_);
    return false;
  }
  if (!slips) {
    havePrevious_ = true;
    previousSeconds_ = epoch.gpsSeconds;
    previousCalendar_ = CalendarText(epoch);
  }
  return true;
}

ObsReader::Result ObsReader::NextEpochVersion2(ObsEpoch& epoch) {
  while (source_.Next(line_)) {
    if (line_.empty()) continue;
    int flag = -1;
    if (!ParseInt(line_, 26, 3, flag) || flag < 0 || flag > 6) {
      Skipped("not an epoch record");
      continue;
    }
    if (flag >= 2 && flag <= 5) {
      // Special records follow; the epoch fields may be blank.
      int records = 0;
      ParseInt(line_, 29, 3, records);
      for (int i = 0; i < records && source_.Next(line_); ++i) ApplyHeaderLine(line_, true);
      continue;
    }
    int count = 0;
    if (!ParseEpochLine(line_, epoch, count)) {
      Skipped("damaged epoch record");
      continue;
    }
    epochLine_ = source_.LineNumber();
    epoch.flag = flag;
    epoch.systems.assign(static_cast<size_t>(count), ' ');
    epoch.prns.assign(static_cast<size_t>(count), 0);
    for (int s = 0; s < count; ++s) {
      if (s > 0 && s % kSatellitesPerLine == 0) {
        // The satellite list continues on the next line, from column 33.
        if (!source_.Next(line_)) {
          line_.clear();
        }
      }
      size_t column = static_cast<size_t>(32 + 3 * (s % kSatellitesPerLine));
      char system = column < line_.size() ? line_[column] : ' ';
      epoch.systems[static_cast<size_t>(s)] = system == ' ' ? 'G' : system;
      int prn = 0;
      if (!ParseInt(line_, column + 1, 2, prn)) prn = 0;
      epoch.prns[static_cast<size_t>(s)] = prn;
    }
    const int types = static_cast<int>(header_.types.size());
    epoch.typeCount = types;
    const size_t cells = static_cast<size_t>(count) * static_cast<size_t>(types);
    epoch.values.assign(cells, 0.0);
    epoch.lli.assign(cells, 0);
    epoch.ssi.assign(cells, 0);
    for (int s = 0; s < count; ++s) {
      for (int t = 0; t < types; ++t) {
        if (t % kValuesPerLine == 0 && !source_.Next(line_)) {
          Event("the last epoch is cut short");
          return kEpoch;
        }
        const size_t column = static_cast<size_t>(16 * (t % kValuesPerLine));
        const size_t cell = static_cast<size_t>(s * types + t);
        double value = 0.0;
        if (ParseReal(line_, column, 14, value)) epoch.values[cell] = value;
        if (column + 14 < line_.size() && line_[column + 14] >= '0' && line_[column + 14] <= '9')
          epoch.lli[cell] = static_cast<uint8_t>(line_[column + 14] - '0');
        if (column + 15 < line_.size() && line_[column + 15] >= '0' && line_[column + 15] <= '9')
          epoch.ssi[cell] = static_cast<uint8_t>(line_[column + 15] - '0');
      }
    }
    return kEpoch;
  }
  return kEnd;
}

// Version 3 and 4 epoch record: ">", year, month, day, hour, minute in
// columns 3-18, seconds F11.7 from column 19, the flag in column 32, the
// satellite (or special record) count in 33-35 and the receiver clock offset
// F15.12 from column 42.
bool ObsReader::ParseEpochLine3(const std::string& line, ObsEpoch& epoch) {
  if (!ParseInt(line, 2, 4, epoch.year) || !ParseInt(line, 7, 2, epoch.month) ||
      !ParseInt(line, 10, 2, epoch.day) || !ParseInt(line, 13, 2, epoch.hour) ||
      !ParseInt(line, 16, 2, epoch.minute) || !ParseReal(line, 18, 11, epoch.second))
    return false;
  if (!PlausibleCalendar(epoch.year, epoch.month, epoch.day, epoch.hour, epoch.minute,
                         epoch.second))
    return false;
  epoch.gpsSeconds = GpsSecondsFromCalendar(epoch.year, epoch.month, epoch.day, epoch.hour,
                                            epoch.minute, epoch.second) +
                     header_.toGpsTime;
  epoch.clockOffset = 0.0;
  ParseReal(line, 41, 15, epoch.clockOffset);
  return true;
}

ObsReader::Result ObsReader::NextEpochVersion3(ObsEpoch& epoch) {
  while (NextLine()) {
    if (line_.empty()) continue;
    int flag = -1;
    int count = 0;
    if (line_[0] != '>' || !ParseInt(line_, 31, 1, flag) || flag < 0 || flag > 6 ||
        !ParseInt(line_, 32, 3, count) || count < 0) {
      Skipped("not an epoch record");
      continue;
    }
    if (flag >= 2 && flag <= 5) {
      // Special records follow; the epoch fields may be blank.
      for (int i = 0; i < count && NextLine(); ++i) ApplyHeaderLine(line_, true);
      continue;
    }
    if (!ParseEpochLine3(line_, epoch)) {
      Skipped("damaged epoch record");
      continue;
    }
    epochLine_ = source_.LineNumber();
    epoch.flag = flag;
    size_t types = 0;
    for (const std::vector<std::string>& list : header_.systemTypes)
      types = list.size() > types ? list.size() : types;
    epoch.typeCount = static_cast<int>(types);
    epoch.systems.clear();
    epoch.prns.clear();
    epoch.values.clear();
    epoch.lli.clear();
    epoch.ssi.clear();
    // One line per satellite: its identifier, then 16 columns per type.
    for (int s = 0; s < count; ++s) {
      if (!NextLine()) {
        Event("the last epoch is cut short");
        break;
      }
      if (!line_.empty() && line_[0] == '>') {
        // Fewer satellite lines than announced: the next epoch begins here.
        Event("line " + std::to_string(source_.LineNumber()) +
              ": an epoch record has fewer satellites than its count");
        PutBack();
        break;
      }
      const char system = line_.empty() || line_[0] == ' ' ? 'G' : line_[0];
      int prn = 0;
      if (!ParseInt(line_, 1, 2, prn)) prn = 0;
      epoch.systems.push_back(system);
      epoch.prns.push_back(prn);
      const size_t first = epoch.values.size();
      epoch.values.resize(first + types, 0.0);
      epoch.lli.resize(first + types, 0);
      epoch.ssi.resize(first + types, 0);
      const size_t own = header_.TypesOf(system).size();
      for (size_t t = 0; t < own; ++t) {
        const size_t column = 3 + kValueWidth * t;
        if (column >= line_.size()) break;
        ParseReal(line_, column, 14, epoch.values[first + t]);
        epoch.lli[first + t] = FlagDigit(line_, column + 14);
        epoch.ssi[first + t] = FlagDigit(line_, column + 15);
      }
    }
    return kEpoch;
  }
  return kEnd;
}

}  // namespace rin2obn
