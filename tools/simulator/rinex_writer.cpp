// RINEX 2.11 observation and navigation text of the simulator.
#include <cmath>
#include <fstream>

#include "constellation.h"
#include "rinex_common.h"
#include "rinex_text.h"
#include "simulator.h"

namespace stanvex::sim {

std::string ObservationHeader(const Station& station, const ObservationOptions& options,
                              const Vec3& truePosition, const SimTime& firstEpoch) {
  std::string h;
  h += HeaderLine("     2.11           OBSERVATION DATA    G (GPS)", "RINEX VERSION / TYPE");
  h += ProgramLine(firstEpoch);
  h += HeaderLine("Simulated data, true position listed beside the archive", "COMMENT");
  h += HeaderLine(station.name, "MARKER NAME");
  h += HeaderLine(station.name + " SIM", "MARKER NUMBER");
  h += ReceiverLines(options, truePosition);
  h += HeaderLine("     1     1", "WAVELENGTH FACT L1/2");
  std::string types = FormatText("%6d", static_cast<int>(kObsTypeCount));
  for (const char* name : kObsTypeNames) types += FormatText("    %s", name);
  h += HeaderLine(types, "# / TYPES OF OBSERV");
  h += IntervalLines(options, firstEpoch);
  h += HeaderLine("", "END OF HEADER");
  return h;
}

std::string FormatEpoch(const Epoch& epoch, bool withClock) {
  const CalendarTime c = ToCalendar(epoch.time);
  std::string line =
      FormatText(" %02d %2d %2d %2d %2d%11.7f  %d%3d", c.year % 100, c.month, c.day, c.hour,
                 c.minute, c.second, epoch.flag, static_cast<int>(epoch.satellites.size()));
  std::string out;
  size_t count = 0;
  for (const SatelliteObservation& sat : epoch.satellites) {
    if (count > 0 && count % 12 == 0) {
      if (count == 12 && withClock) {
        line.resize(68, ' ');
        line += FortranFixed(epoch.receiverClock, 12, 9);
      }
      out += line + "\n";
      line.assign(32, ' ');
    }
    line += FormatText("G%02d", sat.prn);
    ++count;
  }
  if (withClock && count <= 12) {
    line.resize(68, ' ');
    line += FortranFixed(epoch.receiverClock, 12, 9);
  }
  out += line + "\n";

  for (const SatelliteObservation& sat : epoch.satellites) {
    std::string record;
    for (int type = 0; type < kObsTypeCount; ++type) {
      if (sat.present[type]) {
        record += FortranFixed(sat.value[type], 14, 3);
        record += sat.lli[type] ? static_cast<char>('0' + sat.lli[type]) : ' ';
        record += sat.ssi[type] ? static_cast<char>('0' + sat.ssi[type]) : ' ';
      } else {
        record.append(16, ' ');
      }
      if (type % 5 == 4 || type == kObsTypeCount - 1) {
        TrimRight(&record);
        out += record + "\n";
        record.clear();
      }
    }
  }
  return out;
}

std::string NavigationHeader(const SimTime& firstEpoch) {
  const IonosphereCoefficients& ion = BroadcastIonosphere();
  std::string h;
  h += HeaderLine("     2.11           N: GPS NAV DATA", "RINEX VERSION / TYPE");
  h += ProgramLine(firstEpoch);
  h += HeaderLine("Simulated ephemerides of the stanvex constellation", "COMMENT");
  h += IonosphereLine("  ", ion.alpha, "ION ALPHA");
  h += IonosphereLine("  ", ion.beta, "ION BETA");
  const CalendarTime c = ToCalendar(firstEpoch);
  h += HeaderLine(FormatText("   %19.12E%19.12E%9d%9d", 0.0, 0.0, 0, c.gpsWeek),
                  "DELTA-UTC: A0,A1,T,W");
  h += HeaderLine(FormatText("%6d", LeapSecondsAt(firstEpoch.whole)), "LEAP SECONDS");
  h += HeaderLine("", "END OF HEADER");
  return h;
}

std::string NavigationBody(int64_t startGps, double duration) {
  const Constellation& constellation = Constellation::Default();
  std::string out;
  int64_t toe = startGps - ((startGps % kEphemerisSpacing) + kEphemerisSpacing) % kEphemerisSpacing;
  for (; static_cast<double>(toe - startGps) < duration; toe += kEphemerisSpacing) {
    const CalendarTime c = ToCalendar(SimTime{toe, 0});
    for (int prn : constellation.Prns()) {
      const Ephemeris e = constellation.EphemerisAt(prn, toe);
      out += FormatText("%2d %02d %2d %2d %2d %2d%5.1f", prn, c.year % 100, c.month, c.day,
                        c.hour, c.minute, c.second) +
             D19(e.af0) + D19(e.af1) + D19(e.af2) + "\n";
      out += BroadcastOrbitLines(e, "   ");
    }
  }
  return out;
}

namespace {

bool WriteAll(std::ofstream& file, const std::string& text, const std::string& path,
              std::string* error) {
  file.write(text.data(), static_cast<std::streamsize>(text.size()));
  if (!file) {
    if (error) *error = "cannot write " + path;
    return false;
  }
  return true;
}

}  // namespace

bool WriteObservationFile(const Station& station, const ObservationOptions& options,
                          const std::string& path, std::string* error) {
  if (!(options.interval > 0) || !(options.duration >= 0)) {
    if (error) *error = "the interval must be positive and the duration not negative";
    return false;
  }
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  if (!file) {
    if (error) *error = "cannot create " + path;
    return false;
  }
  ObservationSimulator simulator(station, options);
  if (!WriteAll(file,
                ObservationHeader(station, options, simulator.TruePosition(),
                                  SimTime{options.startGps, 0}),
                path, error))
    return false;
  Epoch epoch;
  std::string chunk;
  while (simulator.Next(&epoch)) {
    chunk += FormatEpoch(epoch, options.writeReceiverClock);
    if (chunk.size() > (1u << 20)) {
      if (!WriteAll(file, chunk, path, error)) return false;
      chunk.clear();
    }
  }
  if (!WriteAll(file, chunk, path, error)) return false;
  file.close();
  if (!file) {
    if (error) *error = "cannot write " + path;
    return false;
  }
  return true;
}

bool WriteNavigationFile(int64_t startGps, double duration, const std::string& path,
                         std::string* error) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  if (!file) {
    if (error) *error = "cannot create " + path;
    return false;
  }
  if (!WriteAll(file, NavigationHeader(SimTime{startGps, 0}) + NavigationBody(startGps, duration),
                path, error))
    return false;
  file.close();
  if (!file) {
    if (error) *error = "cannot write " + path;
    return false;
  }
  return true;
}

bool SimulateStationFiles(const Station& station, const ObservationOptions& options,
                          const std::string& obsPath, const std::string& navPath,
                          std::string* error) {
  return WriteObservationFile(station, options, obsPath, error) &&
         WriteNavigationFile(options.startGps, options.duration, navPath, error);
}

}  // namespace stanvex::sim
