#include "transfer/download.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "base/last_error.h"
#include "base/paths.h"
#include "base/request_state.h"
#include "base/text.h"
#include "catalogue/catalogue.h"
#include "transfer/file_names.h"
#include "transfer/retry_policy.h"
#include "transfer/service_login.h"
#include "transfer/transfer_errors.h"

namespace stanvex {
namespace {

constexpr const char* kCatalogueUser = "download";
constexpr const char* kCataloguePassword = "getfiles5308";

char catalogueServer[128] = STANVEX_CATALOGUE_SERVER;

// True when the service identifier (a 32-byte field) is "igs" in any case.
bool IsIgs(const char* id) {
  static const char kIgs[] = "igs";
  for (size_t i = 0; i < sizeof kIgs; ++i) {
    char c = id[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != kIgs[i]) return false;
  }
  return true;
}

// Closes a download's handles, session first, whatever way it returns.
class SessionCloser {
 public:
  explicit SessionCloser(FtpSession* session) : session_(session) {}
  ~SessionCloser() {
    CloseInternetHandleOnce(&session_->session);
    CloseInternetHandleOnce(&session_->connection);
  }
  SessionCloser(const SessionCloser&) = delete;
  SessionCloser& operator=(const SessionCloser&) = delete;

 private:
  FtpSession* session_;
};

bool Stopped() { return FtpStopCount.load() != 0; }

// The cause of the last failed transfer, for the retry and alternative
// decisions. The system's wininet on Windows reports every refusal of an FTP
// server, a missing file among them, as ERROR_INTERNET_EXTENDED_ERROR (the
// reply itself is read separately); from that library such a failure counts
// as a missing file: it is not retried, and the next alternative or the
// compact file is tried. Our own library reports a missing file by its code.
uint32_t FailureCause() {
  uint32_t error = Transfer.lastError.load();
#if defined(_WIN32)
  if (error == ERROR_INTERNET_EXTENDED_ERROR &&
      std::strcmp(Internet.name, kSystemInternetLibrary) == 0)
    return ERROR_INTERNET_ITEM_NOT_FOUND;
#endif
  return error;
}

// Ordinal words for the retry texts.
const char* const kAttemptWords[] = {"first", "second", "third"};

// Runs attempt (a connection or a transfer, which reports its own failure)
// again while it fails for a passing cause, at most kMaxRetries more times,
// announcing each retry and pausing before it. A stop during a pause ends
// the tries with stopHeading and stopText. Returns true when an attempt
// succeeded; after false, Stopped() tells a stop and Transfer.lastError the
// cause of the last failure.
template <typename Attempt>
bool WithRetries(Attempt attempt, const char* what, const char* stopHeading,
                 const char* stopText) {
  for (int retry = 1;; ++retry) {
    if (attempt()) return true;
    if (Stopped()) return false;
    if (retry > kMaxRetries || !IsTransientFailure(FailureCause())) return false;
    uint32_t pause = RetryPauseMs(retry);
    char text[kTextSize];
    std::snprintf(text, sizeof text, "Trying again in %d s (%s attempt of %d): %s",
                  retry == 1 ? 1 : 4, kAttemptWords[retry], kMaxRetries + 1, what);
    TransferSend(STATUS_TEXT, text);
    if (!PauseBeforeRetry(pause)) {
      TransferError(stopHeading);
      SetLastErrorText("%s", stopText);
      return false;
    }
  }
}

// The connections of one service for one download: one per address, made
// when first needed, each with its login (LoginForAddress: the given login
// goes to the first address only, so a private account is never sent to a
// mirror; a bearer token over HTTPS only).
class ServiceConnections {
 public:
  ServiceConnections(FtpSession* session, const ServiceRecord* service, const char* user,
                     const char* password)
      : session_(session),
        service_(service),
        user_(user),
        password_(password),
        count_(ServiceAddressCount(service)),
        owned_(static_cast<size_t>(count_), nullptr),
        unreachable_(static_cast<size_t>(count_), false) {}
  ~ServiceConnections() {
    for (HINTERNET& owned : owned_) CloseInternetHandleOnce(&owned);
  }
  ServiceConnections(const ServiceConnections&) = delete;
  ServiceConnections& operator=(const ServiceConnections&) = delete;

  int32_t count() const { return count_; }
  const char* Address(int32_t i) const {
    const char* address = ServiceAddress(service_, i);
    return address != nullptr ? address : "";
  }
  // Address 0 uses *handle, owned (and closed) by the caller.
  void BorrowFirst(HINTERNET* handle) { borrowedFirst_ = handle; }
  // True when some address was connected at least once.
  bool AnyConnected() const { return anyConnected_; }

  // The connection to address i, made now (with retries) when needed; null
  // when the address cannot be reached or a stop was raised.
  HINTERNET* Open(int32_t i) {
    const size_t at = static_cast<size_t>(i);
    HINTERNET* slot = i == 0 && borrowedFirst_ != nullptr ? borrowedFirst_ : &owned_[at];
    if (*slot != nullptr) return slot;
    if (unreachable_[at]) return nullptr;
    if (session_->session == nullptr) {
      // A connection time-out closed the session: every connection made over
      // it is gone with it.
      for (HINTERNET& owned : owned_) CloseInternetHandleOnce(&owned);
      if (borrowedFirst_ != nullptr) CloseInternetHandleOnce(borrowedFirst_);
      if (!OpenInternetSession(session_)) return nullptr;
    }
    const char* host = Address(i);
    const AddressLogin login = LoginForAddress(service_, i, user_, password_);
    if (login.tokenWithheld) {
      char text[kTextSize];
      WithheldTokenText(service_, host, text, sizeof text);
      TransferSend(STATUS_TEXT, text);
    }
    bool connected = WithRetries(
        [&]() -> bool {
          // A time-out closed the session: the next try needs a new one.
          if (session_->session == nullptr && !OpenInternetSession(session_)) return false;
          return FTPConnect(session_, host, slot, login.user, login.password, login.flags);
        },
        host, "Program Stopped in FTPConnect",
        "User requested to shutdown.  Datacollator has been stopped");
    if (!connected) {
      unreachable_[at] = true;
      return nullptr;
    }
    anyConnected_ = true;
    return slot;
  }

 private:
  FtpSession* session_;
  const ServiceRecord* service_;
  const char* user_;
  const char* password_;
  int32_t count_;
  HINTERNET* borrowedFirst_ = nullptr;
  std::vector<HINTERNET> owned_;   // one per address
  std::vector<bool> unreachable_;  // one per address
  bool anyConnected_ = false;
};

// One file of the day as the download tries it: its remote choices, the job
// field that shows the path being tried, the local name and the context.
struct FileChoices {
  const PathChoices* choices;
  char* remoteField;  // kDayNameSize bytes, or null
  const char* localPath;
  DWORD_PTR context;
};

enum class Fetched { kArrived, kFailed, kStopped, kLocalFailure };

// Tries the files in order (an observation file, then its compact form) at
// each address of connections in turn, each file's alternatives in order over
// that address's connection, each transfer with its retries. A missing
// alternative leads to the next one; any other failure leaves the address
// for the next. *file and *address tell which file arrived from where.
Fetched FetchFromAddresses(ServiceConnections* connections, const FileChoices* files,
                           int fileCount, int* file, int32_t* address) {
  for (int32_t a = 0; a < connections->count(); ++a) {
    if (a > 0) {
      char text[kTextSize];
      CopyText(text, sizeof text, "Trying the next address of the service: ");
      AppendText(text, sizeof text, connections->Address(a));
      TransferSend(STATUS_TEXT, text);
    }
    HINTERNET* connection = connections->Open(a);
    if (Stopped()) return Fetched::kStopped;
    if (connection == nullptr) continue;
    bool leaveAddress = false;
    for (int f = 0; f < fileCount && !leaveAddress; ++f) {
      const FileChoices& wanted = files[f];
      for (int c = 0; c < wanted.choices->count && !leaveAddress; ++c) {
        const char* path = wanted.choices->paths[c];
        if (wanted.remoteField != nullptr) CopyText(wanted.remoteField, kDayNameSize, path);
        bool arrived = WithRetries(
            [&]() -> bool { return GetFile(connection, path, wanted.localPath, wanted.context); },
            path, "Program Stopped in GetFile", "FTPGETFILE ended at the user's request");
        if (arrived) {
          *file = f;
          *address = a;
          if (connections->count() > 1) {
            char text[kTextSize];
            CopyText(text, sizeof text, "File served by ");
            AppendText(text, sizeof text, connections->Address(a));
            TransferSend(STATUS_TEXT, text);
          }
          return Fetched::kArrived;
        }
        if (Stopped()) return Fetched::kStopped;
        uint32_t cause = FailureCause();
        if (IsLocalFileFailure(cause)) return Fetched::kLocalFailure;
        if (cause != ERROR_INTERNET_ITEM_NOT_FOUND || *connection == nullptr) leaveAddress = true;
      }
    }
  }
  return Fetched::kFailed;
}

// Fetches the day's navigation file from the IGS service: at each of its
// addresses, its navigation template's alternatives, then the fixed fallback.
// A template that does not expand is a failed attempt without a transfer.
// True when the file arrived.
bool FetchIgsNavigation(ServiceConnections* connections, const ServiceRecord* igs, DayFiles* job,
                        DWORD_PTR context) {
  // Expansion reports go through the module's channel: a template the
  // "auto" station cannot fill (a long-name token) only skips that attempt.
  PathChoices serviceChoices;
  PathChoices rollingChoices;
  PathChoices fallbackChoices;
  bool haveService = ExpandChoices(job->day, igs->nFile, kIgsStation, nullptr, &serviceChoices);
  const char* rolling = ServiceSubDailyTemplate(igs, SubDailyTemplate::kRollingNavigation);
  bool haveRolling = rolling[0] != '\0' &&
                     ExpandChoices(job->day, rolling, kIgsStation, nullptr, &rollingChoices);
  bool haveFallback =
      ExpandChoices(job->day, kIgsFallbackTemplate, kIgsStation, nullptr, &fallbackChoices);
  FileChoices files[3];
  int count = 0;
  if (haveService) files[count++] = {&serviceChoices, nullptr, job->localNav, context};
  if (haveRolling) files[count++] = {&rollingChoices, nullptr, job->localNav, context};
  if (haveFallback) files[count++] = {&fallbackChoices, nullptr, job->localNav, context};
  int file = 0;
  int32_t address = 0;
  Fetched fetched = FetchFromAddresses(connections, files, count, &file, &address);
  if (fetched == Fetched::kArrived) return true;
  if (fetched != Fetched::kFailed) return false;
  if (!connections->AnyConnected()) {
    SetLastErrorText("Failed to connect to IGS site%s", job->localNav);
    return false;
  }
  const char* last = count > 0 ? files[count - 1].choices->paths[files[count - 1].choices->count - 1]
                               : "";
  SetLastErrorText("Error unable to Download File %s. The file may not exist for that time period",
                   last);
  return false;
}

// The navigation fallback over connections of the IGS service. When the
// job's service is the IGS one, dayConnections (the day's own) are used.
// True when the file arrived.
bool IgsNavigation(FtpSession* session, ServiceConnections* dayConnections, DayFiles* job) {
  ServiceRecord* igs = FindService("IGS");
  if (igs == nullptr) {
    SetLastErrorText("IGS not found in service list");
    return false;
  }
  if (IsIgs(job->service->ServId))
    return FetchIgsNavigation(dayConnections, igs, job, kContextIgsSameConnection);

  char type[kDayTypeSize] = {};
  std::memcpy(type, igs->Ftype, strnlen(igs->Ftype, kDayTypeSize - 1));
  std::memcpy(job->navType, type, sizeof type);
  // The IGS archive is a third party: it gets the anonymous login, never
  // the account given for the station's own service.
  ServiceConnections igsConnections(session, igs, nullptr, nullptr);
  return FetchIgsNavigation(&igsConnections, igs, job, kContextIgsOwnConnection);
}

// The internet library for a day's downloads: one session serves the
// service's addresses and, for the navigation fallback, the IGS service's.
const char* DayInternetLibrary(const ServiceRecord* service) {
  std::vector<const char*> addresses;
  const ServiceRecord* services[] = {service, FindService("IGS")};
  for (const ServiceRecord* each : services) {
    if (each == nullptr) continue;
    const int32_t n = ServiceAddressCount(each);
    for (int32_t i = 0; i < n; ++i) addresses.push_back(ServiceAddress(each, i));
  }
  return InternetLibraryForAll(addresses.data(), static_cast<int32_t>(addresses.size()));
}

enum class SubDailyFetched { kSome, kNone, kBadTemplate, kStopped };

// The remote path (first choice) of the job's sub-daily file index; false
// when the template does not expand (reported).
bool SubDailyChoices(const DayFiles& job, int32_t index, const char* pathTemplate,
                     PathChoices* choices) {
  return ExpandSubDailyChoices(SubDailyFileStart(job, index), pathTemplate, job.station->sName,
                               StationLongName(job.station), choices);
}

// Fetches the sub-daily files of kind (from pathTemplate) that cover the
// job's window on its day, each over connections (one per address for the
// whole day). When some arrived, each one that did not is reported as
// skipped; when none did, nothing is reported (the day is served otherwise
// or fails). kBadTemplate: the template does not expand (reported);
// kStopped: a stop or a local failure (a full disk) ended the fetching.
SubDailyFetched FetchSubDailyFiles(ServiceConnections* connections, DayFiles* job, int32_t kind,
                                   const char* pathTemplate) {
  ChooseSubDailyFiles(job, kind);
  int32_t arrived = 0;
  for (int32_t i = 0; i < job->subDailyCount; ++i) {
    PathChoices choices;
    // A template that does not expand fails alike for every file.
    if (!SubDailyChoices(*job, i, pathTemplate, &choices)) return SubDailyFetched::kBadTemplate;
    char local[kDayNameSize];
    SubDailyLocalName(*job, i, local, nullptr);
    FileChoices file[] = {{&choices, nullptr, local, kContextObservation}};
    int which = 0;
    int32_t address = 0;
    Fetched fetched = FetchFromAddresses(connections, file, 1, &which, &address);
    if (fetched == Fetched::kArrived) {
      job->subDailyArrived[i] = 1;
      ++arrived;
    } else if (fetched != Fetched::kFailed) {
      return SubDailyFetched::kStopped;
    }
  }
  if (arrived == 0) return SubDailyFetched::kNone;
  for (int32_t i = 0; i < job->subDailyCount; ++i) {
    PathChoices choices;
    if (job->subDailyArrived[i] != 0 || !SubDailyChoices(*job, i, pathTemplate, &choices))
      continue;
    char span[64];
    SubDailySpanText(*job, i, span, sizeof span);
    char text[kTextSize];
    std::snprintf(text, sizeof text, "%s file %s (%s) missing, skipped",
                  kind == kQuarterHourFiles ? "15-minute" : "Hourly", choices.paths[0], span);
    TransferSend(STATUS_TEXT, text);
  }
  return SubDailyFetched::kSome;
}

// The day's observations as the daily download has always fetched them: the
// observation file, else the compact file.
Fetched FetchDailyObservations(ServiceConnections* connections, DayFiles* job,
                               PathChoices* observation, PathChoices* compact, bool withCompact) {
  FileChoices observationFiles[] = {
      {observation, job->remoteObs, job->localObs, kContextObservation},
      {compact, job->remoteCompact, job->localCompact, kContextCompact}};
  int file = 0;
  int32_t address = 0;
  Fetched fetched =
      FetchFromAddresses(connections, observationFiles, withCompact ? 2 : 1, &file, &address);
  job->compactUsed = withCompact && (fetched != Fetched::kArrived || file == 1) ? 1 : 0;
  if (fetched == Fetched::kArrived && file == 0) {
    char text[kTextSize];
    CopyText(text, sizeof text, "Finished Downloading File: ");
    AppendText(text, sizeof text, job->localObs);
    TransferSend(STATUS_TEXT, text);
  }
  return fetched;
}

// The day's observations: its 15-minute files when the request asks an
// interval finer than 30 s and the service has them; else the daily file;
// else its hourly files. False when none arrived (LastErrorText says why).
bool FetchDayObservations(ServiceConnections* connections, DayFiles* job,
                          PathChoices* observation, PathChoices* compact, bool withCompact) {
  const ServiceRecord* service = job->service;
  const char* quarter = ServiceSubDailyTemplate(service, SubDailyTemplate::kQuarterHourly);
  const char* hourly = ServiceSubDailyTemplate(service, SubDailyTemplate::kHourly);
  job->subDailyKind = kDailyFile;
  job->subDailyCount = 0;
  if (job->interval > 0 && job->interval < 30 && quarter[0] != '\0') {
    SubDailyFetched got = FetchSubDailyFiles(connections, job, kQuarterHourFiles, quarter);
    if (got == SubDailyFetched::kSome) {
      job->compactUsed = 0;
      return true;
    }
    if (got == SubDailyFetched::kStopped) return false;
    if (got == SubDailyFetched::kNone)
      TransferSend(STATUS_TEXT, "No 15-minute file arrived: trying the daily file");
    job->subDailyKind = kDailyFile;
    job->subDailyCount = 0;
  }
  Fetched fetched = FetchDailyObservations(connections, job, observation, compact, withCompact);
  if (fetched == Fetched::kArrived) return true;
  if (fetched != Fetched::kFailed || hourly[0] == '\0') return false;
  TransferSend(STATUS_TEXT, "No daily observation file: trying the hourly files");
  SubDailyFetched got = FetchSubDailyFiles(connections, job, kHourlyFiles, hourly);
  if (got == SubDailyFetched::kSome) {
    job->compactUsed = 0;
    return true;
  }
  if (got == SubDailyFetched::kNone && FailureCause() == ERROR_INTERNET_ITEM_NOT_FOUND)
    SetLastErrorText(
        "Error unable to download file %s or any of its hourly files.\n    the files do not "
        "exist on the FTP server",
        job->localObs);
  return false;
}

}  // namespace

int GetFile(HINTERNET* connection, const char* remotePath, const char* localPath,
            DWORD_PTR context) {
  onRequestingThread = true;
  ResetTransferState();
  TransferSend(STATUS_FILE_REQUEST, remotePath);

  // The transfer is timed from its request; a tick of 0 would read as "no
  // transfer".
  uint32_t start = platform::TickCount();
  Transfer.transferStart = start != 0 ? start : 1;
  bool answeredAtOnce = true;
  bool arrived = false;
  uint32_t error = ERROR_INVALID_HANDLE;
  if (*connection != nullptr) {
    BOOL requested = Internet.FtpGetFileA(*connection, remotePath, localPath, 0,
                                          FILE_ATTRIBUTE_NORMAL, FTP_TRANSFER_TYPE_BINARY, context);
    int systemError = platform::LastSystemError();
    if (requested) {
      // A library may answer an asynchronous request with success at once
      // and still carry it out on its own thread, its completion following
      // (Wine's wininet does). The file is there only after that completion.
      answeredAtOnce = !LibraryStillWorking(kLateCompletionQuietMs);
      arrived = answeredAtOnce;
    } else if (systemError == ERROR_IO_PENDING) {
      answeredAtOnce = false;
    } else {
      error = static_cast<uint32_t>(systemError);
    }
  }

  if (!answeredAtOnce) {
    if (WaitForCompletion(Transfer.completions, 0) == kWaitStopped) {
      Transfer.transferStart = 0;
      // Closing cancels the transfer and waits for the library's thread, so
      // no progress report shares the module's record with the heading.
      CloseInternetHandleOnce(connection);
      TransferError("Program Stopped in GetFile");
      SetLastErrorText("FTPGETFILE ended at the user's request");
      return 0;
    }
    arrived = Transfer.result.load() != 0;
    error = Transfer.lastError.load();
  }
  Transfer.transferStart = 0;
  if (arrived) {
    TransferSend(STATUS_TEXT, "File Downloaded");
    return 1;
  }

  // The cause stays readable for the retry and mirror decisions.
  Transfer.lastError = error;
  TransferError("Error in GetFile");
  const char* path = localPath != nullptr ? localPath : "";
  if (SetTransferFailureText(error, *connection, path)) {
    // A cause with a text of its own (an HTTPS server's missing file among them).
  } else if (error == ERROR_INTERNET_ITEM_NOT_FOUND) {
    SetLastErrorText(
        "Error unable to download file %s.\n    the file does not exist on the FTP server", path);
  } else if (error == ERROR_DISK_FULL) {
    SetLastErrorText("Error disk full!");
  } else {
    SetLastErrorText("Error unable to download file %s.\n    The file may not exist for that day",
                     path);
  }
  return 0;
}

int DownloadDay(DayFiles* job) {
  if (job == nullptr || job->station == nullptr || job->service == nullptr) {
    SetLastErrorText("Error no station or service given for the download");
    return 0;
  }
  if (BindInternetLibraryNamed(DayInternetLibrary(job->service)) != 0) return 0;
  TransferChannelScope channel;
  job->day.ComputeFromSeconds();
  if (!BuildDayFileNames(job)) return 0;
  // The alternatives of each template (BuildDayFileNames has expanded them
  // once already, so these expansions succeed and report nothing).
  ServiceRecord* service = job->service;
  PathChoices observation, compact, navigation;
  if (!DayPathChoices(*job, service->oFile, &observation)) return 0;
  if (!DayPathChoices(*job, service->nFile, &navigation)) return 0;
  bool withCompact = service->hasDFile == 1 && DayPathChoices(*job, service->dFile, &compact);
  TransferSend(STATUS_TEXT, "FTP Starting");

  FtpSession session;
  SessionCloser closer(&session);
  if (!OpenInternetSession(&session)) return 0;
  ServiceConnections connections(&session, service, job->userName, job->password);
  connections.BorrowFirst(&session.connection);

  if (!FetchDayObservations(&connections, job, &observation, &compact, withCompact)) return 0;

  // The daily navigation file, else the service's file of a day not yet
  // closed (rebuilt through the day), else the IGS service's.
  PathChoices rolling;
  const char* rollingTemplate =
      ServiceSubDailyTemplate(service, SubDailyTemplate::kRollingNavigation);
  bool withRolling =
      rollingTemplate[0] != '\0' && DayPathChoices(*job, rollingTemplate, &rolling);
  FileChoices navigationFiles[] = {
      {&navigation, job->remoteNav, job->localNav, kContextNavigation},
      {&rolling, job->remoteNav, job->localNav, kContextNavigation}};
  int file = 0;
  int32_t address = 0;
  Fetched fetched =
      FetchFromAddresses(&connections, navigationFiles, withRolling ? 2 : 1, &file, &address);
  if (fetched == Fetched::kArrived) return 1;
  if (fetched != Fetched::kFailed) return 0;
  TransferSend(STATUS_TEXT, "Unable to get NAV File will now try getting igs auto NAV file");
  return IgsNavigation(&session, &connections, job) ? 1 : 0;
}

int GetIgsNavFile(FtpSession* session, HINTERNET* connection, DayFiles* job) {
  ServiceConnections connections(session, job->service, job->userName, job->password);
  connections.BorrowFirst(connection);
  return IgsNavigation(session, &connections, job) ? 1 : 0;
}

int DownloadCatalogueFile(const char* localPath) {
  if (BindInternetLibraryFor(catalogueServer) != 0) return -1;
  TransferChannelScope channel;
  TransferSend(STATUS_TEXT, "FTP Starting");
  FtpSession session;
  SessionCloser closer(&session);
  if (!OpenInternetSession(&session)) return -1;
  if (!FTPConnect(&session, catalogueServer, &session.connection, kCatalogueUser,
                  kCataloguePassword))
    return -1;
  // The name is relative to the account's login directory.
  if (!GetFile(&session.connection, "manufact.dwn", localPath, kContextCatalogue)) return -1;
  return 0;
}

const char* CatalogueServer() { return catalogueServer; }

void SetCatalogueServerForTesting(const char* host) {
  CopyText(catalogueServer, sizeof catalogueServer,
           host != nullptr ? host : STANVEX_CATALOGUE_SERVER);
}

Result FetchCatalogueFile(const char* directory) {
  char name[kPathSize] = "manufact.dwn";
  // JoinPath may add a separator to the directory: work on a copy, never on
  // the host's buffer.
  char folder[2 * kPathSize];
  CopyText(folder, sizeof folder, directory);
  Result joined = JoinPath(folder, name);
  if (!joined.ok) return joined;
  if (DownloadCatalogueFile(name) != 0) return Result::FailureFromLastError();
  return Result::Success();
}

}  // namespace stanvex
