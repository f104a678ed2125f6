// Reader of GPS navigation files and the broadcast ephemeris record: RINEX 2
// GPS files, RINEX 3.0x GPS or mixed files and RINEX 4.0x files ("> EPH Gnn
// LNAV" records). Only GPS legacy ephemerides are returned; the records of
// other systems and other message types are skipped.
#ifndef STANVEX_RIN2OBN_RINEX_NAV_H
#define STANVEX_RIN2OBN_RINEX_NAV_H

#include <functional>
#include <string>
#include <vector>

#include "line_source.h"

namespace rin2obn {

// One broadcast ephemeris: every value of the navigation record, in record
// order, plus the times derived from it.
struct Ephemeris {
  int prn = 0;
  int tocYear = 0, tocMonth = 0, tocDay = 0, tocHour = 0, tocMinute = 0;
  double tocSecond = 0.0;
  double af0 = 0, af1 = 0, af2 = 0;                    // s, s/s, s/s^2
  double iode = 0, crs = 0, deltaN = 0, m0 = 0;        // -, m, rad/s, rad
  double cuc = 0, e = 0, cus = 0, sqrtA = 0;           // rad, -, rad, m^0.5
  double toe = 0, cic = 0, omega0 = 0, cis = 0;        // s of week, rad, rad, rad
  double i0 = 0, crc = 0, omega = 0, omegaDot = 0;     // rad, m, rad, rad/s
  double idot = 0, codesOnL2 = 0, week = 0, l2pFlag = 0;  // rad/s, -, week as written, -
  double accuracy = 0, health = 0, tgd = 0, iodc = 0;  // m, -, s, -
  double transmitTime = 0, fitInterval = 0, spare1 = 0, spare2 = 0;  // s of week, hours

  // Derived: the continuous GPS week of toe, toe and toc as GPS seconds.
  int fullWeek = 0;
  double toeSeconds = 0.0;
  double tocSeconds = 0.0;
};

struct NavHeader {
  double version = 0.0;
  double ionAlpha[4] = {0, 0, 0, 0};
  double ionBeta[4] = {0, 0, 0, 0};
  bool haveIon = false;
};

class NavReader {
 public:
  using EventSink = std::function<void(const std::string&)>;
  explicit NavReader(LineSource& source, EventSink events = nullptr)
      : source_(source), events_(std::move(events)) {}

  // Reads the header. False, with error(), when the text is not a RINEX 2
  // GPS, RINEX 3 GPS or mixed, or RINEX 4 navigation file.
  bool ReadHeader();

  // Reads the next GPS ephemeris. False at the end of the text. Records whose
  // first line cannot be read are skipped (reported as an event). In a
  // RINEX 4 file, the first GPS LNAV ionosphere record fills the header's
  // ionAlpha and ionBeta as it is passed.
  bool Next(Ephemeris& ephemeris);

  const NavHeader& header() const { return header_; }
  const std::string& error() const { return error_; }

 private:
  void Event(const std::string& text);
  void Skipped(const char* what);
  bool NextLine();
  void PutBack() { putBack_ = true; }
  bool NextVersion3(Ephemeris& ephemeris);
  // Reads the rest of a GPS record whose first line is in line_.
  bool ReadGpsRecord3(Ephemeris& ephemeris);
  // Skips the continuation lines of a record of another system.
  void SkipContinuation(bool version4);
  void ReadIonosphereRecord4();
  LineSource& source_;
  EventSink events_;
  NavHeader header_;
  std::string error_;
  std::string line_;
  int skipped_ = 0;
  bool putBack_ = false;  // line_ is to be returned again by NextLine
};

// Sets fullWeek, toeSeconds and tocSeconds from the record's fields: the
// week is taken as written when it is continuous, and moved by 1024-week
// rollovers to lie next to the week of toc when it is not.
void ResolveEphemerisTimes(Ephemeris& ephemeris);

}  // namespace rin2obn

#endif  // STANVEX_RIN2OBN_RINEX_NAV_H
