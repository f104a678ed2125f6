// stanvex fetch: one retrieval request through the library's exports, with
// progress on the terminal and Ctrl-C to stop it.
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "command.h"
#include "pipeline/gps_time.h"
#include "platform/platform.h"
#include "stanvex.h"

namespace fs = std::filesystem;

namespace {

struct FetchOptions {
  std::string catalogue;
  std::string station;
  std::string from;
  std::string to;
  std::string destination = ".";
  std::string work;
  double interval = 0;
  bool append = false;
  std::string user;
  std::string password;
  bool keepRinex = false;
  bool dropUnsolved = false;
  bool quiet = false;
};

std::atomic<bool> interrupted{false};
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

void STANVEX_CALL ShowStatus(StatusRecord* record) {
  char number[64];
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

// GPS seconds from "YYYY-MM-DD[ T]HH:MM[:SS]", "YYYY-MM-DD" or a number of
// GPS seconds.
double ParseTime(const std::string& text) {
  int year, month, day, hour = 0, minute = 0, second = 0;
  char separator;
  int fields = std::sscanf(text.c_str(), "%d-%d-%d%c%d:%d:%d", &year, &month, &day, &separator,
                           &hour, &minute, &second);
  if (fields == 3 || fields >= 6) {
    if (year < 1980 || year > 2099 || month < 1 || month > 12 || day < 1 || day > 31 ||
        hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 60)
      throw stanvex::cli::CommandFailure{"invalid time: " + text};
    return static_cast<double>(stanvex::GpsSecondsAt(year, month, day, hour, minute, second));
  }
  char* end = nullptr;
  double seconds = std::strtod(text.c_str(), &end);
  if (end == text.c_str() || *end != '\0')
    throw stanvex::cli::CommandFailure{"invalid time (calendar time or GPS seconds): " + text};
  return seconds;
}

std::string Absolute(const std::string& path) {
  std::error_code error;
  fs::path absolute = fs::absolute(path, error);
  return error ? path : absolute.lexically_normal().string();
}

// The catalogue files are copied into a private folder, because loading
// writes combined.dwn beside them and the bundled folder may be read-only.
std::string StageCatalogue(const std::string& source, const std::string& work) {
  std::string staged = (fs::path(work) / "catalogue").string();
  std::error_code error;
  fs::create_directories(staged, error);
  bool found = false;
  for (const char* name : {"manufact.dwn", "user.dwn"}) {
    fs::path file = fs::path(source) / name;
    if (!fs::exists(file)) continue;
    fs::copy_file(file, fs::path(staged) / name, fs::copy_options::overwrite_existing, error);
    if (error) throw stanvex::cli::CommandFailure{"cannot copy " + file.string()};
    found = true;
  }
  if (!found)
    throw stanvex::cli::CommandFailure{"no manufact.dwn or user.dwn in " + source};
  return staged;
}

StationRecord* FindStation(const Serv_Sta& catalogue, const std::string& name) {
  for (int32_t i = 0; i < catalogue.iNumStations; ++i) {
    char stored[sizeof catalogue.pStations[i].sName + 1] = {};
    std::memcpy(stored, catalogue.pStations[i].sName, sizeof catalogue.pStations[i].sName);
    if (strcasecmp(stored, name.c_str()) == 0) return &catalogue.pStations[i];
  }
  return nullptr;
}

void PrintSummary(const char* delivered) {
  AvgPosition average{};
  double start = 0, end = 0;
  int32_t valid = 0;
  NewGetAvgOBNPos(delivered, &average, &start, &end, &valid);
  std::printf("delivered %s\n", delivered);
  std::printf("average position %.8f %.8f\n", average.position1, average.position2);
  if (valid) {
    stanvex::GpsTime first{}, last{};
    first.seconds = static_cast<int32_t>(start);
    last.seconds = static_cast<int32_t>(end);
    first.ComputeFromSeconds();
    last.ComputeFromSeconds();
    auto clock = [](double seconds) {
      long s = static_cast<long>(seconds) % 86400;
      char text[16];
      std::snprintf(text, sizeof text, "%02ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
      return std::string(text);
    };
    std::printf("data from %.0f (%04d-%02d-%02d %s) to %.0f (%04d-%02d-%02d %s) GPS seconds\n",
                start, first.year, first.month, first.day, clock(start).c_str(), end, last.year,
                last.month, last.day, clock(end).c_str());
  } else {
    std::printf("no span of usable data found\n");
  }
}

void RunFetch(const FetchOptions& options) {
  quiet = options.quiet;
  on_terminal = stanvex::platform::IsTerminal(2);
  double start = ParseTime(options.from);
  double end = ParseTime(options.to);

  std::string work = options.work;
  bool private_work = work.empty();
  if (private_work) {
    char made[256];
    if (!stanvex::platform::MakeTempDirectory("stanvex-fetch-", made, sizeof made))
      throw stanvex::cli::CommandFailure{"cannot make a working directory"};
    work = made;
  }
  work = Absolute(work);
  std::string catalogue_dir = options.catalogue.empty()
                                  ? (fs::path(stanvex::cli::ProgramDirectory()) / "catalogue").string()
                                  : options.catalogue;
  std::string staged = StageCatalogue(Absolute(catalogue_dir), work);
  std::string obs_work = (fs::path(work) / "work").string();
  std::error_code error;
  fs::create_directories(obs_work, error);

  SetCallBack(&ShowStatus);
  Serv_Sta catalogue{};
  catalogue.iServiceSize = sizeof(ServiceRecord);
  catalogue.iStationSize = sizeof(StationRecord);
  std::vector<char> staged_text(staged.begin(), staged.end());
  staged_text.push_back('\0');
  if (iInitalizeNEW(staged_text.data(), obs_work.c_str(), &catalogue) != 0)
    throw stanvex::cli::CommandFailure{stanvex::cli::LibraryError()};
  StationRecord* station = FindStation(catalogue, options.station);
  if (station == nullptr) {
    vClearMem(&catalogue);
    throw stanvex::cli::CommandFailure{"station " + options.station + " is not in the catalogue"};
  }

  std::string destination = Absolute(options.destination);
  std::vector<char> dest_text(destination.begin(), destination.end());
  dest_text.resize(dest_text.size() + 2, '\0');
  std::vector<char> user(options.user.begin(), options.user.end());
  user.push_back('\0');
  std::vector<char> password(options.password.begin(), options.password.end());
  password.push_back('\0');
  char delivered[256] = "";

  std::signal(SIGINT, OnInterrupt);
  int32_t result = iFTP(start, end, station, dest_text.data(), options.interval, delivered,
                        options.user.empty() ? nullptr : user.data(),
                        options.password.empty() ? nullptr : password.data(),
                        options.append ? 0 : 1, options.dropUnsolved ? 1 : 0,
                        options.keepRinex ? 0 : 1);
  std::signal(SIGINT, SIG_DFL);
  EndBar();
  vClearMem(&catalogue);
  SetCallBack(nullptr);
  if (result != 0) {
    std::string reason = stanvex::cli::LibraryError();
    if (!private_work || options.keepRinex)
      reason += "\n(working files kept in " + obs_work + ")";
    else
      fs::remove_all(work, error);
    throw stanvex::cli::CommandFailure{(interrupted ? "stopped: " : "") + reason};
  }
  if (private_work && !options.keepRinex) fs::remove_all(work, error);
  PrintSummary(delivered);
}

stanvex::cli::CommandRegistration reg([](CLI::App& app) {
  auto* command =
      app.add_subcommand("fetch", "Retrieve a station's data for a window of up to three days");
  auto options = std::make_shared<FetchOptions>();
  command->add_option("--catalogue", options->catalogue,
                      "folder of manufact.dwn and user.dwn (default: the bundled catalogue)");
  command->add_option("--station", options->station, "station name")->required();
  command->add_option("--from", options->from, "window start: YYYY-MM-DD HH:MM:SS or GPS seconds")
      ->required();
  command->add_option("--to", options->to, "window end: YYYY-MM-DD HH:MM:SS or GPS seconds")
      ->required();
  command->add_option("--dest", options->destination, "destination folder");
  command->add_option("--work", options->work, "working folder (default: a private temporary one)");
  command->add_option("--interval", options->interval, "resample to this interval, seconds");
  command->add_flag("--append", options->append, "keep existing files: deliver under a new name");
  command->add_option("--user", options->user, "FTP user (default anonymous)");
  command->add_option("--password", options->password, "FTP password");
  command->add_flag("--keep-rinex", options->keepRinex, "keep the RINEX and working files");
  command->add_flag("--drop-unsolved", options->dropUnsolved,
                    "leave out epochs without a position solution");
  command->add_flag("--quiet", options->quiet, "no progress reports");
  command->callback([options] { RunFetch(*options); });
});

}  // namespace
