// stanvex available: whether a station's files of a window are at its
// archive, asked without fetching them, as a table of every file asked.
// Exit status 0 when every day of the window has data, 2 when some day has
// none, 1 on failure.
#include <atomic>
#include <csignal>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "arguments.h"
#include "command.h"
#include "private_folder.h"
#include "stanvex.h"
#include "station_choice.h"
#include "transfer/availability.h"

namespace {

struct AvailableOptions {
  std::string catalogue;
  std::string station;
  std::string service;
  int nearest = 0;
  double latitude = 0;
  double longitude = 0;
  double maxKm = 100;
  std::string from;
  std::string to;
  double interval = 0;
  bool intervalGiven = false;
  std::string user;
  std::string passwordFile;
};

void StopAsking(int) { StopFtpProcessing(); }

// "2021-01-03 10:00" for a sub-daily file, "2021-01-03" for a daily one.
std::string FileDay(const stanvex::FileAnswer& answer) {
  std::string day = stanvex::cli::DayText(answer.day);
  const bool subDaily = answer.kind == stanvex::AskedFile::kHourly ||
                        answer.kind == stanvex::AskedFile::kQuarterHour;
  if (!subDaily) return day;
  const int32_t ofDay = answer.fileStart - answer.day;
  char time[16];
  std::snprintf(time, sizeof time, " %02d:%02d", ofDay / 3600, ofDay / 60 % 60);
  return day + time;
}

std::string Distance(const StationRecord& station, bool known) {
  if (!known) return "-";
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", station.distance / 1000.0);
  return text;
}

void PrintTable(const std::vector<StationRecord*>& stations, bool distances,
                const std::vector<stanvex::FileAnswer>& answers) {
  std::printf("%-8s %-10s %10s  %-16s %-18s %10s  %s\n", "station", "service", "km", "day",
              "file", "size", "address and path");
  for (const stanvex::FileAnswer& a : answers) {
    const StationRecord& station = *stations[static_cast<size_t>(a.station)];
    std::string size = !a.present ? "missing" : a.size < 0 ? "?" : std::to_string(a.size);
    std::string where = a.present ? a.address + " " + a.path : a.path;
    if (!a.note.empty()) where += "  (" + a.note + ")";
    std::printf("%-8s %-10s %10s  %-16s %-18s %10s  %s\n",
                stanvex::cli::StationName(station).c_str(),
                stanvex::cli::StationService(station).c_str(),
                Distance(station, distances).c_str(), FileDay(a).c_str(),
                stanvex::AskedFileName(a.kind), size.c_str(), where.c_str());
  }
}

// One line per station: its days with data, or the first day without and why.
bool PrintVerdicts(const std::vector<StationRecord*>& stations,
                   const std::vector<stanvex::DayVerdict>& days) {
  bool complete = true;
  for (size_t s = 0; s < stations.size(); ++s) {
    int total = 0, withData = 0;
    std::string lacking;
    for (const stanvex::DayVerdict& day : days) {
      if (day.station != static_cast<int32_t>(s)) continue;
      ++total;
      if (day.hasData) {
        ++withData;
      } else {
        lacking += "\n  no data for " + stanvex::cli::DayText(day.day) + ": " + day.why;
      }
    }
    complete = complete && withData == total;
    std::printf("%s (%s): data for %d of %d days%s\n",
                stanvex::cli::StationName(*stations[s]).c_str(),
                stanvex::cli::StationService(*stations[s]).c_str(), withData, total,
                lacking.c_str());
  }
  return complete;
}

void RunAvailable(const AvailableOptions& options) {
  if (options.station.empty() == (options.nearest <= 0))
    throw stanvex::cli::CommandFailure{"give either --station or --nearest N"};
  const double start = stanvex::cli::ParseTime(options.from);
  const double end = stanvex::cli::ParseTime(options.to);
  if (options.intervalGiven) stanvex::cli::CheckInterval(options.interval, "--interval");
  if (options.nearest > 0) stanvex::cli::RequireServiceForUser(options.user, options.service);

  stanvex::cli::PrivateFolder folder("stanvex-available-");
  const std::string staged =
      stanvex::cli::StageCatalogue(stanvex::cli::CatalogueFolder(options.catalogue), folder);
  stanvex::cli::ScopedCatalogue catalogue(staged, folder.path());
  std::vector<StationRecord*> stations;
  if (options.nearest > 0) {
    stations = stanvex::cli::NearestStations(options.latitude, options.longitude, options.maxKm,
                                             options.nearest, options.service);
    if (stations.empty())
      throw stanvex::cli::CommandFailure{"no station within " +
                                         stanvex::cli::KmText(options.maxKm) + " km"};
  } else {
    StationRecord* station =
        stanvex::cli::FindStation(catalogue.records(), options.station, options.service);
    if (station == nullptr)
      throw stanvex::cli::CommandFailure{"station " + options.station +
                                         " is not in the catalogue"};
    stations.push_back(station);
  }
  bool anyToken = false;
  for (const StationRecord* station : stations) anyToken |= stanvex::cli::TakesToken(*station);
  bool hasPassword = false;
  const std::string password = stanvex::cli::ResolvePassword(
      {options.user, false, "", options.passwordFile, anyToken}, &hasPassword);

  std::vector<stanvex::StationToAsk> asked;
  for (StationRecord* station : stations) {
    const bool login = options.nearest <= 0 ||
                       stanvex::cli::LoginGoesTo(*station, options.user, options.service);
    // Without --user the password is a token, for a service of tokens only.
    const bool sendPassword =
        login && hasPassword && (!options.user.empty() || stanvex::cli::TakesToken(*station));
    asked.push_back({station, login && !options.user.empty() ? options.user.c_str() : nullptr,
                     sendPassword ? password.c_str() : nullptr});
  }
  std::vector<stanvex::FileAnswer> answers;
  std::vector<stanvex::DayVerdict> days;
  std::signal(SIGINT, StopAsking);
  std::signal(SIGTERM, StopAsking);
  stanvex::Result result = stanvex::AskAvailability(
      asked, static_cast<int32_t>(start), static_cast<int32_t>(end),
      options.intervalGiven ? options.interval : 0, stanvex::AskingMode::kEveryFile, &answers,
      &days);
  std::signal(SIGINT, SIG_DFL);
  std::signal(SIGTERM, SIG_DFL);
  if (!result.ok) throw stanvex::cli::CommandFailure{result.message};
  PrintTable(stations, options.nearest > 0, answers);
  if (!PrintVerdicts(stations, days)) throw stanvex::cli::CommandFailure{"", 2};
}

stanvex::cli::CommandRegistration availableRegistration([](CLI::App& app) {
  auto* command = app.add_subcommand(
      "available", "Tell which files of a window an archive has, without fetching them");
  auto options = std::make_shared<AvailableOptions>();
  command->add_option("--catalogue", options->catalogue,
                      "folder of manufact.dwn and user.dwn (default: the bundled catalogue)");
  command->add_option("--station", options->station, "station name");
  command->add_option("--service", options->service,
                      "the station's service (with --nearest: that service's stations only)");
  command->add_option("--nearest", options->nearest, "the N stations nearest to --lat/--lon");
  command->add_option("--lat", options->latitude, "latitude, decimal degrees, north positive");
  command->add_option("--lon", options->longitude, "longitude, decimal degrees, east positive");
  command->add_option("--max-km", options->maxKm, "largest distance for --nearest, km")
      ->capture_default_str();
  command->add_option("--from", options->from, "window start: YYYY-MM-DD HH:MM:SS or GPS seconds")
      ->required();
  command->add_option("--to", options->to, "window end: YYYY-MM-DD HH:MM:SS or GPS seconds")
      ->required();
  CLI::Option* interval = command->add_option(
      "--interval", options->interval,
      "the interval a retrieval would ask (finer than 30 s asks the 15-minute files)");
  command->add_option("--user", options->user, "user of the station's service");
  command->add_option("--password-file", options->passwordFile,
                      "file whose first line is the password or bearer token");
  command->footer(
      "Exit status: 0 when every day of the window has data, 2 when some day has none. "
      "A token (auth: bearer services) may also come from STANVEX_PASSWORD or the netrc file.");
  command->callback([options, interval] {
    options->intervalGiven = interval->count() > 0;
    RunAvailable(*options);
  });
});

}  // namespace
