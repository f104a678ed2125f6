// Whether the files of a window are at a station's archive, asked without
// fetching them (FtpFindFirstFileA: an HTTPS HEAD, an FTP SIZE, a stat of a
// file:// path), in the order the retrieval fetches them: for each day the
// observation file, its compact form and the navigation file, the hourly or
// 15-minute files where the retrieval would take them, and the navigation
// files it falls back to (the service's rolling file, the IGS service's).
// Each service's addresses are asked in order, the first with the
// request's login as a download gives it (LoginForAddress).
//
// The questions of all stations and days are asked side by side: a few
// connections per address, each on a thread of its own, in a session of
// their own without a status handler (the transfer state of the downloads
// is not touched). A stop (StopFtpProcessing) closes that session, which
// ends every question still open.
//
// Threads: call from the thread that loaded the catalogue, never while a
// retrieval runs in the same process.
#ifndef STANVEX_TRANSFER_AVAILABILITY_H
#define STANVEX_TRANSFER_AVAILABILITY_H

#include <cstdint>
#include <string>
#include <vector>

#include "base/result.h"
#include "stanvex.h"

namespace stanvex {

enum class AskedFile : int32_t {
  kObservation,
  kCompact,
  kNavigation,
  kRollingNavigation,  // the service's hnFile
  kIgsNavigation,      // the IGS service's navigation file
  kHourly,
  kQuarterHour,
};

// "observation", "compact", "navigation", "rolling navigation", "IGS
// navigation", "hourly", "15-minute".
const char* AskedFileName(AskedFile kind);

struct StationToAsk {
  StationRecord* station;  // an element of the loaded catalogue's pStations
  const char* user;        // the login for its service (null: none); the caller's texts
  const char* password;
};

// One file asked.
struct FileAnswer {
  int32_t station = 0;    // index into the stations asked
  int32_t day = 0;        // GPS seconds of the day's 00:00:00
  int32_t fileStart = 0;  // a sub-daily file's first second; day for the others
  AskedFile kind = AskedFile::kObservation;
  std::string path;       // the remote path found, else the first one asked
  std::string address;    // the address that has it (no login shown); "" when missing
  int64_t size = -1;      // bytes; -1 when the server did not tell
  bool present = false;
  std::string note;       // why an address could not answer ("" when all did)
};

// A day of a station.
struct DayVerdict {
  int32_t station = 0;
  int32_t day = 0;
  bool hasData = false;  // observations (of some kind) and navigation are there
  // True when the day's lack of data is known: every address asked answered
  // (a failed question, such as a refused connection, says nothing of it).
  bool decided = true;
  std::string why;  // when not: what is missing, and why an address could not answer
};

enum class AskingMode {
  kEveryFile,     // the observation, compact and navigation files of every day
  kUntilDecided,  // only what decides whether each day has data
};

// The longest window asked: 31 days.
constexpr int32_t kMaxAskedDays = 31;

// stations: in; start, end: the window, whole GPS seconds (its days as a
// retrieval counts them: an end in the first two minutes of a day does not
// touch it); interval: the retrieval's (finer than 30 s takes 15-minute files
// where the service has them). answers and days: out, in station, day and
// asking order. Fails (nothing asked) when no catalogue is loaded, a station
// has no service, the window is reversed or longer than kMaxAskedDays, the
// internet library cannot be bound or cannot be asked (no
// FtpFindFirstFileA), and when stopped. A day whose names cannot be made
// has no data, with the reason.
Result AskAvailability(const std::vector<StationToAsk>& stations, int32_t start, int32_t end,
                       double interval, AskingMode mode, std::vector<FileAnswer>* answers,
                       std::vector<DayVerdict>* days);

}  // namespace stanvex

#endif  // STANVEX_TRANSFER_AVAILABILITY_H
