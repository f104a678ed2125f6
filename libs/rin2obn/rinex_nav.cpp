#include "rinex_nav.h"

#include <cmath>

#include "fields.h"
#include "gnss_time.h"

namespace rin2obn {
namespace {

constexpr size_t kFieldWidth = 19;
constexpr int kOrbitLines = 7;
constexpr int kMaxReportedSkips = 10;

}  // namespace

void NavReader::Event(const std::string& text) {
  if (events_) events_(text);
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
  if (header_.version < 1.0 || header_.version >= 3.0) {
    error_ = "unsupported RINEX navigation version " + FieldText(line_, 0, 9);
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
      bool all = true;
      for (int i = 0; i < 4; ++i)
        all = ParseReal(line_, static_cast<size_t>(2 + 12 * i), 12, target[i]) && all;
      (label == "ION ALPHA" ? alpha : beta) = all;
    }
  }
  error_ = "the navigation header has no END OF HEADER record";
  return false;
}

bool NavReader::Next(Ephemeris& eph) {
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
    ParseReal(line_, 22, kFieldWidth, eph.af0);
    ParseReal(line_, 22 + kFieldWidth, kFieldWidth, eph.af1);
    ParseReal(line_, 22 + 2 * kFieldWidth, kFieldWidth, eph.af2);
    double* orbit[kOrbitLines][4] = {
        {&eph.iode, &eph.crs, &eph.deltaN, &eph.m0},
        {&eph.cuc, &eph.e, &eph.cus, &eph.sqrtA},
        {&eph.toe, &eph.cic, &eph.omega0, &eph.cis},
        {&eph.i0, &eph.crc, &eph.omega, &eph.omegaDot},
        {&eph.idot, &eph.codesOnL2, &eph.week, &eph.l2pFlag},
        {&eph.accuracy, &eph.health, &eph.tgd, &eph.iodc},
        {&eph.transmitTime, &eph.fitInterval, &eph.spare1, &eph.spare2}};
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
      for (int k = 0; k < 4; ++k) ParseReal(line_, 3 + kFieldWidth * static_cast<size_t>(k), kFieldWidth, *orbit[l][k]);
    }
    ResolveEphemerisTimes(eph);
    return true;
  }
  return false;
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
