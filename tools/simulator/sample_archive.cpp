#include "sample_archive.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "gps_constants.h"
#include "rinex3.h"
#include "subdaily_archive.h"

namespace stanvex::sim {
namespace fs = std::filesystem;
namespace {

// The catalogue keeps an address in 128 bytes with its terminator.
constexpr size_t kAddressLimit = 127;

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

std::string Digits(int value, int width) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*d", width, value);
  return text;
}

// Degrees, minutes, seconds and hemisphere of a signed angle.
std::string Dms(double degrees, char positive, char negative) {
  const char hemisphere = degrees < 0 ? negative : positive;
  double a = std::fabs(degrees);
  int d = static_cast<int>(a);
  int m = static_cast<int>((a - d) * 60.0);
  double s = (a - d - m / 60.0) * 3600.0;
  if (s >= 59.99995) {  // keep the printed seconds below 60
    s = 0;
    if (++m == 60) {
      m = 0;
      ++d;
    }
  }
  char text[64];
  std::snprintf(text, sizeof text, "%d %d %.4f %c", d, m, s, hemisphere);
  return text;
}

double FromDms(int d, int m, double s) { return d + m / 60.0 + s / 3600.0; }

// Four characters of the station code, two digits (monument, receiver),
// three letters of the country code.
bool IsLongName(const std::string& name) {
  if (name.size() != 9) return false;
  for (size_t i = 0; i < 9; ++i) {
    const char c = name[i];
    const bool digit = c >= '0' && c <= '9', upper = c >= 'A' && c <= 'Z';
    if (i < 4 ? !(digit || upper) : i < 6 ? !digit : !upper) return false;
  }
  return true;
}

bool SafeForCatalogue(const std::string& text) {
  for (char c : text)
    if (c == ' ' || c == '\t' || c == '"' || c == ';' || c == '{' || c == '}' || c < 32)
      return false;
  return true;
}

std::string FileAddress(const fs::path& dir) {
  std::string generic = dir.generic_string();
  if (!generic.empty() && generic[0] != '/') generic = "/" + generic;  // a drive letter
  return "file://" + generic;
}

}  // namespace

std::vector<ArchiveService> SampleServices() {
  const std::string rinex = "/pub/rinex/<YYYY>/<JJJ>/<XXXX><JJJ>0.<yy>";
  return {
      {"SIMZ", "Z", Packing::kZ, "blue", rinex + "o.Z", rinex + "n.Z", "", true, true, false, {},
       {}},
      {"SIMGZ", "gz", Packing::kGzip, "green",
       "/data/<YYYY>/<MN>/<DM>/<XXXX><JJJ>0.<yy>o.gz",
       "/data/<YYYY>/<MN>/<DM>/<XXXX><JJJ>0.<yy>n.gz", "", true, true, false, {}, {}},
      {"SIMZIP", "zip", Packing::kZip, "red", "/gps/<WEEK>/<D>/<XXXX><JJJ>0.<yy>o.zip",
       "/gps/<WEEK>/<D>/<XXXX><JJJ>0.<yy>n.zip", "", true, true, false, {}, {}},
      // Compact RINEX only, and no navigation files of its own: a retrieval
      // falls back to the compact file and to the IGS navigation file.
      {"SIMCRX", "Z", Packing::kZ, "cyan", rinex + "o.Z", rinex + "n.Z", rinex + "d.Z", false,
       false, false, {}, {}},
      {"IGS", "Z", Packing::kZ, "yellow", rinex + "o.Z",
       "/pub/gps/data/daily/<YYYY>/<JJJ>/brdc<JJJ>0.<yy>n.Z", "", false, true, false, {}, {}},
  };
}

std::vector<ArchiveStation> DefaultStations() {
  return {
      {{"sima", FromDms(46, 52, 37.5012), FromDms(7, 27, 53.2107), 560.123}, "SIMZ"},
      {{"simb", FromDms(47, 15, 10.2233), FromDms(8, 30, 45.7041), 421.870}, "SIMZ"},
      {{"simc", FromDms(45, 28, 12.0500), FromDms(9, 11, 24.4399), 131.402}, "SIMGZ"},
      {{"simd", -FromDms(33, 52, 4.8102), FromDms(151, 12, 36.1280), 45.219}, "SIMZIP"},
      {{"sime", FromDms(40, 42, 46.1034), -FromDms(74, 0, 21.5127), 10.550}, "SIMCRX"},
  };
}

ArchiveService Rinex3Service(double interval) {
  const std::string obs = "/IGS/obs/<YYYY>/<JJJ>/<XXXXMRCCC>_";
  const std::string name = "_<YYYY><JJJ>0000_01D_" + LongNameInterval(interval) + "_MO.";
  ArchiveService s{"SIMRX3",
                   "gz",
                   Packing::kGzip,
                   "magenta",
                   obs + "R" + name + "rnx.gz",
                   "/IGS/BRDC/<YYYY>/<JJJ>/BRDC00IGS_R_<YYYY><JJJ>0000_01D_MN.rnx.gz",
                   obs + "R" + name + "crx.gz|" + obs + "S" + name + "crx.gz",
                   false,
                   true,
                   true,
                   {},
                   {}};
  return s;
}

ArchiveService IgsLongNameService(double interval) {
  ArchiveService s = Rinex3Service(interval);
  s.id = "IGS";
  s.color = "yellow";
  return s;
}

std::vector<ArchiveStation> Rinex3Stations() {
  return {
      {{"simf", FromDms(47, 4, 1.3411), FromDms(8, 15, 40.5530), 612.774}, "SIMRX3", "SIMF00CHE",
       false},
      {{"simg", FromDms(52, 22, 46.0912), FromDms(13, 3, 57.2118), 144.305}, "SIMRX3",
       "SIMG00DEU", true},
  };
}

std::string Alternative(const std::string& pathTemplate, size_t index) {
  size_t start = 0;
  for (size_t k = 0; k < index; ++k) {
    const size_t bar = pathTemplate.find('|', start);
    if (bar == std::string::npos) break;
    start = bar + 1;
  }
  return pathTemplate.substr(start, pathTemplate.find('|', start) - start);
}

std::string ExpandTemplate(const std::string& pathTemplate, const std::string& station,
                           int64_t startGps, const std::string& longName) {
  const CalendarTime c = ToCalendar(SimTime{startGps, 0});
  const int weekDay = static_cast<int>(c.secondsOfWeek / 86400.0);
  std::string out;
  for (size_t i = 0; i < pathTemplate.size(); ++i) {
    if (pathTemplate[i] != '<') {
      out += pathTemplate[i];
      continue;
    }
    const size_t end = pathTemplate.find('>', i);
    if (end == std::string::npos) break;
    const std::string token = pathTemplate.substr(i + 1, end - i - 1);
    if (token == "XXXXMRCCC") out += longName;
    else if (token == "YYYY") out += Digits(c.year, 4);
    else if (token == "yy") out += Digits(c.year % 100, 2);
    else if (token == "JJJ") out += Digits(c.dayOfYear, 3);
    else if (token == "XXXX") out += station.substr(0, 4);
    else if (token == "MN") out += Digits(c.month, 2);
    else if (token == "DM") out += Digits(c.day, 2);
    else if (token == "WEEK") out += Digits(c.gpsWeek, 4);
    else if (token == "D") out += Digits(weekDay, 1);
    else if (token == "h") out += static_cast<char>('a' + c.hour);
    else if (token == "HH") out += Digits(c.hour, 2);
    else if (token == "MM") out += Digits(c.minute, 2);
    i = end;
  }
  return out;
}

namespace {

struct Writer {
  fs::path archive;
  std::vector<std::string>* written;
  std::string* error;

  bool Put(const ArchiveService& service, const std::string& remote, const std::string& data,
           const SimTime& stamp) {
    const fs::path path = archive / Lower(service.id) / fs::path(remote.substr(1));
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    if (ec) {
      *error = "cannot create " + path.parent_path().string() + ": " + ec.message();
      return false;
    }
    // The plain name of a file inside a zip archive: the remote name
    // without its packing extension.
    std::string inner = path.filename().string();
    const size_t dot = inner.rfind('.');
    if (dot != std::string::npos) inner.resize(dot);
    if (!WritePacked(data, service.packing, path.string(), inner, stamp, error)) return false;
    if (written) written->push_back(path.string());
    return true;
  }

  PutFile Putter() {
    return [this](const ArchiveService& service, const std::string& remote,
                  const std::string& data, const SimTime& stamp) {
      return Put(service, remote, data, stamp);
    };
  }
};

const ArchiveService* FindService(const std::vector<ArchiveService>& services,
                                  const std::string& id) {
  for (const ArchiveService& s : services)
    if (s.id == id) return &s;
  return nullptr;
}

std::string Catalogue(const std::vector<ArchiveService>& services,
                      const std::vector<ArchiveStation>& stations, const fs::path& archive) {
  std::string text =
      "; Catalogue of the simulated sample archive, written by stanvex simulate.\n"
      "; Every address is a local folder; no network is needed.\n\n";
  for (const ArchiveService& s : services) {
    if (!s.comment.empty()) text += s.comment + "\n";
    text += "Service {\n";
    text += "  ServId: " + s.id + "\n";
    text += "  ftpAd: " + FileAddress(archive / Lower(s.id)) + "\n";
    text += "  oFile: " + s.obsTemplate + "\n";
    text += "  nFile: " + s.navTemplate + "\n";
    if (!s.compactTemplate.empty()) text += "  dFile: " + s.compactTemplate + "\n";
    if (!s.subDaily.hourly.empty()) text += "  hFile: " + s.subDaily.hourly + "\n";
    if (!s.subDaily.quarter.empty()) text += "  qFile: " + s.subDaily.quarter + "\n";
    if (!s.subDaily.rollingNav.empty()) text += "  hnFile: " + s.subDaily.rollingNav + "\n";
    text += "  Ftype: " + s.ftype + "\n";
    text += "  color: " + s.color + "\n";
    text += "}\n\n";
  }
  for (const ArchiveStation& a : stations) {
    char height[32];
    std::snprintf(height, sizeof height, "%.3f", a.station.heightM);
    text += "Station {\n";
    text += "  sName: " + a.station.name + "\n";
    if (!a.longName.empty()) text += "  lName: " + a.longName + "\n";
    text += "  lat: " + Dms(a.station.latDeg, 'N', 'S') + "\n";
    text += "  lon: " + Dms(a.station.lonDeg, 'E', 'W') + "\n";
    text += "  ht: " + std::string(height) + "\n";
    text += "  serv: " + a.service + "\n";
    text += "}\n\n";
  }
  return text;
}

std::string Truth(const std::vector<ArchiveStation>& stations) {
  std::string text =
      "# True positions of the simulated stations (WGS84).\n"
      "# name service X Y Z (m) latitude longitude (deg) height (m)\n";
  for (const ArchiveStation& a : stations) {
    const Vec3 p = StationPosition(a.station);
    char line[256];
    std::snprintf(line, sizeof line, "%s %s %.4f %.4f %.4f %.9f %.9f %.4f\n",
                  a.station.name.c_str(), a.service.c_str(), p.x, p.y, p.z, a.station.latDeg,
                  a.station.lonDeg, a.station.heightM);
    text += line;
  }
  return text;
}

bool WriteText(const fs::path& path, const std::string& text, std::vector<std::string>* written,
               std::string* error) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << text;
  file.close();
  if (!file) {
    *error = "cannot write " + path.string();
    return false;
  }
  if (written) written->push_back(path.string());
  return true;
}

// The observation files of one station: one continuous simulation cut into
// days, and for a service with sub-daily files also into hours, today's
// hours and the 15-minute files (with the recorded hour beside the archive).
bool PutStationObservations(const ArchiveService& s, const ArchiveStation& a,
                            const ArchiveOptions& options, const fs::path& out, Writer* writer) {
  std::string* error = writer->error;
  const bool hourly = !s.subDaily.hourly.empty();
  const int days = options.days + (hourly ? 1 : 0);  // with today
  ObservationOptions obs;
  obs.startGps = options.startGps;
  obs.duration = static_cast<double>(options.days) * kSecondsPerDay +
                 (hourly ? options.todayHours * 3600.0 : 0.0);
  obs.interval = options.interval;
  obs.seed = options.seed;
  obs.slips = options.slips;
  obs.doppler = s.rinex3;
  ObservationSimulator simulator(a.station, obs);
  const PutFile put = writer->Putter();
  Epoch epoch;
  bool more = simulator.Next(&epoch);
  for (int day = 0; day < days; ++day) {
    const int64_t dayGps = options.startGps + day * kSecondsPerDay;
    const int64_t nextDay = dayGps + kSecondsPerDay;
    if (!more || epoch.time.whole >= nextDay) continue;  // a day without epochs
    ObservationOptions dayOptions = obs;
    dayOptions.startGps = dayGps;
    std::string text = StationHeader(s, a, dayOptions, simulator.TruePosition(), epoch.time);
    HourTexts hours;
    while (more && epoch.time.whole < nextDay) {
      const std::string formatted = s.rinex3 ? FormatEpoch3(epoch, obs.writeReceiverClock)
                                             : FormatEpoch(epoch, obs.writeReceiverClock);
      text += formatted;
      if (hourly) {
        const int64_t hour = (epoch.time.whole - dayGps) / 3600;
        if (hours.text[hour].empty()) hours.first[hour] = epoch.time;
        hours.text[hour] += formatted;
      }
      more = simulator.Next(&epoch);
    }
    if (hourly && !PutHourlyFiles(s, a, dayOptions, simulator.TruePosition(), hours, put, error))
      return false;
    if (day == options.days) break;  // today: no daily files yet
    const SimTime stamp{dayGps, 0};
    // Which of the templates' alternatives names this day's files.
    const size_t alternative = a.alternate && day % 2 == 1 ? 1 : 0;
    auto remote = [&](const std::string& pathTemplate) {
      return ExpandTemplate(Alternative(pathTemplate, alternative), a.station.name, dayGps,
                            a.longName);
    };
    if (s.publishesObs && !writer->Put(s, remote(s.obsTemplate), text, stamp)) return false;
    if (!s.compactTemplate.empty()) {
      std::string compact;
      if (!EncodeCompact(s.rinex3, text, dayGps, &compact, error) ||
          !writer->Put(s, remote(s.compactTemplate), compact, stamp))
        return false;
    }
  }
  if (s.subDaily.quarter.empty()) return true;
  const int64_t todayGps = options.startGps + options.days * kSecondsPerDay;
  std::string recorded;
  if (!PutHighRateFiles(s, a, options, todayGps, put, &recorded, error)) return false;
  if (recorded.empty()) return true;
  std::error_code ec;
  fs::create_directories(out / "recorded", ec);
  if (ec) {
    *error = "cannot create " + (out / "recorded").string() + ": " + ec.message();
    return false;
  }
  const int64_t hourGps = todayGps + HighRateHours(options.todayHours).first * 3600;
  return WriteText(out / "recorded" / RecordedHourName(a, hourGps), recorded, writer->written,
                   error);
}

}  // namespace

bool WriteSampleArchive(const ArchiveOptions& options, std::vector<std::string>* written,
                        std::string* error) {
  std::string scratch;
  if (!error) error = &scratch;
  if (options.days < 1 || options.days > 366) {
    *error = "the number of days must be 1 to 366";
    return false;
  }
  if (!(options.interval >= 0.05) || options.interval > 3600) {
    *error = "the interval must be 0.05 to 3600 seconds";
    return false;
  }
  if (options.startGps % kSecondsPerDay != 0) {
    *error = "the archive starts at 00:00:00 of a day";
    return false;
  }
  std::vector<ArchiveService> services = SampleServices();
  std::vector<ArchiveStation> stations =
      options.stations.empty() ? DefaultStations() : options.stations;
  if (options.rinex3) {
    services.insert(services.end() - 1, Rinex3Service(options.interval));
    if (options.igsLongNames) {
      services.back() = IgsLongNameService(options.interval);
      services[services.size() - 2].publishesNav = false;
    }
    if (options.stations.empty())
      for (const ArchiveStation& a : Rinex3Stations()) stations.push_back(a);
  }
  if (options.subDaily) {
    if (options.todayHours < 1 || options.todayHours > 24) {
      *error = "today's published hours must be 1 to 24";
      return false;
    }
    for (const ArchiveService& s : SubDailyServices(options.interval))
      services.insert(services.end() - 1, s);
    if (options.stations.empty())
      for (const ArchiveStation& a : SubDailyStations()) stations.push_back(a);
  }
  std::map<std::string, int> seen;
  for (const ArchiveStation& a : stations) {
    if (a.station.name.size() != 4 || !SafeForCatalogue(a.station.name)) {
      *error = "station names have four characters without blanks: '" + a.station.name + "'";
      return false;
    }
    if (seen[Lower(a.station.name)]++) {
      *error = "station " + a.station.name + " is given twice";
      return false;
    }
    const ArchiveService* s = FindService(services, a.service);
    if (!s || s->id == "IGS") {
      *error = "station " + a.station.name + ": no such data service " + a.service;
      return false;
    }
    if (s->rinex3 && !IsLongName(a.longName)) {
      *error = "station " + a.station.name + " of " + s->id +
               " needs a long name of nine letters and digits: '" + a.longName + "'";
      return false;
    }
    if (std::fabs(a.station.latDeg) > 90 || std::fabs(a.station.lonDeg) > 180 ||
        std::fabs(a.station.heightM) > 10000) {
      *error = "station " + a.station.name + ": position out of range";
      return false;
    }
  }

  std::error_code ec;
  const fs::path out = fs::absolute(fs::path(options.outDir), ec).lexically_normal();
  const fs::path archive = out / "archive";
  for (const ArchiveService& s : services) {
    const std::string address = FileAddress(archive / Lower(s.id));
    if (address.size() > kAddressLimit || !SafeForCatalogue(address)) {
      *error = "the catalogue cannot address " + address +
               " (at most 127 characters, no blanks, quotes or semicolons): choose another "
               "output folder";
      return false;
    }
  }
  // Nothing is created before every check has passed.
  fs::create_directories(out / "catalogue", ec);
  if (ec) {
    *error = "cannot create " + (out / "catalogue").string() + ": " + ec.message();
    return false;
  }

  Writer writer{archive, written, error};
  const PutFile put = writer.Putter();
  const ArchiveService& igs = *FindService(services, "IGS");

  // Navigation files: the same broadcast ephemerides under every name.
  for (int day = 0; day < options.days; ++day) {
    const int64_t dayGps = options.startGps + day * kSecondsPerDay;
    const SimTime stamp{dayGps, 0};
    const std::string nav = NavigationHeader(stamp) + NavigationBody(dayGps, kSecondsPerDay);
    if (igs.rinex3) {
      if (!writer.Put(igs, ExpandTemplate(igs.navTemplate, "auto", dayGps),
                      Rinex3NavigationFile(dayGps, kSecondsPerDay), stamp))
        return false;
    } else if (!writer.Put(igs, ExpandTemplate(igs.navTemplate, "auto", dayGps), nav, stamp) ||
               !writer.Put(igs, ExpandTemplate(SampleServices()[0].navTemplate, "auto", dayGps),
                           nav, stamp)) {
      return false;
    }
    std::set<std::string> merged;  // RINEX 3 services: one file for all stations
    for (const ArchiveStation& a : stations) {
      const ArchiveService& s = *FindService(services, a.service);
      if (!s.publishesNav) continue;
      if (s.rinex3) {
        if (merged.insert(s.id).second &&
            !writer.Put(s, ExpandTemplate(s.navTemplate, "auto", dayGps),
                        Rinex3NavigationFile(dayGps, kSecondsPerDay), stamp))
          return false;
      } else if (!writer.Put(s, ExpandTemplate(s.navTemplate, a.station.name, dayGps), nav,
                             stamp)) {
        return false;
      }
    }
    for (const ArchiveService& s : services)
      if (!s.subDaily.rollingNav.empty() && !PutRollingNavigation(s, dayGps, 24, put))
        return false;
  }
  // Today has only the navigation broadcast in its first hours.
  for (const ArchiveService& s : services)
    if (!s.subDaily.rollingNav.empty() &&
        !PutRollingNavigation(s, options.startGps + options.days * kSecondsPerDay,
                              options.todayHours, put))
      return false;

  // Observation files: one continuous simulation per station, cut into days
  // (and hours).
  for (const ArchiveStation& a : stations)
    if (!PutStationObservations(*FindService(services, a.service), a, options, out, &writer))
      return false;

  return WriteText(out / "catalogue" / "manufact.dwn", Catalogue(services, stations, archive),
                   written, error) &&
         WriteText(out / "stations.txt", Truth(stations), written, error);
}

}  // namespace stanvex::sim
