// stanvex simulate --out DIR: writes the synthetic sample archive (daily
// RINEX observation and navigation files of a few stations, packed per data
// service, compact RINEX for one service, IGS merged navigation files), its
// catalogue with file:// addresses, and the stations' true coordinates.
// --rinex3 adds a service publishing RINEX 3 only: compact RINEX 3 under
// long names and merged RINEX 3 navigation files, gzip-packed. --subdaily
// adds two services laid out as NOAA's and BKG's archives with hourly files,
// 15-minute 1 Hz files and rolling navigation files, and a "today" after the
// days that has only those.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "command.h"
#include "sample_archive.h"
#include "sim_time.h"
#include "subdaily_archive.h"

namespace {

namespace sim = stanvex::sim;

[[noreturn]] void Fail(const std::string& text) {
  throw stanvex::cli::CommandFailure{"Error in simulate: " + text};
}

bool IsLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int64_t ParseDate(const std::string& text) {
  int year = 0, month = 0, day = 0;
  char tail = 0;
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (std::sscanf(text.c_str(), "%d-%d-%d %c", &year, &month, &day, &tail) != 3 || year < 1981 ||
      year > 2099 || month < 1 || month > 12 || day < 1 ||
      day > kDays[month - 1] + (month == 2 && IsLeapYear(year) ? 1 : 0))
    Fail("cannot read the date '" + text + "': give YYYY-MM-DD from 1981 to 2099");
  return sim::GpsSecondsOfDate(year, month, day);
}

// "name" picks a default station; "name:lat:lon:height[:service]" defines one
// (decimal degrees, south and west negative; the service defaults to SIMZ; a
// station of a RINEX 3 service is given the long name NAME00SIM).
sim::ArchiveStation ParseStation(const std::string& text) {
  std::vector<sim::ArchiveStation> defaults = sim::DefaultStations();
  for (const sim::ArchiveStation& a : sim::Rinex3Stations()) defaults.push_back(a);
  for (const sim::ArchiveStation& a : sim::SubDailyStations()) defaults.push_back(a);
  if (text.find(':') == std::string::npos) {
    for (const sim::ArchiveStation& a : defaults)
      if (a.station.name == text) return a;
    std::string names;
    for (const sim::ArchiveStation& a : defaults) names += " " + a.station.name;
    Fail("no default station '" + text + "' (the defaults are" + names + ")");
  }
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    const size_t colon = text.find(':', start);
    parts.push_back(text.substr(start, colon - start));
    if (colon == std::string::npos) break;
    start = colon + 1;
  }
  if (parts.size() < 4 || parts.size() > 5) Fail("cannot read the station '" + text + "'");
  sim::ArchiveStation a;
  a.station.name = parts[0];
  char* end = nullptr;
  double* fields[3] = {&a.station.latDeg, &a.station.lonDeg, &a.station.heightM};
  for (int i = 0; i < 3; ++i) {
    *fields[i] = std::strtod(parts[i + 1].c_str(), &end);
    if (parts[i + 1].empty() || *end != '\0') Fail("cannot read the station '" + text + "'");
  }
  a.service = parts.size() == 5 ? parts[4] : "SIMZ";
  if (a.service == sim::Rinex3Service(30).id || a.service == sim::SubDailyServices(30)[1].id) {
    a.longName = a.station.name + "00SIM";
    for (char& c : a.longName)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return a;
}

stanvex::cli::CommandRegistration simulateRegistration([](CLI::App& app) {
  struct Options {
    std::string out;
    std::string start = "2021-01-03";  // a Sunday: three days stay in one GPS week
    int days = 3;
    double interval = 30;
    uint64_t seed = 1;
    std::vector<std::string> stations;
    double slips = 0.1;
    double outages = 0.05;
    bool list = false;
    bool rinex3 = false;
    bool igsLongNames = false;
    bool subDaily = false;
    int todayHours = 13;
  };
  auto options = std::make_shared<Options>();
  CLI::App* c = app.add_subcommand(
      "simulate", "Write a synthetic archive of RINEX files with its catalogue and true positions");
  c->add_option("--out", options->out, "Folder to write (catalogue/, archive/, stations.txt)")
      ->required();
  c->add_option("--start", options->start, "First day, YYYY-MM-DD (GPS time)");
  c->add_option("--days", options->days, "Number of days")->check(CLI::Range(1, 366));
  c->add_option("--interval", options->interval, "Seconds between epochs")
      ->check(CLI::Range(0.05, 3600.0));
  c->add_option("--seed", options->seed, "Seed of the noise, clocks and slips");
  c->add_option("--stations", options->stations,
                "Stations: default names (sima simb simc simd sime; simf simg with --rinex3; simh "
                "simq with --subdaily) or "
                "name:lat:lon:height[:service]");
  c->add_option("--slips", options->slips, "Cycle slips per satellite and hour")
      ->check(CLI::Range(0.0, 100.0));
  c->add_option("--outages", options->outages, "Tracking losses per satellite and hour")
      ->check(CLI::Range(0.0, 100.0));
  c->add_flag("--list", options->list, "List every file written");
  c->add_flag("--rinex3", options->rinex3,
              "Add the RINEX-3-only service SIMRX3 (long names, compact RINEX 3, merged RINEX 3 "
              "navigation, gzip) and its stations simf simg");
  c->add_flag("--igs-long-names", options->igsLongNames,
              "With --rinex3: the IGS service publishes long names and merged RINEX 3 navigation "
              "too, and SIMRX3 takes its navigation through the IGS fallback")
      ->needs("--rinex3");
  c->add_flag("--subdaily", options->subDaily,
              "Add SIMNOAA (NOAA's layout: hourly RINEX 2 files, rolling brdc navigation) and "
              "SIMBKG (BKG's IGS layout: hourly and 15-minute 1 Hz compact RINEX 3 files, rolling "
              "navigation) with their stations simh simq, and a day after the others, today, "
              "with only their sub-daily files");
  c->add_option("--today-hours", options->todayHours,
                "With --subdaily: hours of today published (the last two also as 15-minute "
                "1 Hz files)")
      ->check(CLI::Range(1, 24))
      ->needs("--subdaily");
  c->callback([options] {
    sim::ArchiveOptions archive;
    archive.outDir = options->out;
    archive.startGps = ParseDate(options->start);
    archive.days = options->days;
    archive.interval = options->interval;
    archive.seed = options->seed;
    archive.slips.slipsPerSatelliteHour = options->slips;
    archive.slips.outagesPerSatelliteHour = options->outages;
    archive.rinex3 = options->rinex3;
    archive.igsLongNames = options->igsLongNames;
    archive.subDaily = options->subDaily;
    archive.todayHours = options->todayHours;
    for (const std::string& s : options->stations) archive.stations.push_back(ParseStation(s));
    std::vector<std::string> written;
    std::string error;
    if (!sim::WriteSampleArchive(archive, &written, &error)) Fail(error);
    if (options->list)
      for (const std::string& path : written) std::printf("%s\n", path.c_str());
    std::printf("Wrote %zu files: %d day(s) from %s at %g s into %s\n", written.size(),
                options->days, options->start.c_str(), options->interval, options->out.c_str());
    if (options->subDaily) {
      const sim::CalendarTime today =
          sim::ToCalendar(sim::SimTime{archive.startGps + options->days * 86400, 0});
      std::printf("Today, sub-daily files only: %04d-%02d-%02d, hours 00 to %02d\n", today.year,
                  today.month, today.day, options->todayHours - 1);
    }
    std::printf("Catalogue: %s/catalogue/manufact.dwn\nTrue positions: %s/stations.txt\n",
                options->out.c_str(), options->out.c_str());
  });
});

}  // namespace
