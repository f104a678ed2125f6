// RINEX 3.04 observation and merged navigation text of the simulator.
#include <cmath>

#include "constellation.h"
#include "gps_constants.h"
#include "rinex3.h"
#include "rinex_common.h"
#include "rinex_text.h"

namespace stanvex::sim {
namespace {

std::string Upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

// One observation field: F14.3, loss of lock and signal strength.
std::string Field(bool present, double value, int lli, int ssi) {
  if (!present) return std::string(16, ' ');
  std::string f = FortranFixed(value, 14, 3);
  f += lli ? static_cast<char>('0' + lli) : ' ';
  f += ssi ? static_cast<char>('0' + ssi) : ' ';
  return f;
}

std::string EpochFields(const CalendarTime& c) {
  return FormatText("%04d %02d %02d %02d %02d %02d", c.year, c.month, c.day, c.hour, c.minute,
                    static_cast<int>(c.second));
}

// The records of systems other than GPS that a merged file carries: one
// Galileo and one GLONASS record at the start of the day. Their values are
// plausible but describe no satellite of the simulation.
std::string OtherSystems(int64_t dayGps, const CalendarTime& c) {
  std::string out;
  out += "E01 " + EpochFields(c) + D19(-4.857848398387E-04) + D19(-7.815970093361E-12) +
         D19(0.0) + "\n";
  const double galileo[7][4] = {
      {1.0e+01, 1.5312500000E+01, 2.8851201795E-09, -1.2017483513E+00},
      {7.4505805969E-07, 1.6924142838E-04, 1.0212883353E-05, 5.4406145668E+03},
      {ToCalendar(SimTime{dayGps, 0}).secondsOfWeek, -7.4505805969E-09, 2.1357406513E+00,
       1.8626451492E-08},
      {9.8801011062E-01, 1.1590625000E+02, -5.6237893867E-01, -5.3573660096E-09},
      {-1.2643384051E-10, 5.1600000000E+02, static_cast<double>(c.gpsWeek), 0.0},
      {3.1200000000E+00, 0.0, -1.0244548321E-08, -1.1641532183E-08},
      {ToCalendar(SimTime{dayGps, 0}).secondsOfWeek + 600.0, 0.0, 0.0, 0.0}};
  for (const auto& row : galileo)
    out += "    " + D19(row[0]) + D19(row[1]) + D19(row[2]) + D19(row[3]) + "\n";
  out += "R01 " + EpochFields(c) + D19(-1.335032284260E-05) + D19(0.0) +
         D19(ToCalendar(SimTime{dayGps, 0}).secondsOfWeek) + "\n";
  const double glonass[3][4] = {{1.4502813964844E+04, -1.6458988189697E+00, 0.0, 0.0},
                                {-1.8472104492188E+04, -1.5630903244019E+00, 9.3132257462E-10, 1.0},
                                {-9.6213603515625E+03, 2.6989316940308E+00, 1.8626451492E-09, 0.0}};
  for (const auto& row : glonass)
    out += "    " + D19(row[0]) + D19(row[1]) + D19(row[2]) + D19(row[3]) + "\n";
  return out;
}

}  // namespace

std::string LongNameInterval(double interval) {
  const double rounded = std::round(interval);
  if (interval < 1) {
    const double hz = std::round(1.0 / interval);
    if (hz >= 1 && hz <= 99 && std::fabs(hz * interval - 1.0) < 1e-9)
      return FormatText("%02dZ", static_cast<int>(hz));
    return "00U";
  }
  if (std::fabs(interval - rounded) > 1e-9) return "00U";
  const int s = static_cast<int>(rounded);
  if (s < 60) return FormatText("%02dS", s);
  if (s % 60 == 0 && s < 3600) return FormatText("%02dM", s / 60);
  if (s % 3600 == 0 && s / 3600 <= 99) return FormatText("%02dH", s / 3600);
  return "00U";
}

std::string Rinex3ObservationHeader(const Station& station, const std::string& longName,
                                    const ObservationOptions& options,
                                    const Vec3& truePosition, const SimTime& firstEpoch) {
  std::string h;
  h += HeaderLine("     3.04           OBSERVATION DATA    G: GPS", "RINEX VERSION / TYPE");
  h += ProgramLine(firstEpoch);
  h += HeaderLine("Simulated data, true position listed beside the archive", "COMMENT");
  h += HeaderLine(Upper(station.name), "MARKER NAME");
  h += HeaderLine(longName + " SIM", "MARKER NUMBER");
  h += HeaderLine("GEODETIC", "MARKER TYPE");
  h += ReceiverLines(options, truePosition);
  h += HeaderLine("G    8 C1C L1C D1C S1C C2W L2W D2W S2W", "SYS / # / OBS TYPES");
  h += HeaderLine("DBHZ", "SIGNAL STRENGTH UNIT");
  h += IntervalLines(options, firstEpoch);
  h += HeaderLine("     0", "RCV CLOCK OFFS APPL");
  h += HeaderLine("G L1C  0.00000", "SYS / PHASE SHIFT");
  h += HeaderLine("G L2W  0.00000", "SYS / PHASE SHIFT");
  h += HeaderLine(FormatText("%6d", LeapSecondsAt(firstEpoch.whole)), "LEAP SECONDS");
  h += HeaderLine("", "END OF HEADER");
  return h;
}

std::string FormatEpoch3(const Epoch& epoch, bool withClock) {
  const CalendarTime c = ToCalendar(epoch.time);
  std::string line =
      FormatText("> %04d %02d %02d %02d %02d%11.7f  %d%3d", c.year, c.month, c.day, c.hour,
                 c.minute, c.second, epoch.flag, static_cast<int>(epoch.satellites.size()));
  if (withClock) {
    line.resize(41, ' ');
    line += FortranFixed(epoch.receiverClock, 15, 12);
  }
  std::string out = line + "\n";
  for (const SatelliteObservation& s : epoch.satellites) {
    std::string record = FormatText("G%02d", s.prn);
    record += Field(s.present[kC1], s.value[kC1], s.lli[kC1], s.ssi[kC1]);
    record += Field(s.present[kL1], s.value[kL1], s.lli[kL1], s.ssi[kL1]);
    record += Field(s.present[kL1], s.dopplerL1, 0, 0);
    record += Field(s.present[kS1], s.value[kS1], 0, 0);
    record += Field(s.present[kP2], s.value[kP2], s.lli[kP2], s.ssi[kP2]);
    record += Field(s.present[kL2], s.value[kL2], s.lli[kL2], s.ssi[kL2]);
    record += Field(s.present[kL2], s.dopplerL2, 0, 0);
    record += Field(s.present[kS2], s.value[kS2], 0, 0);
    TrimRight(&record);
    out += record + "\n";
  }
  return out;
}

std::string Rinex3NavigationFile(int64_t startGps, double duration) {
  const SimTime first{startGps, 0};
  const IonosphereCoefficients& ion = BroadcastIonosphere();
  const CalendarTime firstC = ToCalendar(first);
  std::string out;
  out += HeaderLine("     3.04           N: GNSS NAV DATA    M: MIXED", "RINEX VERSION / TYPE");
  out += ProgramLine(first);
  out += HeaderLine("Simulated ephemerides of the stanvex constellation", "COMMENT");
  out += IonosphereLine("GPSA ", ion.alpha, "IONOSPHERIC CORR");
  out += IonosphereLine("GPSB ", ion.beta, "IONOSPHERIC CORR");
  out += HeaderLine(FormatText("GPUT %17.10E%16.9E %6d %4d", 0.0, 0.0, 0, firstC.gpsWeek),
                    "TIME SYSTEM CORR");
  out += HeaderLine(FormatText("%6d", LeapSecondsAt(startGps)), "LEAP SECONDS");
  out += HeaderLine("", "END OF HEADER");

  // Merged files list the systems in turn: Galileo, GPS, GLONASS.
  const std::string others = OtherSystems(startGps, firstC);
  out += others.substr(0, others.find("R01"));
  const Constellation& constellation = Constellation::Default();
  for (int prn : constellation.Prns()) {
    int64_t toe =
        startGps - ((startGps % kEphemerisSpacing) + kEphemerisSpacing) % kEphemerisSpacing;
    for (; static_cast<double>(toe - startGps) < duration; toe += kEphemerisSpacing) {
      const CalendarTime c = ToCalendar(SimTime{toe, 0});
      const Ephemeris e = constellation.EphemerisAt(prn, toe);
      out += FormatText("G%02d ", prn) + EpochFields(c) + D19(e.af0) + D19(e.af1) + D19(e.af2) +
             "\n";
      out += BroadcastOrbitLines(e, "    ");
    }
  }
  out += others.substr(others.find("R01"));
  return out;
}

}  // namespace stanvex::sim
