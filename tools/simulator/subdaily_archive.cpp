#include "subdaily_archive.h"

#include <cstdio>

#include "crinex_encoder.h"
#include "gps_constants.h"
#include "rinex3.h"

namespace stanvex::sim {
namespace {

constexpr int kSecondsPerHour = 3600;
constexpr int kQuarter = 900;
// A rolling navigation file holds the ephemerides broadcast so far, which
// include those whose time of ephemeris lies up to two hours ahead.
constexpr int kBroadcastAhead = 7200;

double FromDms(int d, int m, double s) { return d + m / 60.0 + s / 3600.0; }

std::string CrinexDate(int64_t gps) {
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const CalendarTime c = ToCalendar(SimTime{gps, 0});
  char text[32];
  std::snprintf(text, sizeof text, "%02d-%s-%02d %02d:%02d", c.day, kMonths[c.month - 1],
                c.year % 100, c.hour, c.minute);
  return text;
}

std::string FormatStationEpoch(const ArchiveService& service, const Epoch& epoch,
                               const ObservationOptions& options) {
  return service.rinex3 ? FormatEpoch3(epoch, options.writeReceiverClock)
                        : FormatEpoch(epoch, options.writeReceiverClock);
}

// Observation text as the service publishes its sub-daily files.
bool Published(const ArchiveService& service, const std::string& text, int64_t startGps,
               std::string* data, std::string* error) {
  if (!service.rinex3) {
    *data = text;
    return true;
  }
  return EncodeCompact(true, text, startGps, data, error);
}

}  // namespace

std::vector<ArchiveService> SubDailyServices(double interval) {
  const std::string noaa = "/<YYYY>/<JJJ>/<XXXX>/<XXXX><JJJ>";
  ArchiveService n{"SIMNOAA", "gz", Packing::kGzip, "orange", noaa + "0.<yy>o.gz",
                   noaa + "0.<yy>n.gz", noaa + "0.<yy>d.gz", true, true, false, {}, {}};
  n.subDaily.hourly = noaa + "<h>.<yy>o.gz";
  n.subDaily.rollingNav = "/<YYYY>/<JJJ>/brdc<JJJ>0.<yy>n.gz";
  n.comment = "; Laid out as NOAA's CORS archive: hourly files, merged navigation rebuilt hourly.";

  const std::string rate = LongNameInterval(interval);
  const std::string day = "_<YYYY><JJJ>0000_01D_" + rate + "_MO.";
  const std::string brdc = "/IGS/BRDC/<YYYY>/<JJJ>/";
  ArchiveService b{"SIMBKG",
                   "gz",
                   Packing::kGzip,
                   "purple",
                   "/IGS/obs/<YYYY>/<JJJ>/<XXXXMRCCC>_R" + day + "rnx.gz",
                   brdc + "BRDM00DLR_S_<YYYY><JJJ>0000_01D_MN.rnx.gz",
                   "/IGS/obs/<YYYY>/<JJJ>/<XXXXMRCCC>_R" + day + "crx.gz",
                   false,
                   true,
                   true,
                   {},
                   {}};
  b.subDaily.hourly =
      "/IGS/nrt/<JJJ>/<HH>/<XXXXMRCCC>_R_<YYYY><JJJ><HH>00_01H_" + rate + "_MO.crx.gz";
  b.subDaily.quarter =
      "/IGS/highrate/<YYYY>/<JJJ>/<h>/<XXXXMRCCC>_R_<YYYY><JJJ><HH><MM>_15M_01S_MO.crx.gz";
  b.subDaily.rollingNav = brdc + "BRDC00WRD_S_<YYYY><JJJ>0000_01D_MN.rnx.gz";
  b.comment = "; Laid out as BKG's IGS tree: hourly files (nrt), 15-minute 1 Hz files (highrate).";
  return {n, b};
}

std::vector<ArchiveStation> SubDailyStations() {
  return {
      {{"simh", FromDms(39, 44, 12.4071), -FromDms(105, 10, 33.9020), 1702.650}, "SIMNOAA"},
      {{"simq", FromDms(50, 5, 26.8810), FromDms(8, 39, 51.3364), 178.112}, "SIMBKG",
       "SIMQ00DEU", false},
  };
}

HourSpan HighRateHours(int todayHours) {
  return {todayHours > 2 ? todayHours - 2 : 0, todayHours};
}

std::string RecordedHourName(const ArchiveStation& station, int64_t hourGps) {
  const CalendarTime c = ToCalendar(SimTime{hourGps, 0});
  char text[64];
  std::snprintf(text, sizeof text, "_R_%04d%03d%02d00_01H_01S_MO.rnx", c.year, c.dayOfYear,
                c.hour);
  return (station.longName.empty() ? station.station.name : station.longName) + text;
}

bool EncodeCompact(bool rinex3, const std::string& rinex, int64_t startGps, std::string* compact,
                   std::string* error) {
  CrinexOptions crx;
  crx.date = CrinexDate(startGps);
  return rinex3 ? EncodeCompactRinex3(rinex, compact, error, crx)
                : EncodeCompactRinex(rinex, compact, error, crx);
}

std::string StationHeader(const ArchiveService& service, const ArchiveStation& station,
                          const ObservationOptions& options, const Vec3& truePosition,
                          const SimTime& firstEpoch) {
  return service.rinex3 ? Rinex3ObservationHeader(station.station, station.longName, options,
                                                  truePosition, firstEpoch)
                        : ObservationHeader(station.station, options, truePosition, firstEpoch);
}

bool PutHourlyFiles(const ArchiveService& service, const ArchiveStation& station,
                    const ObservationOptions& options, const Vec3& truePosition,
                    const HourTexts& hours, const PutFile& put, std::string* error) {
  for (int hour = 0; hour < 24; ++hour) {
    if (hours.text[hour].empty()) continue;
    const SimTime& first = hours.first[hour];
    const int64_t hourGps = first.whole - first.whole % kSecondsPerHour;
    std::string data;
    if (!Published(service,
                   StationHeader(service, station, options, truePosition, first) +
                       hours.text[hour],
                   hourGps, &data, error) ||
        !put(service,
             ExpandTemplate(service.subDaily.hourly, station.station.name, hourGps,
                            station.longName),
             data, SimTime{hourGps, 0}))
      return false;
  }
  return true;
}

bool PutRollingNavigation(const ArchiveService& service, int64_t dayGps, int hours,
                          const PutFile& put) {
  const double span = hours >= 24 ? kSecondsPerDay : hours * kSecondsPerHour + kBroadcastAhead;
  const SimTime stamp{dayGps, 0};
  const std::string nav = service.rinex3 ? Rinex3NavigationFile(dayGps, span)
                                         : NavigationHeader(stamp) + NavigationBody(dayGps, span);
  return put(service, ExpandTemplate(service.subDaily.rollingNav, "auto", dayGps), nav, stamp);
}

bool PutHighRateFiles(const ArchiveService& service, const ArchiveStation& station,
                      const ArchiveOptions& options, int64_t todayGps, const PutFile& put,
                      std::string* recordedHour, std::string* error) {
  const HourSpan span = HighRateHours(options.todayHours);
  ObservationOptions rate;
  rate.startGps = todayGps + span.first * kSecondsPerHour;
  rate.duration = (span.end - span.first) * kSecondsPerHour;
  rate.interval = 1;
  rate.seed = options.seed;
  rate.slips = options.slips;
  rate.doppler = service.rinex3;
  ObservationSimulator simulator(station.station, rate);
  Epoch epoch;
  bool more = simulator.Next(&epoch);
  recordedHour->clear();
  for (int64_t start = rate.startGps; start < rate.startGps + rate.duration; start += kQuarter) {
    if (!more || epoch.time.whole >= start + kQuarter) continue;  // a quarter without epochs
    const std::string header =
        StationHeader(service, station, rate, simulator.TruePosition(), epoch.time);
    std::string body;
    while (more && epoch.time.whole < start + kQuarter) {
      body += FormatStationEpoch(service, epoch, rate);
      more = simulator.Next(&epoch);
    }
    if (start < rate.startGps + kSecondsPerHour) {
      if (recordedHour->empty()) *recordedHour = header;
      *recordedHour += body;
    }
    std::string data;
    if (!Published(service, header + body, start, &data, error) ||
        !put(service,
             ExpandTemplate(service.subDaily.quarter, station.station.name, start,
                            station.longName),
             data, SimTime{start, 0}))
      return false;
  }
  return true;
}

}  // namespace stanvex::sim
