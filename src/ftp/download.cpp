#include "ftp/download.h"

#include <cstring>

#include "api/library_state.h"
#include "api/paths.h"
#include "catalogue/catalogue.h"
#include "ftp/file_names.h"
#include "ftp/transfer_errors.h"

namespace stanvex {
namespace {

constexpr const char* kIgsFallbackTemplate = "/pub/rinex/<YYYY>/<JJJ>/<XXXX><JJJ>0.<yy>n.Z";
constexpr const char* kIgsStation = "auto";
constexpr const char* kCatalogueUser = "download";
constexpr const char* kCataloguePassword = "getfiles5308";

char catalogue_server[128] = STANVEX_CATALOGUE_SERVER;

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

// Tries the IGS service's navigation template, then the fixed fallback, over
// connection. A template that does not expand is a failed attempt. A stop
// (connection closed) ends the attempts at once and keeps its text.
int FetchIgsNavigation(HINTERNET* connection, const ServiceRecord* igs, DayJob* job,
                       DWORD_PTR context) {
  const char* templates[] = {igs->nFile, kIgsFallbackTemplate};
  char path[kTemplateSize] = {};
  for (const char* path_template : templates) {
    std::memset(path, 0, sizeof path);
    if (InterprutFileFormat(job->day, path, path_template, kIgsStation)) {
      if (GetFile(connection, path, job->localNav, context)) return 1;
      if (*connection == nullptr) return 0;
    }
  }
  SetLastErrorText("Error unable to Download File %s. The file may not exist for that time period",
                   path);
  return 0;
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
  bool answered_at_once = true;
  bool arrived = false;
  uint32_t error = ERROR_INVALID_HANDLE;
  if (*connection != nullptr) {
    BOOL requested = Internet.FtpGetFileA(*connection, remotePath, localPath, 0,
                                          FILE_ATTRIBUTE_NORMAL, FTP_TRANSFER_TYPE_BINARY, context);
    int system_error = platform::LastSystemError();
    if (requested) {
      // A library may answer an asynchronous request with success at once
      // and still carry it out on its own thread, its completion following
      // (Wine's wininet does). The file is there only after that completion.
      answered_at_once = !LibraryStillWorking(kLateCompletionQuietMs);
      arrived = answered_at_once;
    } else if (system_error == ERROR_IO_PENDING) {
      answered_at_once = false;
    } else {
      error = static_cast<uint32_t>(system_error);
    }
  }

  if (!answered_at_once) {
    if (WaitForCompletion(Transfer.completions, 0) == 2) {
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

  TransferError("Error in GetFile");
  const char* path = localPath != nullptr ? localPath : "";
  if (error == ERROR_INTERNET_ITEM_NOT_FOUND) {
    SetLastErrorText(
        "Error unable to download file %s.\n    the file does not exist on the FTP server", path);
  } else if (error == ERROR_DISK_FULL) {
    SetLastErrorText("Error disk full!");
  } else if (!SetTransferFailureText(error, *connection, path)) {
    SetLastErrorText("Error unable to download file %s.\n    The file may not exist for that day",
                     path);
  }
  return 0;
}

int DownloadDay(DayJob* job) {
  if (job == nullptr || job->station == nullptr || job->service == nullptr) {
    SetLastErrorText("Error no station or service given for the download");
    return 0;
  }
  if (BindInternetLibraryFor(job->service->ftpAd) != 0) return 0;
  TransferChannelScope channel;
  job->day.ComputeFromSeconds();
  if (!BuildDayFileNames(job)) return 0;
  TransferSend(STATUS_TEXT, "FTP Starting");

  ServiceRecord* service = job->service;
  FtpSession session;
  SessionCloser closer(&session);
  if (!OpenInternetSession(&session)) return 0;
  if (!FTPConnect(&session, service->ftpAd, &session.connection, job->userName, job->password))
    return 0;

  if (GetFile(&session.connection, job->remoteObs, job->localObs, kContextObservation)) {
    job->compactUsed = 0;
    char text[kTextSize];
    CopyText(text, sizeof text, "Finished Downloading File: ");
    AppendText(text, sizeof text, job->localObs);
    TransferSend(STATUS_TEXT, text);
  } else {
    // A stop closed the connection: nothing more is tried.
    if (session.connection == nullptr) return 0;
    if (service->hasDFile == 0) return 0;
    int fetched =
        GetFile(&session.connection, job->remoteCompact, job->localCompact, kContextCompact);
    job->compactUsed = 1;
    if (!fetched) return 0;
  }

  if (!GetFile(&session.connection, job->remoteNav, job->localNav, kContextNavigation)) {
    if (session.connection == nullptr) return 0;
    TransferSend(STATUS_TEXT, "Unable to get NAV File will now try getting igs auto NAV file");
    if (!GetIgsNavFile(&session, &session.connection, job)) return 0;
  }
  return 1;
}

int GetIgsNavFile(FtpSession* session, HINTERNET* connection, DayJob* job) {
  ServiceRecord* igs = FindService("IGS");
  if (igs == nullptr) {
    SetLastErrorText("IGS not found in service list");
    return 0;
  }
  if (IsIgs(job->service->ServId))
    return FetchIgsNavigation(connection, igs, job, kContextIgsSameConnection);

  char type[kDayJobTypeSize] = {};
  std::memcpy(type, igs->Ftype, strnlen(igs->Ftype, kDayJobTypeSize - 1));
  std::memcpy(job->navType, type, sizeof type);
  HINTERNET igs_connection = nullptr;
  // The job's login belongs to the station's service: the IGS server is a
  // third party and is logged in to anonymously (an account written into the
  // IGS service's own address is still used by the internet library).
  if (!FTPConnect(session, igs->ftpAd, &igs_connection, nullptr, nullptr)) {
    SetLastErrorText("Failed to connect to IGS site%s", job->localNav);
    return 0;
  }
  int fetched = FetchIgsNavigation(&igs_connection, igs, job, kContextIgsOwnConnection);
  CloseInternetHandleOnce(&igs_connection);
  return fetched;
}

int DownloadCatalogueFile(const char* localPath) {
  if (BindInternetLibraryFor(catalogue_server) != 0) return -1;
  TransferChannelScope channel;
  TransferSend(STATUS_TEXT, "FTP Starting");
  FtpSession session;
  SessionCloser closer(&session);
  if (!OpenInternetSession(&session)) return -1;
  if (!FTPConnect(&session, catalogue_server, &session.connection, kCatalogueUser,
                  kCataloguePassword))
    return -1;
  // The name is relative to the account's login directory.
  if (!GetFile(&session.connection, "manufact.dwn", localPath, kContextCatalogue)) return -1;
  return 0;
}

const char* CatalogueServer() { return catalogue_server; }

void SetCatalogueServerForTesting(const char* host) {
  CopyText(catalogue_server, sizeof catalogue_server,
           host != nullptr ? host : STANVEX_CATALOGUE_SERVER);
}

}  // namespace stanvex

extern "C" STANVEX_API int32_t STANVEX_CALL iGetManfactFile(char* directory) {
  using namespace stanvex;
  if (directory == nullptr) {
    SetLastErrorText("Error: the directory (null) does not exist");
    return -1;
  }
  char name[kPathSize] = "manufact.dwn";
  // JoinPath may add a separator to the directory: work on a copy, never on
  // the host's buffer.
  char folder[2 * kPathSize];
  CopyText(folder, sizeof folder, directory);
  if (JoinPath(folder, name) != 0) return -1;
  return DownloadCatalogueFile(name) == 0 ? 0 : -1;
}
