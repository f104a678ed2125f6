#include "rinex_common.h"

#include "rinex_text.h"

namespace stanvex::sim {

std::string ProgramLine(const SimTime& firstEpoch) {
  const CalendarTime c = ToCalendar(firstEpoch);
  return HeaderLine(FormatText("%-20s%-20s%04d%02d%02d %02d%02d%02d UTC", "stanvex simulate",
                               "stanvex", c.year, c.month, c.day, 0, 0, 0),
                    "PGM / RUN BY / DATE");
}

std::string D19(double v) { return FormatText("%19.12E", v); }

std::string IonosphereLine(const char* prefix, const double (&coefficients)[4],
                           const char* label) {
  return HeaderLine(prefix + FormatText("%12.4E%12.4E%12.4E%12.4E", coefficients[0],
                                        coefficients[1], coefficients[2], coefficients[3]),
                    label);
}

std::string ReceiverLines(const ObservationOptions& options, const Vec3& truePosition) {
  std::string h;
  h += HeaderLine(FormatText("%-20s%-40s", "simulator", "stanvex"), "OBSERVER / AGENCY");
  h += HeaderLine(FormatText("%-20s%-20s%-20s", "SIM0001", "STANVEX SIMULATOR", "1.0"),
                  "REC # / TYPE / VERS");
  h += HeaderLine(FormatText("%-20s%-20s", "SIM0001", "STANVEX SIM ANTENNA"), "ANT # / TYPE");
  const Vec3& d = options.approxPositionOffset;
  h += HeaderLine(FormatText("%14.4f%14.4f%14.4f", truePosition.x + d.x, truePosition.y + d.y,
                             truePosition.z + d.z),
                  "APPROX POSITION XYZ");
  h += HeaderLine(FormatText("%14.4f%14.4f%14.4f", 0.0, 0.0, 0.0), "ANTENNA: DELTA H/E/N");
  return h;
}

std::string IntervalLines(const ObservationOptions& options, const SimTime& firstEpoch) {
  std::string h = HeaderLine(FormatText("%10.3f", options.interval), "INTERVAL");
  const CalendarTime c = ToCalendar(firstEpoch);
  h += HeaderLine(FormatText("%6d%6d%6d%6d%6d%13.7f     GPS", c.year, c.month, c.day, c.hour,
                             c.minute, c.second),
                  "TIME OF FIRST OBS");
  return h;
}

std::string BroadcastOrbitLines(const Ephemeris& e, const char* indent) {
  const std::string in = indent;
  std::string out;
  out += in + D19(e.iode) + D19(e.crs) + D19(e.deltaN) + D19(e.m0) + "\n";
  out += in + D19(e.cuc) + D19(e.e) + D19(e.cus) + D19(e.sqrtA) + "\n";
  out += in + D19(e.toe) + D19(e.cic) + D19(e.omega0) + D19(e.cis) + "\n";
  out += in + D19(e.i0) + D19(e.crc) + D19(e.omega) + D19(e.omegaDot) + "\n";
  out += in + D19(e.idot) + D19(e.l2Codes) + D19(static_cast<double>(e.week)) + D19(e.l2pFlag) +
         "\n";
  out += in + D19(e.accuracy) + D19(e.health) + D19(e.tgd) + D19(e.iodc) + "\n";
  out += in + D19(e.transmissionTime) + D19(e.fitInterval) + "\n";
  return out;
}

}  // namespace stanvex::sim
