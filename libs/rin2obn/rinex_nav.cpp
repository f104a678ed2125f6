#include "rinex_nav.h"

#include <cmath>

#include "fields.h"
#include "gnss_time.h"

namespace rin2obn {
namespace {

constexpr size_t kFieldWidth = 19;
constexpr int kOrbitLines = 7;
constexpr int kMaxReportedSkips = 10;

// Four broadcast ionosphere coefficients of 12 columns from column into
// target; true when all four were read.
bool ParseIonosphere(const std::string& line, size_t column, double* target) {
  bool all = true;
  for (int i = 0; i < 4; ++i)
    all = ParseReal(line, column + 12 * static_cast<size_t>(i), 12, target[i]) && all;
  return all;
}

// The clock terms on an ephemeris' first line: three values from column.
void ParseClockTerms(const std::string& line, size_t column, Ephemeris& eph) {
  ParseReal(line, column, kFieldWidth, eph.af0);
  ParseReal(line, column + kFieldWidth, kFieldWidth, eph.af1);
  ParseReal(line, column + 2 * kFieldWidth, kFieldWidth, eph.af2);
}

// Broadcast orbit line l (0 to 6) of an ephemeris: four values from column.
void ParseOrbitLine(const std::string& line, size_t column, int l, Ephemeris& eph) {
  double* const orbit[kOrbitLines][4] = {
      {&eph.iode, &eph.crs, &eph.deltaN, &eph.m0},
      {&eph.cuc, &eph.e, &eph.cus, &eph.sqrtA},
      {&eph.toe, &eph.cic, &eph.omega0, &eph.cis},
      {&eph.i0, &eph.crc, &eph.omega, &eph.omegaDot},
      {&eph.idot, &eph.codesOnL2, &eph.week, &eph.l2pFlag},
      {&eph.accuracy, &eph.health, &eph.tgd, &eph.iodc},
      {&eph.transmitTime, &eph.fitInterval, &eph.spare1, &eph.spare2}};
  for (int k = 0; k < 4; ++k)
    ParseReal(line, column + kFieldWidth * static_cast<size_t>(k), kFieldWidth, *orbit[l][k]);
}

}  // namespace

void NavReader::Event(const std::string& text) {
  if (events_) events_(text);
}

void NavReader::Skipped(const char* what) {
  if (++skipped_ <= kMaxReportedSkips)
    Event("navigation line " + std::to_string(source_.LineNumber()) + " skipped: " + what);
}

bool NavReader::NextLine() {
  if (putBack_) {
    putBack_ = false;
    return true;
  }
  return source_.Next(line_);
}

bool NavReader::ReadHeader() {
  while (source_.Next(line_) && line_.empty()) {
  }
  if (HeaderLabel(line_) != "RINEX VERSION / TYPE") {
    error_ = "not a RINEX navigation file (no RINEX VERSION / TYPE record)";
    return false;
  }
  ParseReal(line_, 0, 9, header_.version);
  char type = line_.size() > 20 ? line_[20] : ' ';
  if (type != 'N' && type != 'n') {
    error_ = "not a RINEX GPS navigation file (file type '";
    error_ += type;
    error_ += "')";
    return false;
  }
  if (header_.version < 1.0 || header_.version >= 5.0) {
    error_ = "unsupported RINEX navigation version " + FieldText(line_, 0, 9);
    return false;
  }
  const char system = line_.size() > 40 ? line_[40] : ' ';
  if (header_.version >= 3.0 && system != 'G' && system != 'M' && system != ' ') {
    error_ = "not a GPS or mixed navigation file (system '";
    error_ += system;
    error_ += "')";
    return false;
  }
  bool alpha = false;
  bool beta = false;
  while (source_.Next(line_)) {
    const std::string label = HeaderLabel(line_);
    if (label == "END OF HEADER") {
      header_.haveIon = alpha && beta;
      return true;
    }
    if (label == "ION ALPHA" || label == "ION BETA") {
      double* target = label == "ION ALPHA" ? header_.ionAlpha : header_.ionBeta;
      (label == "ION ALPHA" ? alpha : beta) = ParseIonosphere(line_, 2, target);
    } else if (label == "IONOSPHERIC CORR") {
      // Versions 3 and 4: the correction's kind, then four values.
      const std::string kind = FieldText(line_, 0, 4);
      if (kind == "GPSA" || kind == "GPSB") {
        double* target = kind == "GPSA" ? header_.ionAlpha : header_.ionBeta;
        (kind == "GPSA" ? alpha : beta) = ParseIonosphere(line_, 5, target);
      }
    }
  }
  error_ = "the navigation header has no END OF HEADER record";
  return false;
}

bool NavReader::Next(Ephemeris& eph) {
  if (header_.version >= 3.0) return NextVersion3(eph);
  while (source_.Next(line_)) {
    if (line_.empty()) continue;
    eph = Ephemeris();
    int year = 0;
    bool ok = ParseInt(line_, 0, 2, eph.prn) && ParseInt(line_, 2, 3, year) &&
              ParseInt(line_, 5, 3, eph.tocMonth) && ParseInt(line_, 8, 3, eph.tocDay) &&
              ParseInt(line_, 11, 3, eph.tocHour) && ParseInt(line_, 14, 3, eph.tocMinute) &&
              ParseReal(line_, 17, 5, eph.tocSecond);
    eph.tocYear = FullYear(year);
    if (!ok || eph.prn < 1 || eph.prn > 99 ||
        !PlausibleCalendar(eph.tocYear, eph.tocMonth, eph.tocDay, eph.tocHour, eph.tocMinute,
                           eph.tocSecond)) {
      if (++skipped_ <= kMaxReportedSkips)
        Event("navigation line " + std::to_string(source_.LineNumber()) +
              " skipped: not the start of an ephemeris");
      continue;
    }
    ParseClockTerms(line_, 22, eph);
    for (int l = 0; l < kOrbitLines; ++l) {
      if (!source_.Next(line_)) {
        // The last line may be short or missing entirely; six complete
        // orbit lines are needed for a usable record.
        if (l < kOrbitLines - 1) {
          Event("the last ephemeris is cut short");
          return false;
        }
        line_.clear();
      }
      ParseOrbitLine(line_, 3, l, eph);
    }
    ResolveEphemerisTimes(eph);
    return true;
  }
  return false;
}

bool NavReader::NextVersion3(Ephemeris& eph) {
  const bool version4 = header_.version >= 4.0;
  while (NextLine()) {
    if (line_.empty()) continue;
    if (line_[0] == '>') {
      // Version 4: a record type, the satellite and the message type.
      const std::string type = FieldText(line_, 2, 3);
      const std::string satellite = FieldText(line_, 6, 3);
      const std::string message = FieldText(line_, 10, 4);
      const bool gps = !satellite.empty() && satellite[0] == 'G';
      if (type == "EPH" && gps && message == "LNAV") {
        if (!NextLine()) break;
        if (line_.empty() || line_[0] != 'G') {
          Skipped("a GPS LNAV record does not begin with its satellite");
          PutBack();
          continue;
        }
        if (ReadGpsRecord3(eph)) return true;
      } else if (type == "ION" && gps && message == "LNAV") {
        ReadIonosphereRecord4();
      } else {
        SkipContinuation(true);
      }
      continue;
    }
    if (line_[0] == 'G') {
      if (ReadGpsRecord3(eph)) return true;
    } else if (line_[0] == ' ') {
      Skipped("not the start of a navigation record");
    } else {
      SkipContinuation(version4);  // a record of another system
    }
  }
  return false;
}

void NavReader::SkipContinuation(bool version4) {
  while (NextLine()) {
    if (line_.empty()) continue;
    if (version4 ? line_[0] == '>' : line_[0] != ' ') {
      PutBack();
      return;
    }
  }
}

// Version 3 and 4 GPS record: "Gnn", the time of clock with a four-digit
// year from column 5, the clock terms from column 24, then seven lines of
// four values from column 5.
bool NavReader::ReadGpsRecord3(Ephemeris& eph) {
  eph = Ephemeris();
  const bool ok = ParseInt(line_, 1, 2, eph.prn) && ParseInt(line_, 4, 4, eph.tocYear) &&
                  ParseInt(line_, 9, 2, eph.tocMonth) && ParseInt(line_, 12, 2, eph.tocDay) &&
                  ParseInt(line_, 15, 2, eph.tocHour) && ParseInt(line_, 18, 2, eph.tocMinute) &&
                  ParseReal(line_, 21, 2, eph.tocSecond);
  if (!ok || eph.prn < 1 || eph.prn > 99 ||
      !PlausibleCalendar(eph.tocYear, eph.tocMonth, eph.tocDay, eph.tocHour, eph.tocMinute,
                         eph.tocSecond)) {
    Skipped("not the start of an ephemeris");
    SkipContinuation(header_.version >= 4.0);
    return false;
  }
  ParseClockTerms(line_, 23, eph);
  for (int l = 0; l < kOrbitLines; ++l) {
    const bool more = NextLine();
    const bool nextRecord = more && !line_.empty() && line_[0] != ' ';
    if (nextRecord) PutBack();
    if (!more || nextRecord) {
      // Only the last line may be missing; six complete lines are needed.
      if (l < kOrbitLines - 1) {
        Event("navigation line " + std::to_string(source_.LineNumber()) +
              ": a GPS ephemeris is cut short");
        return false;
      }
      break;
    }
    ParseOrbitLine(line_, 4, l, eph);
  }
  ResolveEphemerisTimes(eph);
  return true;
}

// Version 4 ionosphere record of the GPS legacy message: the transmission
// time and alpha 0-2, then alpha 3 and beta 0-2, then beta 3.
void NavReader::ReadIonosphereRecord4() {
  double values[8] = {0, 0, 0, 0, 0, 0, 0, 0};
  bool all = true;
  for (int l = 0; l < 3 && all; ++l) {
    if (!NextLine()) return;
    if (line_.empty() || line_[0] != ' ') {
      PutBack();
      return;
    }
    const int first = l == 0 ? 0 : 4 * l - 1;
    const int count = l == 0 ? 3 : (l == 1 ? 4 : 1);
    const size_t column = l == 0 ? 23 : 4;
    for (int k = 0; k < count; ++k)
      all = ParseReal(line_, column + kFieldWidth * static_cast<size_t>(k), kFieldWidth,
                      values[first + k]) &&
            all;
  }
  if (all && !header_.haveIon) {
    for (int i = 0; i < 4; ++i) {
      header_.ionAlpha[i] = values[i];
      header_.ionBeta[i] = values[4 + i];
    }
    header_.haveIon = true;
  }
  SkipContinuation(true);
}

void ResolveEphemerisTimes(Ephemeris& eph) {
  eph.tocSeconds = GpsSecondsFromCalendar(eph.tocYear, eph.tocMonth, eph.tocDay, eph.tocHour,
                                          eph.tocMinute, eph.tocSecond);
  const int tocWeek = GpsWeekOf(eph.tocSeconds);
  int week = static_cast<int>(std::lround(eph.week));
  if (week < 0 || week > 100000) week = tocWeek;
  while (week + 512 < tocWeek) week += 1024;
  while (week - 512 > tocWeek) week -= 1024;
  eph.fullWeek = week;
  eph.toeSeconds = week * kSecondsPerWeek + eph.toe;
  // toe and toc lie within hours of each other; a week field that belongs to
  // the other side of a week boundary is corrected here.
  if (eph.toeSeconds - eph.tocSeconds > kHalfWeek) {
    eph.fullWeek -= 1;
    eph.toeSeconds -= kSecondsPerWeek;
  } else if (eph.tocSeconds - eph.toeSeconds > kHalfWeek) {
    eph.fullWeek += 1;
    eph.toeSeconds += kSecondsPerWeek;
  }
}

}  // namespace rin2obn
