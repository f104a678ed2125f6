#include "companion_files.h"

#include <cmath>

#include "geodesy.h"
#include "gnss_time.h"
#include "orbit.h"

namespace rin2obn {

bool WriteNvb(std::FILE* out, const std::vector<Ephemeris>& ephemerides) {
  std::fprintf(out, "$EPHREC GPS broadcast ephemerides: %zu\n", ephemerides.size());
  for (const Ephemeris& e : ephemerides) {
    // Values are written with 15 significant digits, which gives back the
    // 12-digit mantissas of the navigation file exactly. El1 opens with the
    // continuous GPS week and El5 with the time of ephemeris.
    std::fprintf(out, "GpsEph {\n");
    std::fprintf(out, "  Prn: %d\n", e.prn);
    std::fprintf(out, "  Toc: %04d %02d %02d %02d %02d %.15g\n", e.tocYear, e.tocMonth, e.tocDay,
                 e.tocHour, e.tocMinute, e.tocSecond);
    std::fprintf(out, "  Clock: %.15g %.15g %.15g\n", e.af0, e.af1, e.af2);
    std::fprintf(out, "  El1: %d %.15g %.15g %.15g %.15g\n", e.fullWeek, e.iode, e.crs, e.deltaN,
                 e.m0);
    std::fprintf(out, "  El2: %.15g %.15g %.15g %.15g\n", e.cuc, e.e, e.cus, e.sqrtA);
    std::fprintf(out, "  El3: %.15g %.15g %.15g %.15g\n", e.cic, e.omega0, e.cis, e.i0);
    std::fprintf(out, "  El4: %.15g %.15g %.15g %.15g\n", e.crc, e.omega, e.omegaDot, e.idot);
    std::fprintf(out, "  El5: %.15g %.15g %.15g %.15g\n", e.toe, e.codesOnL2, e.l2pFlag,
                 e.accuracy);
    std::fprintf(out, "  El6: %.15g %.15g %.15g %.15g %.15g\n", e.health, e.tgd, e.iodc,
                 e.transmitTime, e.fitInterval);
    std::fprintf(out, "  Spare: %.15g %.15g\n", e.spare1, e.spare2);
    std::fprintf(out, "}\n");
  }
  return std::ferror(out) == 0;
}

namespace {

void WriteEpoch(std::FILE* out, const char* key, double gpsSeconds) {
  const double days = std::floor(gpsSeconds / 86400.0);
  double second = gpsSeconds - days * 86400.0;
  int year = 0, month = 0, day = 0;
  stanvex::gnss::CivilFromDays(static_cast<int64_t>(days) + stanvex::gnss::kGpsEpochDays, &year,
                               &month, &day);
  const int hour = static_cast<int>(second / 3600.0);
  second -= hour * 3600.0;
  const int minute = static_cast<int>(second / 60.0);
  second -= minute * 60.0;
  std::fprintf(out, "%s: %04d-%02d-%02d %02d:%02d:%010.7f GPS (week %d, %.3f s)\n", key, year,
               month, day, hour, minute, second, GpsWeekOf(gpsSeconds),
               SecondsOfWeekOf(gpsSeconds));
}

}  // namespace

bool WriteSta(std::FILE* out, const StationSummary& s) {
  const ObsHeader& h = *s.header;
  std::fprintf(out, "MarkerName: %s\n", h.markerName.c_str());
  std::fprintf(out, "MarkerNumber: %s\n", h.markerNumber.c_str());
  std::fprintf(out, "ReceiverNumber: %s\n", h.receiverNumber.c_str());
  std::fprintf(out, "ReceiverType: %s\n", h.receiverType.c_str());
  std::fprintf(out, "ReceiverVersion: %s\n", h.receiverVersion.c_str());
  std::fprintf(out, "AntennaNumber: %s\n", h.antennaNumber.c_str());
  std::fprintf(out, "AntennaType: %s\n", h.antennaType.c_str());
  std::fprintf(out, "AntennaHeight: %.4f\n", h.antennaDelta[0]);
  std::fprintf(out, "ApproxPositionXYZ: %.4f %.4f %.4f\n", h.approxPosition[0],
               h.approxPosition[1], h.approxPosition[2]);
  if (s.haveAverage) {
    const Geodetic g = EcefToGeodetic(s.average);
    std::fprintf(out, "AveragePositionXYZ: %.4f %.4f %.4f\n", s.average[0], s.average[1],
                 s.average[2]);
    std::fprintf(out, "AverageLatitude: %.9f\n", g.latitude * 180.0 / kGpsPi);
    std::fprintf(out, "AverageLongitude: %.9f\n", g.longitude * 180.0 / kGpsPi);
    std::fprintf(out, "AverageHeight: %.4f\n", g.height);
  } else {
    std::fprintf(out, "AveragePositionXYZ: none\n");
  }
  std::fprintf(out, "SolvedEpochs: %ld\n", s.solvedEpochs);
  std::fprintf(out, "Interval: %.3f\n", s.interval);
  if (s.haveEpochs) {
    WriteEpoch(out, "FirstEpoch", s.firstEpoch);
    WriteEpoch(out, "LastEpoch", s.lastEpoch);
  }
  return std::ferror(out) == 0;
}

}  // namespace rin2obn
