#include "transfer/download.h"

#include <cstdio>
#include <cstring>
#include <vector>

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
    CloseInternetHandleOnce(*session_->link.internet, &session_->session);
    CloseInternetHandleOnce(*session_->link.internet, &session_->connection);
  }
  SessionCloser(const SessionCloser&) = delete;
  SessionCloser& operator=(const SessionCloser&) = delete;

 private:
  FtpSession* session_;
};

// The cause of the last failed transfer, for the retry and alternative
// decisions. The system's wininet on Windows reports every refusal of an FTP
// server, a missing file among them, as ERROR_INTERNET_EXTENDED_ERROR (the
// reply itself is read separately); from that library such a failure counts
// as a missing file: it is not retried, and the next alternative or the
// compact file is tried. Our own library reports a missing file by its code.
uint32_t FailureCause(const InternetBinding& internet) {
  uint32_t error = Transfer.lastError.load();
#if defined(_WIN32)
  if (error == ERROR_INTERNET_EXTENDED_ERROR &&
      std::strcmp(internet.name, kSystemInternetLibrary) == 0)
    return ERROR_INTERNET_ITEM_NOT_FOUND;
#else
  (void)internet;
#endif
  return error;
}

// Ordinal words for the retry texts.
const char* const kAttemptWords[] = {"first", "second", "third"};

// Runs attempt (a connection or a transfer, which sends its own heading and
// returns its failure) again while it fails for a passing cause, at most
// kMaxRetries more times, announcing each retry and pausing before it. A
// stop during a pause ends the tries with stopHeading and stopText. Returns
// the last attempt's Result (or the stop's); after a failure,
// link.Stopped() tells a stop and Transfer.lastError the cause of the last
// failure.
template <typename Attempt>
Result WithRetries(const TransferLink& link, Attempt attempt, const char* what,
                   const char* stopHeading, const char* stopText) {
  for (int retry = 1;; ++retry) {
    Result attempted = attempt();
    if (attempted.ok || link.Stopped()) return attempted;
    if (retry > kMaxRetries || !IsTransientFailure(FailureCause(*link.internet))) return attempted;
    uint32_t pause = RetryPauseMs(retry);
    char text[kTextSize];
    std::snprintf(text, sizeof text, "Trying again in %d s (%s attempt of %d): %s",
                  retry == 1 ? 1 : 4, kAttemptWords[retry], kMaxRetries + 1, what);
    TransferSend(STATUS_TEXT, text);
    if (!PauseBeforeRetry(pause, *link.stop)) {
      TransferError(stopHeading);
      return Result::Failure(nullptr, "%s", stopText);
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
    for (HINTERNET& owned : owned_) CloseInternetHandleOnce(internet(), &owned);
  }
  ServiceConnections(const ServiceConnections&) = delete;
  ServiceConnections& operator=(const ServiceConnections&) = delete;

  int32_t count() const { return count_; }
  const TransferLink& link() const { return session_->link; }
  const InternetBinding& internet() const { return *session_->link.internet; }
  const char* Address(int32_t i) const {
    const char* address = ServiceAddress(service_, i);
    return address != nullptr ? address : "";
  }
  // Address 0 uses *handle, owned (and closed) by the caller.
  void BorrowFirst(HINTERNET* handle) { borrowedFirst_ = handle; }
  // True when some address was connected at least once.
  bool AnyConnected() const { return anyConnected_; }
  // Why the last Open that gave null failed.
  const Result& OpenFailure() const { return openFailure_; }

  // The connection to address i, made now (with retries) when needed; null
  // when the address cannot be reached or a stop was raised (OpenFailure
  // tells why; an address found unreachable before keeps that reason).
  HINTERNET* Open(int32_t i) {
    const size_t at = static_cast<size_t>(i);
    HINTERNET* slot = i == 0 && borrowedFirst_ != nullptr ? borrowedFirst_ : &owned_[at];
    if (*slot != nullptr) return slot;
    if (unreachable_[at]) return nullptr;
    if (session_->session == nullptr) {
      // A connection time-out closed the session: every connection made over
      // it is gone with it.
      for (HINTERNET& owned : owned_) CloseInternetHandleOnce(internet(), &owned);
      if (borrowedFirst_ != nullptr) CloseInternetHandleOnce(internet(), borrowedFirst_);
      openFailure_ = OpenInternetSession(session_);
      if (!openFailure_.ok) return nullptr;
    }
    const char* host = Address(i);
    const AddressLogin login = LoginForAddress(service_, i, user_, password_);
    if (login.tokenWithheld) {
      char text[kTextSize];
      WithheldTokenText(service_, host, text, sizeof text);
      TransferSend(STATUS_TEXT, text);
    }
    openFailure_ = WithRetries(
        link(),
        [&]() -> Result {
          // A time-out closed the session: the next try needs a new one.
          if (session_->session == nullptr) {
            Result opened = OpenInternetSession(session_);
            if (!opened.ok) return opened;
          }
          return FTPConnect(session_, host, slot, login.user, login.password, login.flags);
        },
        host, "Program Stopped in FTPConnect",
        "User requested to shutdown.  Datacollator has been stopped");
    if (!openFailure_.ok) {
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
  Result openFailure_;
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

// How a fetch that got nothing ends: *failure keeps the reason of the last
// failed attempt, or, when no attempt failed (a stop raised just after a
// connection was made, a service without addresses), says what happened.
Fetched Unfetched(Fetched how, Result* failure) {
  if (failure->ok)
    *failure =
        how == Fetched::kStopped
            ? Result::Failure(nullptr, "User requested to shutdown.  Datacollator has been stopped")
            : Result::Failure(nullptr,
                              "Error Unable to connect to FTP Server. Server could be down "
                              "or you may not have an internet connection");
  return how;
}

// Tries the files in order (an observation file, then its compact form) at
// each address of connections in turn, each file's alternatives in order over
// that address's connection, each transfer with its retries. A missing
// alternative leads to the next one; any other failure leaves the address
// for the next. *file and *address tell which file arrived from where; when
// none did, *failure is the last failed connection's or transfer's (left as
// it was when there was none).
Fetched FetchFromAddresses(ServiceConnections* connections, const FileChoices* files, int fileCount,
                           int* file, int32_t* address, Result* failure) {
  for (int32_t a = 0; a < connections->count(); ++a) {
    if (a > 0) {
      char text[kTextSize];
      CopyText(text, sizeof text, "Trying the next address of the service: ");
      AppendText(text, sizeof text, connections->Address(a));
      TransferSend(STATUS_TEXT, text);
    }
    HINTERNET* connection = connections->Open(a);
    if (connection == nullptr) *failure = connections->OpenFailure();
    if (connections->link().Stopped()) return Unfetched(Fetched::kStopped, failure);
    if (connection == nullptr) continue;
    bool leaveAddress = false;
    for (int f = 0; f < fileCount && !leaveAddress; ++f) {
      const FileChoices& wanted = files[f];
      for (int c = 0; c < wanted.choices->count && !leaveAddress; ++c) {
        const char* path = wanted.choices->paths[c];
        if (wanted.remoteField != nullptr) CopyText(wanted.remoteField, kDayNameSize, path);
        Result got = WithRetries(
            connections->link(),
            [&]() -> Result {
              return GetFile(connections->link(), connection, path, wanted.localPath,
                             wanted.context);
            },
            path, "Program Stopped in GetFile", "FTPGETFILE ended at the user's request");
        if (got.ok) {
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
        *failure = got;
        if (connections->link().Stopped()) return Fetched::kStopped;
        uint32_t cause = FailureCause(connections->internet());
        if (IsLocalFileFailure(cause)) return Fetched::kLocalFailure;
        if (cause != ERROR_INTERNET_ITEM_NOT_FOUND || *connection == nullptr) leaveAddress = true;
      }
    }
  }
  return Unfetched(Fetched::kFailed, failure);
}

// Fetches the day's navigation file from the IGS service: at each of its
// addresses, its navigation template's alternatives, then the fixed fallback.
// A template that does not expand is a failed attempt without a transfer.
// Succeeds when the file arrived.
Result FetchIgsNavigation(ServiceConnections* connections, const ServiceRecord* igs, DayFiles* job,
                          DWORD_PTR context) {
  // Expansion reports go through the module's channel: a template the
  // "auto" station cannot fill (a long-name token) only skips that attempt.
  PathChoices serviceChoices;
  PathChoices rollingChoices;
  PathChoices fallbackChoices;
  Result failure = ExpandChoices(job->day, igs->nFile, kIgsStation, nullptr, &serviceChoices);
  const bool haveService = failure.ok;
  const char* rolling = ServiceSubDailyTemplate(igs, SubDailyTemplate::kRollingNavigation);
  bool haveRolling = false;
  if (rolling[0] != '\0') {
    Result expanded = ExpandChoices(job->day, rolling, kIgsStation, nullptr, &rollingChoices);
    haveRolling = expanded.ok;
    if (!expanded.ok) failure = expanded;
  }
  Result fallback =
      ExpandChoices(job->day, kIgsFallbackTemplate, kIgsStation, nullptr, &fallbackChoices);
  const bool haveFallback = fallback.ok;
  if (!fallback.ok) failure = fallback;
  FileChoices files[3];
  int count = 0;
  if (haveService) files[count++] = {&serviceChoices, nullptr, job->localNav, context};
  if (haveRolling) files[count++] = {&rollingChoices, nullptr, job->localNav, context};
  if (haveFallback) files[count++] = {&fallbackChoices, nullptr, job->localNav, context};
  int file = 0;
  int32_t address = 0;
  Fetched fetched = FetchFromAddresses(connections, files, count, &file, &address, &failure);
  if (fetched == Fetched::kArrived) return Result::Success();
  if (fetched != Fetched::kFailed) return failure;
  if (!connections->AnyConnected())
    return Result::Failure(nullptr, "Failed to connect to IGS site%s", job->localNav);
  const char* last = count > 0 ? files[count - 1].choices->paths[files[count - 1].choices->count - 1]
                               : "";
  return Result::Failure(
      nullptr, "Error unable to Download File %s. The file may not exist for that time period",
      last);
}

// The navigation fallback over connections of the IGS service. When the
// job's service is the IGS one, dayConnections (the day's own) are used.
// Succeeds when the file arrived.
Result IgsNavigation(FtpSession* session, ServiceConnections* dayConnections, DayFiles* job) {
  ServiceRecord* igs = FindService("IGS");
  if (igs == nullptr) return Result::Failure(nullptr, "IGS not found in service list");
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

// The remote path (first choice) of the job's sub-daily file index; fails
// when the template does not expand (its heading sent).
Result SubDailyChoices(const DayFiles& job, int32_t index, const char* pathTemplate,
                       PathChoices* choices) {
  return ExpandSubDailyChoices(SubDailyFileStart(job, index), pathTemplate, job.station->sName,
                               StationLongName(job.station), choices);
}

// Fetches the sub-daily files of kind (from pathTemplate) that cover the
// job's window on its day, each over connections (one per address for the
// whole day). When some arrived, each one that did not is reported as
// skipped; when none did, nothing is reported (the day is served otherwise
// or fails). kBadTemplate: the template does not expand (its heading sent);
// kStopped: a stop or a local failure (a full disk) ended the fetching.
// *failure: why the last file that did not arrive failed.
SubDailyFetched FetchSubDailyFiles(ServiceConnections* connections, DayFiles* job, int32_t kind,
                                   const char* pathTemplate, Result* failure) {
  ChooseSubDailyFiles(job, kind);
  int32_t arrived = 0;
  for (int32_t i = 0; i < job->subDailyCount; ++i) {
    PathChoices choices;
    // A template that does not expand fails alike for every file.
    Result expanded = SubDailyChoices(*job, i, pathTemplate, &choices);
    if (!expanded.ok) {
      *failure = expanded;
      return SubDailyFetched::kBadTemplate;
    }
    char local[kDayNameSize];
    SubDailyLocalName(*job, i, local, nullptr);
    FileChoices file[] = {{&choices, nullptr, local, kContextObservation}};
    int which = 0;
    int32_t address = 0;
    Fetched fetched = FetchFromAddresses(connections, file, 1, &which, &address, failure);
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
    if (job->subDailyArrived[i] != 0 || !SubDailyChoices(*job, i, pathTemplate, &choices).ok)
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
                               PathChoices* observation, PathChoices* compact, bool withCompact,
                               Result* failure) {
  FileChoices observationFiles[] = {
      {observation, job->remoteObs, job->localObs, kContextObservation},
      {compact, job->remoteCompact, job->localCompact, kContextCompact}};
  int file = 0;
  int32_t address = 0;
  Fetched fetched = FetchFromAddresses(connections, observationFiles, withCompact ? 2 : 1, &file,
                                       &address, failure);
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
// else its hourly files. Fails when none arrived.
Result FetchDayObservations(ServiceConnections* connections, DayFiles* job,
                            PathChoices* observation, PathChoices* compact, bool withCompact) {
  Result failure;
  const ServiceRecord* service = job->service;
  const char* quarter = ServiceSubDailyTemplate(service, SubDailyTemplate::kQuarterHourly);
  const char* hourly = ServiceSubDailyTemplate(service, SubDailyTemplate::kHourly);
  job->subDailyKind = kDailyFile;
  job->subDailyCount = 0;
  if (job->interval > 0 && job->interval < 30 && quarter[0] != '\0') {
    SubDailyFetched got =
        FetchSubDailyFiles(connections, job, kQuarterHourFiles, quarter, &failure);
    if (got == SubDailyFetched::kSome) {
      job->compactUsed = 0;
      return Result::Success();
    }
    if (got == SubDailyFetched::kStopped) return failure;
    if (got == SubDailyFetched::kNone)
      TransferSend(STATUS_TEXT, "No 15-minute file arrived: trying the daily file");
    job->subDailyKind = kDailyFile;
    job->subDailyCount = 0;
  }
  Fetched fetched =
      FetchDailyObservations(connections, job, observation, compact, withCompact, &failure);
  if (fetched == Fetched::kArrived) return Result::Success();
  if (fetched != Fetched::kFailed || hourly[0] == '\0') return failure;
  TransferSend(STATUS_TEXT, "No daily observation file: trying the hourly files");
  SubDailyFetched got = FetchSubDailyFiles(connections, job, kHourlyFiles, hourly, &failure);
  if (got == SubDailyFetched::kSome) {
    job->compactUsed = 0;
    return Result::Success();
  }
  if (got == SubDailyFetched::kNone &&
      FailureCause(connections->internet()) == ERROR_INTERNET_ITEM_NOT_FOUND)
    return Result::Failure(nullptr,
                           "Error unable to download file %s or any of its hourly files.\n    "
                           "the files do not exist on the FTP server",
                           job->localObs);
  return failure;
}

}  // namespace

Result GetFile(const TransferLink& link, HINTERNET* connection, const char* remotePath,
               const char* localPath, DWORD_PTR context) {
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
    BOOL requested =
        link.internet->FtpGetFileA(*connection, remotePath, localPath, 0, FILE_ATTRIBUTE_NORMAL,
                                   FTP_TRANSFER_TYPE_BINARY, context);
    int systemError = platform::LastSystemError();
    if (requested) {
      // A library may answer an asynchronous request with success at once
      // and still carry it out on its own thread, its completion following
      // (Wine's wininet does). The file is there only after that completion.
      answeredAtOnce = !LibraryStillWorking(kLateCompletionQuietMs, *link.stop);
      arrived = answeredAtOnce;
    } else if (systemError == ERROR_IO_PENDING) {
      answeredAtOnce = false;
    } else {
      error = static_cast<uint32_t>(systemError);
    }
  }

  if (!answeredAtOnce) {
    if (WaitForCompletion(Transfer.completions, 0, *link.stop) == kWaitStopped) {
      Transfer.transferStart = 0;
      // Closing cancels the transfer and waits for the library's thread, so
      // no progress report shares the module's record with the heading.
      CloseInternetHandleOnce(*link.internet, connection);
      TransferError("Program Stopped in GetFile");
      return Result::Failure(nullptr, "FTPGETFILE ended at the user's request");
    }
    arrived = Transfer.result.load() != 0;
    error = Transfer.lastError.load();
  }
  Transfer.transferStart = 0;
  if (arrived) {
    TransferSend(STATUS_TEXT, "File Downloaded");
    return Result::Success();
  }

  // The cause stays readable for the retry and mirror decisions.
  Transfer.lastError = error;
  TransferError("Error in GetFile");
  return TransferFailure(error, *connection, localPath != nullptr ? localPath : "");
}

Result DownloadDay(const TransferLink& link, DayFiles* job) {
  if (job == nullptr || job->station == nullptr || job->service == nullptr)
    return Result::Failure(nullptr, "Error no station or service given for the download");
  Result step = BindInternetLibraryNamed(DayInternetLibrary(job->service), link.internet);
  if (!step.ok) return step;
  TransferChannelScope channel;
  job->day.ComputeFromSeconds();
  step = BuildDayFileNames(job);
  if (!step.ok) return step;
  // The alternatives of each template (BuildDayFileNames has expanded them
  // once already, so these expansions succeed and report nothing).
  ServiceRecord* service = job->service;
  PathChoices observation, compact, navigation;
  step = DayPathChoices(*job, service->oFile, &observation);
  if (step.ok) step = DayPathChoices(*job, service->nFile, &navigation);
  if (!step.ok) return step;
  bool withCompact = service->hasDFile == 1 && DayPathChoices(*job, service->dFile, &compact).ok;
  TransferSend(STATUS_TEXT, "FTP Starting");

  FtpSession session(link);
  SessionCloser closer(&session);
  step = OpenInternetSession(&session);
  if (!step.ok) return step;
  ServiceConnections connections(&session, service, job->userName, job->password);
  connections.BorrowFirst(&session.connection);

  step = FetchDayObservations(&connections, job, &observation, &compact, withCompact);
  if (!step.ok) return step;

  // The daily navigation file, else the service's file of a day not yet
  // closed (rebuilt through the day), else the IGS service's.
  PathChoices rolling;
  const char* rollingTemplate =
      ServiceSubDailyTemplate(service, SubDailyTemplate::kRollingNavigation);
  bool withRolling =
      rollingTemplate[0] != '\0' && DayPathChoices(*job, rollingTemplate, &rolling).ok;
  FileChoices navigationFiles[] = {
      {&navigation, job->remoteNav, job->localNav, kContextNavigation},
      {&rolling, job->remoteNav, job->localNav, kContextNavigation}};
  int file = 0;
  int32_t address = 0;
  Fetched fetched = FetchFromAddresses(&connections, navigationFiles, withRolling ? 2 : 1, &file,
                                       &address, &step);
  if (fetched == Fetched::kArrived) return Result::Success();
  if (fetched != Fetched::kFailed) return step;
  TransferSend(STATUS_TEXT, "Unable to get NAV File will now try getting igs auto NAV file");
  return IgsNavigation(&session, &connections, job);
}

Result GetIgsNavFile(FtpSession* session, HINTERNET* connection, DayFiles* job) {
  ServiceConnections connections(session, job->service, job->userName, job->password);
  connections.BorrowFirst(connection);
  return IgsNavigation(session, &connections, job);
}

Result DownloadCatalogueFile(const TransferLink& link, const char* localPath) {
  Result step = BindInternetLibraryFor(catalogueServer, link.internet);
  if (!step.ok) return step;
  TransferChannelScope channel;
  TransferSend(STATUS_TEXT, "FTP Starting");
  FtpSession session(link);
  SessionCloser closer(&session);
  step = OpenInternetSession(&session);
  if (step.ok)
    step = FTPConnect(&session, catalogueServer, &session.connection, kCatalogueUser,
                      kCataloguePassword);
  // The name is relative to the account's login directory.
  if (step.ok)
    step = GetFile(link, &session.connection, "manufact.dwn", localPath, kContextCatalogue);
  return step;
}

const char* CatalogueServer() { return catalogueServer; }

void SetCatalogueServerForTesting(const char* host) {
  CopyText(catalogueServer, sizeof catalogueServer,
           host != nullptr ? host : STANVEX_CATALOGUE_SERVER);
}

Result FetchCatalogueFile(const TransferLink& link, const char* directory) {
  char name[kPathSize] = "manufact.dwn";
  // JoinPath may add a separator to the directory: work on a copy, never on
  // the host's buffer.
  char folder[2 * kPathSize];
  CopyText(folder, sizeof folder, directory);
  Result joined = JoinPath(folder, name);
  if (!joined.ok) return joined;
  return DownloadCatalogueFile(link, name);
}

}  // namespace stanvex
