// Reader of RINEX observation files: versions 2.10/2.11, and 3.0x and 4.0x
// (a "SYS / # / OBS TYPES" list per satellite system, ">" epoch records, one
// line per satellite).
//
// Usage: construct over a LineSource, call ReadHeader() once, then NextEpoch()
// until it returns kEnd. Header records that arrive inside the data (event
// flags 2-5) update header() before the next epoch is returned, so a change
// of the observation types applies to the epochs after it.
#ifndef STANVEX_RIN2OBN_RINEX_OBS_H
#define STANVEX_RIN2OBN_RINEX_OBS_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "line_source.h"

namespace rin2obn {

struct ObsHeader {
  double version = 0.0;
  char system = 'G';  // G, R, E, S, T or M (mixed)
  std::string markerName, markerNumber;
  std::string receiverNumber, receiverType, receiverVersion;
  std::string antennaNumber, antennaType;
  double approxPosition[3] = {0, 0, 0};  // ECEF metres, 0 when unknown
  double antennaDelta[3] = {0, 0, 0};    // height, east, north, metres
  std::vector<std::string> types;        // version 2: observation types, "C1", "L1", ...
  // Version 3 and 4: the observation types of each system ("C1C", "L2W", ...),
  // indexed by the system letter minus 'A'.
  std::vector<std::string> systemTypes[26];
  double interval = 0.0;                 // seconds, 0 when not given
  // Versions 3 and 4: the time system of the epochs ("GPS", "GAL", "BDT",
  // "GLO", ... from TIME OF FIRST OBS), the LEAP SECONDS value (-1 when not
  // given), and the seconds added to an epoch to make it GPS time.
  std::string timeSystem;
  int leapSeconds = -1;
  double toGpsTime = 0.0;

  bool IsVersion3() const { return version >= 3.0; }
  // Position of an observation type in types, or -1.
  int IndexOf(const char* type) const;
  // The observation types of a satellite of system ('G', 'R', ...): types
  // for version 2, the system's own list for versions 3 and 4 (empty for a
  // system the header does not list).
  const std::vector<std::string>& TypesOf(char satelliteSystem) const;
  // Position of an observation type in TypesOf(system), or -1.
  int IndexOf(char satelliteSystem, const std::string& type) const;
};

// One data epoch (event flag 0, 1 or 6). gpsSeconds is in GPS time whatever
// the file's time system; the calendar fields are as written. Values are per satellite in the
// order of header().TypesOf(its system) at the time the epoch was read;
// typeCount is the longest of those lists, and a satellite of a shorter list
// has zeros after its own values.
struct ObsEpoch {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0;
  double second = 0.0;
  double gpsSeconds = 0.0;  // the epoch as GPS seconds since 1980-01-06
  int flag = 0;
  double clockOffset = 0.0;  // receiver clock offset from the epoch line, 0 when absent
  int typeCount = 0;
  std::vector<char> systems;  // 'G', 'R', ... per satellite ('G' for a blank)
  std::vector<int> prns;
  std::vector<double> values;  // satellites x typeCount; 0 means missing
  std::vector<uint8_t> lli;    // loss-of-lock indicator, 0 when blank
  std::vector<uint8_t> ssi;    // signal strength 1-9, 0 when blank

  int SatelliteCount() const { return static_cast<int>(prns.size()); }
  double Value(int satellite, int type) const {
    return type < 0 ? 0.0 : values[static_cast<size_t>(satellite * typeCount + type)];
  }
  uint8_t Lli(int satellite, int type) const {
    return type < 0 ? 0 : lli[static_cast<size_t>(satellite * typeCount + type)];
  }
};

class ObsReader {
 public:
  enum Result { kEpoch = 1, kEnd = 0, kError = -1 };
  // Receives notable events (header changes inside the data, skipped lines).
  using EventSink = std::function<void(const std::string&)>;

  explicit ObsReader(LineSource& source, EventSink events = nullptr)
      : source_(source), events_(std::move(events)) {}

  // Reads the header up to END OF HEADER. False, with error(), when the text
  // is not a RINEX 2, 3 or 4 observation file or the header is unusable.
  bool ReadHeader();

  // Reads the next data epoch. kEnd at the end of the text. A damaged epoch
  // line is skipped (reported as an event) and reading goes on with the next
  // line that reads as an epoch. So is a data epoch that is not later than
  // the one before it (a year changed, an epoch repeated further on); a
  // flag-6 record may share the time of the epoch it reports slips for.
  Result NextEpoch(ObsEpoch& epoch);

  const ObsHeader& header() const { return header_; }
  const std::string& error() const { return error_; }
  // Records skipped: lines that could not be read as data, and epochs out
  // of time order.
  long skippedLines() const { return skipped_; }

 private:
  // Applies one header record; returns false for END OF HEADER.
  bool ApplyHeaderLine(const std::string& line, bool inData);
  // A "SYS / # / OBS TYPES" record (versions 3 and 4).
  void ApplySystemTypes(const std::string& line);
  void SetTimeSystemOffset();
  bool ParseEpochLine(const std::string& line, ObsEpoch& epoch, int& count);
  Result NextEpochVersion2(ObsEpoch& epoch);
  Result NextEpochVersion3(ObsEpoch& epoch);
  // True when epoch comes after the last data epoch returned; else reports
  // it skipped, naming its record's line.
  bool InTimeOrder(const ObsEpoch& epoch);
  bool ParseEpochLine3(const std::string& line, ObsEpoch& epoch);
  // The next line, the one put back by PutBack first.
  bool NextLine();
  void PutBack() { putBack_ = true; }
  void Skipped(const char* why) { Skipped(source_.LineNumber(), why); }
  void Skipped(long line, const std::string& why);
  void Event(const std::string& text);

  LineSource& source_;
  EventSink events_;
  ObsHeader header_;
  std::string error_;
  std::string line_;
  long skipped_ = 0;
  int pendingTypeCount_ = 0;  // types announced by a "# / TYPES OF OBSERV" record
  char pendingSystem_ = 0;    // system of the last "SYS / # / OBS TYPES" record
  bool putBack_ = false;      // line_ is to be returned again by NextLine
  long epochLine_ = 0;        // line of the epoch record being read
  bool havePrevious_ = false;
  double previousSeconds_ = 0.0;  // the last data epoch returned, and as written
  std::string previousCalendar_;
};

}  // namespace rin2obn

#endif  // STANVEX_RIN2OBN_RINEX_OBS_H
