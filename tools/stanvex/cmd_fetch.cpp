// stanvex fetch: one retrieval request through the library's exports, with
// progress on the terminal and Ctrl-C to stop it.
#include <atomic>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "arguments.h"
#include "base/gps_time.h"
#include "command.h"
#include "obsfiles/obn_file.h"
#include "platform/platform.h"
#include "private_folder.h"
#include "stanvex.h"
#include "nearest_fetch.h"
#include "station_choice.h"

namespace fs = std::filesystem;

namespace {

struct FetchOptions {
  std::string catalogue;
  std::string station;
  std::string service;
  std::string from;
  std::string to;
  std::string destination = ".";
  std::string work;
  double interval = 0;
  bool intervalGiven = false;
  bool append = false;
  std::string user;
  std::string password;
  bool passwordGiven = false;
  std::string passwordFile;
  bool keepRinex = false;
  bool dropUnsolved = false;
  bool quiet = false;
  int nearest = 0;
  double latitude = 0;
  double longitude = 0;
  double maxKm = 100;
  int jobs = 3;
};

std::atomic<bool> interrupted{false};
// The spans of the sub-daily files the library skipped ("2021-01-01 10:00 to
// 10:59"), taken from its status texts "... (SPAN) missing, skipped" and
// "... (SPAN) ...: skipped".
std::vector<std::string> skipped_spans;
bool on_terminal = false;
bool quiet = false;
bool bar_open = false;  // a progress line without its line end is on screen

void OnInterrupt(int) {
  interrupted = true;
  StopFtpProcessing();
  StopInerpolation();
}

void EndBar() {
  if (bar_open) std::fputc('\n', stderr);
  bar_open = false;
}

// A progress line: redrawn in place on a terminal, printed only at its
// milestones otherwise.
void Bar(const char* format, double value, const char* unit) {
  if (on_terminal) {
    std::fprintf(stderr, "\r  ");
    std::fprintf(stderr, format, value, unit);
    std::fprintf(stderr, "\033[K");
    bar_open = true;
  }
}

void Line(const char* label, const char* text) {
  if (quiet) return;
  EndBar();
  std::fprintf(stderr, "%s%s\n", label, text);
}

void NoteSkippedFile(const char* text) {
  const std::string line(text, strnlen(text, sizeof(StatusRecord::text)));
  const std::string ending = "skipped";
  if (line.size() < ending.size() || line.compare(line.size() - ending.size(), ending.size(),
                                                  ending) != 0)
    return;
  const size_t close = line.rfind(')');
  const size_t open = close != std::string::npos ? line.rfind('(', close) : std::string::npos;
  if (open == std::string::npos || line.find(" to ", open) > close) return;
  skipped_spans.push_back(line.substr(open + 1, close - open - 1));
}

void STANVEX_CALL ShowStatus(StatusRecord* record) {
  char number[64];
  if (record->code == STATUS_TEXT) NoteSkippedFile(record->text);
  switch (record->code) {
    case STATUS_TEXT:
    case STATUS_CONVERT_TEXT:
    case STATUS_WEEK_CROSSOVER:
      Line("  ", record->text);
      break;
    case STATUS_CONNECTING:
      Line("connecting to ", record->text);
      break;
    case STATUS_FILE_REQUEST:
      Line("downloading ", record->text);
      break;
    case STATUS_FILE_NAME:
      Line("  file ", record->text);
      break;
    case STATUS_OUTPUT_PATH:
      Line("output ", record->text);
      break;
    case STATUS_FTP_RECEIVED_RATE:
      if (!quiet) {
        char rate[96];
        std::snprintf(rate, sizeof rate, "%%.0f KiB at %.1f KiB/s%%s", record->real);
        Bar(rate, record->value1, "");
      }
      break;
    case STATUS_CONVERT_PERCENT:
      if (!quiet) {
        Bar("converting %3.0f%%%s", record->value1, "");
        if (!on_terminal && record->value1 % 25 == 0) {
          std::snprintf(number, sizeof number, "%d%%", record->value1);
          Line("  converting ", number);
        }
      }
      break;
    case STATUS_INTERP_PERCENT:
      if (!quiet) {
        Bar("interpolating %3.0f%%%s", record->value1, "");
        if (!on_terminal && record->value1 % 25 == 0) {
          std::snprintf(number, sizeof number, "%d%%", record->value1);
          Line("  interpolating ", number);
        }
      }
      break;
    case STATUS_CONVERT_DONE:
      std::snprintf(number, sizeof number, "%d epochs read, %d written, %d solved, %d ephemerides",
                    record->value1, record->value2, record->value3, record->value4);
      Line("  converted: ", number);
      break;
    case STATUS_DAY_DONE:
      std::snprintf(number, sizeof number, "%d of %d", record->value1, record->value2);
      Line("day done: ", number);
      break;
    case STATUS_INTERVAL:
      std::snprintf(number, sizeof number, "%.3f s", record->real);
      Line("  input interval ", number);
      break;
    case STATUS_CONCAT_START:
      Line("", "joining the days");
      break;
    case STATUS_SPLICE_START:
      Line("", "cutting to the window");
      break;
    case STATUS_REQUEST_DONE:
      Line("", "request done");
      break;
    case STATUS_ERROR:
      if (quiet) break;  // the request's own failure is printed at its end
      EndBar();
      std::fprintf(stderr, "error: %s\n", record->text);
      break;
    default:
      break;
  }
}

std::string Absolute(const std::string& path) {
  std::error_code error;
  fs::path absolute = fs::absolute(path, error);
  return error ? path : absolute.lexically_normal().string();
}

// "2021-01-03 01:00:00" for GPS seconds.
std::string CalendarText(double seconds) {
  stanvex::GpsTime time{};
  time.seconds = static_cast<int32_t>(seconds);
  time.ComputeFromSeconds();
  const long ofDay = static_cast<long>(seconds) % 86400;
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02ld:%02ld:%02ld", time.year, time.month,
                time.day, ofDay / 3600, ofDay / 60 % 60, ofDay % 60);
  return text;
}

// The interval in the header of an OBN file, 0 when it cannot be read.
double HeaderInterval(const char* path) {
  stanvex::ObnFile* file = nullptr;
  if (!stanvex::OpenObnForRead(path, stanvex::kObnBufferSize, &file).ok) return 0;
  const double interval = file->header.interval;
  stanvex::CloseObn(file);
  return interval > 0 && std::isfinite(interval) ? interval : 0;
}

// Prints the delivered file's average position and span, and warns when the
// span falls short of the window asked for (a daily file that ends early, a
// cut download). An end counts as short when more than one interval of data
// is missing there; a window that reaches less than two minutes into a day
// does not fetch that day, so those minutes do not count either.
void PrintSummary(const char* delivered, double start, double end) {
  AvgPosition average{};
  average.status = 1;  // the export makes it 0 when the file has no average
  double first = 0, last = 0;
  int32_t valid = 0;
  NewGetAvgOBNPos(delivered, &average, &first, &last, &valid);
  std::printf("delivered %s\n", delivered);
  if (average.status == 0) {
    EndBar();
    std::fprintf(stderr, "warning: %s\n", stanvex::cli::LibraryError().c_str());
    return;
  }
  std::printf("average position %.8f %.8f\n", average.position1, average.position2);
  if (!valid) {
    std::printf("no span of usable data found\n");
    EndBar();
    std::fprintf(stderr, "warning: the delivered file holds no usable data for the window\n");
    return;
  }
  std::printf("data from %.0f (%s) to %.0f (%s) GPS seconds\n", first, CalendarText(first).c_str(),
              last, CalendarText(last).c_str());
  const double interval = HeaderInterval(delivered);
  const double slack = interval + 0.5;
  const bool endInDaysFirstMinutes = std::fmod(end, stanvex::kSecondsPerDay) < stanvex::kEndMargin;
  const double endSlack = slack + (endInDaysFirstMinutes ? stanvex::kEndMargin : 0);
  if (first > start + slack || last < end - endSlack) {
    EndBar();
    std::fprintf(stderr,
                 "warning: the data cover only %s to %s of the window %s to %s asked for\n",
                 CalendarText(first).c_str(), CalendarText(last).c_str(),
                 CalendarText(start).c_str(), CalendarText(end).c_str());
  }
  if (!skipped_spans.empty()) {
    std::string spans;
    for (const std::string& span : skipped_spans) spans += (spans.empty() ? "" : ", ") + span;
    EndBar();
    std::fprintf(stderr,
                 "warning: the data miss %s: the archive's files for them were missing or could "
                 "not be joined\n",
                 spans.c_str());
  }
}

// The request's own failure: the library's reason, and where the data are
// when the delivery could not place them. A working folder is said to be
// kept only when it is and holds files.
void ReportFailure(const std::string& work, bool privateWork, bool keepRinex,
                   stanvex::cli::PrivateFolder* folder) {
  std::string reason = stanvex::cli::LibraryError();
  if (stanvex::cli::HoldsObservationFiles(work)) {
    if (privateWork) folder->Keep();
    reason += "\nthe files that were not delivered are in " + work;
  } else if ((!privateWork || keepRinex) && stanvex::cli::HoldsFiles(work)) {
    if (privateWork) folder->Keep();
    reason += "\n(working files kept in " + work + ")";
  }
  throw stanvex::cli::CommandFailure{(interrupted ? "stopped: " : "") + reason};
}

void RunFetch(const FetchOptions& options) {
  quiet = options.quiet;
  on_terminal = stanvex::platform::IsTerminal(2);
  const double start = stanvex::cli::ParseTime(options.from);
  const double end = stanvex::cli::ParseTime(options.to);
  if (options.intervalGiven) stanvex::cli::CheckInterval(options.interval, "--interval");
  // From here on a stop (Ctrl-C, or a SIGTERM from a --nearest fetch that
  // runs this one) ends the request and the private folder goes with it.
  struct StopHandlers {
    StopHandlers() {
      std::signal(SIGINT, OnInterrupt);
      std::signal(SIGTERM, OnInterrupt);
    }
    ~StopHandlers() {
      std::signal(SIGINT, SIG_DFL);
      std::signal(SIGTERM, SIG_DFL);
    }
  } stopHandlers;

  // The catalogue is staged in the private folder, which is also the
  // working folder unless one was named.
  stanvex::cli::PrivateFolder folder("stanvex-fetch-");
  const bool privateWork = options.work.empty();
  const std::string work = privateWork ? folder.File("work") : Absolute(options.work);
  if (privateWork && !stanvex::platform::MakeDirectory(work.c_str()))
    throw stanvex::cli::CommandFailure{"cannot make the working folder " + work};
  const std::string staged = stanvex::cli::StageCatalogue(
      Absolute(stanvex::cli::CatalogueFolder(options.catalogue)), folder);

  SetCallBack(&ShowStatus);
  struct CallBackReset {
    ~CallBackReset() { SetCallBack(nullptr); }
  } resetCallback;
  stanvex::cli::ScopedCatalogue catalogue(staged, work);
  StationRecord* station =
      stanvex::cli::FindStation(catalogue.records(), options.station, options.service);
  if (station == nullptr)
    throw stanvex::cli::CommandFailure{
        "station " + options.station +
        (options.service.empty() ? "" : " of service " + options.service) +
        " is not in the catalogue"};
  // A service of bearer tokens takes STANVEX_PASSWORD without a user name.
  bool hasPassword = false;
  const std::string password = stanvex::cli::ResolvePassword(
      {options.user, options.passwordGiven, options.password, options.passwordFile,
       stanvex::cli::TakesToken(*station)},
      &hasPassword);

  std::string destination = Absolute(options.destination);
  std::vector<char> destText(destination.begin(), destination.end());
  destText.resize(destText.size() + 2, '\0');
  std::vector<char> user(options.user.begin(), options.user.end());
  user.push_back('\0');
  std::vector<char> passwordText(password.begin(), password.end());
  passwordText.push_back('\0');
  char delivered[256] = "";

  if (interrupted) throw stanvex::cli::CommandFailure{"stopped before the retrieval began"};
  const double interval = options.intervalGiven ? options.interval : 0;
  // Without --user the password is a token: it goes to a service of tokens
  // only, never as the anonymous password of another archive.
  const bool sendPassword =
      hasPassword && (!options.user.empty() || stanvex::cli::TakesToken(*station));
  const int32_t result = iFTP(start, end, station, destText.data(), interval, delivered,
                              options.user.empty() ? nullptr : user.data(),
                              sendPassword ? passwordText.data() : nullptr,
                              options.append ? 0 : 1, options.dropUnsolved ? 1 : 0,
                              options.keepRinex ? 0 : 1);
  EndBar();
  if (result != 0) ReportFailure(work, privateWork, options.keepRinex, &folder);
  if (privateWork && options.keepRinex && stanvex::cli::HoldsFiles(work)) {
    folder.Keep();
    std::fprintf(stderr, "working files kept in %s\n", work.c_str());
  }
  PrintSummary(delivered, start, end);
}

// fetch --nearest N: the options handed to each station's own fetch.
void RunFetchNearest(const FetchOptions& options) {
  if (!options.station.empty())
    throw stanvex::cli::CommandFailure{"give either --station or --nearest N, not both"};
  if (!options.work.empty())
    throw stanvex::cli::CommandFailure{
        "--work does not go with --nearest: each station's retrieval has a folder of its own"};
  stanvex::cli::NearestFetchRequest request;
  request.count = options.nearest;
  request.latitude = options.latitude;
  request.longitude = options.longitude;
  request.maxKm = options.maxKm;
  request.jobs = options.jobs;
  request.catalogue = Absolute(stanvex::cli::CatalogueFolder(options.catalogue));
  request.service = options.service;
  request.from = options.from;
  request.to = options.to;
  request.destination = Absolute(options.destination);
  if (options.intervalGiven) {
    stanvex::cli::CheckInterval(options.interval, "--interval");
    char interval[32];
    std::snprintf(interval, sizeof interval, "%.17g", options.interval);
    request.passedOn.insert(request.passedOn.end(), {"--interval", interval});
    request.interval = options.interval;
  }
  if (options.append) request.passedOn.push_back("--append");
  if (options.keepRinex) request.passedOn.push_back("--keep-rinex");
  if (options.dropUnsolved) request.passedOn.push_back("--drop-unsolved");
  request.user = options.user;
  request.passwordGiven = options.passwordGiven;
  request.password = options.password;
  request.passwordFile = options.passwordFile;
  request.quiet = options.quiet;
  stanvex::cli::RunNearestFetch(request);
}

stanvex::cli::CommandRegistration fetchRegistration([](CLI::App& app) {
  auto* command =
      app.add_subcommand("fetch", "Retrieve a station's data for a window of up to three days");
  auto options = std::make_shared<FetchOptions>();
  command->add_option("--catalogue", options->catalogue,
                      "folder of manufact.dwn and user.dwn (default: the bundled catalogue)");
  command->add_option("--station", options->station, "station name");
  command->add_option("--nearest", options->nearest,
                      "instead of --station: the N stations nearest to --lat/--lon that have "
                      "data for the window, retrieved side by side");
  command->add_option("--lat", options->latitude, "latitude, decimal degrees, north positive");
  command->add_option("--lon", options->longitude, "longitude, decimal degrees, east positive");
  command->add_option("--max-km", options->maxKm, "largest distance for --nearest, km")
      ->capture_default_str();
  command->add_option("--jobs", options->jobs, "retrievals at once for --nearest")
      ->capture_default_str();
  command->add_option("--service", options->service,
                      "the station's service, for a station that several services serve "
                      "(default: the first in alphabetical order)");
  command->add_option("--from", options->from, "window start: YYYY-MM-DD HH:MM:SS or GPS seconds")
      ->required();
  command->add_option("--to", options->to, "window end: YYYY-MM-DD HH:MM:SS or GPS seconds")
      ->required();
  command->add_option("--dest", options->destination, "destination folder");
  command->add_option("--work", options->work, "working folder (default: a private temporary one)");
  CLI::Option* interval =
      command->add_option("--interval", options->interval, "resample to this interval, seconds");
  command->add_flag("--append", options->append, "keep existing files: deliver under a new name");
  command->add_option("--user", options->user, "FTP user (default anonymous)");
  CLI::Option* password = command->add_option(
      "--password", options->password,
      "FTP password; other users of this computer can see it in the process list: prefer "
      "--password-file, STANVEX_PASSWORD or typing it when asked");
  command->add_option("--password-file", options->passwordFile,
                      "file whose first line is the FTP password (or the bearer token of a "
                      "service that takes tokens)");
  command->add_flag("--keep-rinex", options->keepRinex, "keep the RINEX and working files");
  command->add_flag("--drop-unsolved", options->dropUnsolved,
                    "leave out epochs without a position solution");
  command->add_flag("--quiet", options->quiet, "no progress reports");
  command->footer(
      "The password is taken from --password, --password-file or the variable STANVEX_PASSWORD; "
      "with --user and none of these it is asked for on the terminal. A service that takes "
      "bearer tokens (auth: bearer; EarthScope: es login, then es user get-access-token) gets "
      "the password as its token, over HTTPS only; no --user is needed.");
  command->callback([options, interval, password] {
    options->intervalGiven = interval->count() > 0;
    options->passwordGiven = password->count() > 0;
    if (options->nearest != 0) {
      RunFetchNearest(*options);
      return;
    }
    if (options->station.empty())
      throw stanvex::cli::CommandFailure{"give either --station or --nearest N"};
    RunFetch(*options);
  });
});

}  // namespace
