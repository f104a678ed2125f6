#include "requests.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform_shim.h"

namespace stanvex::wininet {
namespace {

// The core gives a connection 90 seconds; our own limits are longer so that
// the caller's time-out is the one that applies.
constexpr long kConnectTimeoutSeconds = 120;
constexpr long kResponseTimeoutSeconds = 120;
// A data connection that delivers nothing for this long is dead.
constexpr long kStallSeconds = 600;

struct TransferContext {
  ConnectionObject* connection = nullptr;
  DWORD_PTR context = 0;
  bool report_replies = false;  // count server replies (login)
  int fd = -1;
  int write_errno = 0;
};

int AbortWhenCancelled(void* data, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  auto* transfer = static_cast<TransferContext*>(data);
  return transfer->connection->cancelled ? 1 : 0;
}

size_t OnReply(char*, size_t size, size_t count, void* data) {
  auto* transfer = static_cast<TransferContext*>(data);
  size_t bytes = size * count;
  if (transfer->report_replies && bytes > 0) {
    DWORD received = static_cast<DWORD>(bytes);
    Notify(*transfer->connection, transfer->context, INTERNET_STATUS_RESPONSE_RECEIVED, &received,
           sizeof received);
  }
  return bytes;
}

size_t OnData(char* buffer, size_t size, size_t count, void* data) {
  auto* transfer = static_cast<TransferContext*>(data);
  size_t bytes = size * count;
  size_t written = 0;
  while (written < bytes) {
    ssize_t n = ::write(transfer->fd, buffer + written, bytes - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      transfer->write_errno = n < 0 ? errno : ENOSPC;
      return 0;  // makes libcurl end the transfer with CURLE_WRITE_ERROR
    }
    written += static_cast<size_t>(n);
  }
  if (bytes > 0) {
    DWORD received = static_cast<DWORD>(bytes);
    Notify(*transfer->connection, transfer->context, INTERNET_STATUS_RESPONSE_RECEIVED, &received,
           sizeof received);
  }
  return bytes;
}

void ApplyCommonOptions(CURL* easy, ConnectionObject& connection, TransferContext* transfer) {
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, AbortWhenCancelled);
  curl_easy_setopt(easy, CURLOPT_XFERINFODATA, transfer);
  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, OnReply);
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, transfer);
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
  curl_easy_setopt(easy, CURLOPT_SERVER_RESPONSE_TIMEOUT, kResponseTimeoutSeconds);
  curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, kStallSeconds);
  // An empty proxy also keeps libcurl from taking one from the environment.
  curl_easy_setopt(easy, CURLOPT_PROXY, connection.proxy.c_str());
  ApplyPlatformTlsOptions(easy);
  switch (connection.address.scheme) {
    case Scheme::kFtp:
    case Scheme::kFtps:
      curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "ftp");
      curl_easy_setopt(easy, CURLOPT_USERNAME, connection.user.c_str());
      curl_easy_setopt(easy, CURLOPT_PASSWORD, connection.password.c_str());
      // One RETR with the whole path, as the path was given: a missing
      // directory then reads as a missing file (550), not as a refused CWD.
      curl_easy_setopt(easy, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_NOCWD));
      if (connection.address.scheme == Scheme::kFtps)
        curl_easy_setopt(easy, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
      break;
    case Scheme::kHttps:
      curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "https");
      curl_easy_setopt(easy, CURLOPT_FAILONERROR, 1L);
      curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
      curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 5L);
      curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "https");
      break;
    case Scheme::kFile:
      curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "file");
      break;
  }
}

// Points the easy handle's callbacks away from a finished request's frame:
// libcurl may still read replies (QUIT) when the handle is cleaned up.
void DetachCallbacks(CURL* easy) {
  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, nullptr);
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, nullptr);
  curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, nullptr);
  curl_easy_setopt(easy, CURLOPT_XFERINFODATA, nullptr);
  curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 1L);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, nullptr);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, nullptr);
}

// Longest wait between two turns of a request. curl_easy_perform sometimes
// sleeps a whole second before it opens a passive FTP data connection (its
// wait has no timer for that step); turns at least this often go on at once.
constexpr long kTurnMs = 20;

CURLcode MultiFailure(CURLMcode code) {
  return code == CURLM_OUT_OF_MEMORY ? CURLE_OUT_OF_MEMORY : CURLE_FAILED_INIT;
}

// Runs easy's request to its end on the connection's multi handle, which
// keeps the connection (and the FTP login) for the next request.
CURLcode Perform(ConnectionObject& connection, CURL* easy) {
  if (connection.multi == nullptr) connection.multi = curl_multi_init();
  if (connection.multi == nullptr) return CURLE_OUT_OF_MEMORY;
  CURLM* multi = connection.multi;
  CURLMcode added = curl_multi_add_handle(multi, easy);
  if (added != CURLM_OK) return MultiFailure(added);
  CURLcode result = CURLE_GOT_NOTHING;
  for (;;) {
    int running = 0;
    CURLMcode turned = curl_multi_perform(multi, &running);
    if (turned != CURLM_OK) {
      result = MultiFailure(turned);
      break;
    }
    bool done = false;
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
      if (message->msg == CURLMSG_DONE && message->easy_handle == easy) {
        result = message->data.result;
        done = true;
      }
    }
    if (done || running == 0) break;
    CURLMcode waited = curl_multi_poll(multi, nullptr, 0, kTurnMs, nullptr);
    if (waited != CURLM_OK) {
      result = MultiFailure(waited);
      break;
    }
  }
  curl_multi_remove_handle(multi, easy);
  return result;
}

long HttpStatus(CURL* easy) {
  long status = 0;
  curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
  return status;
}

}  // namespace

void Notify(ConnectionObject& connection, DWORD_PTR context, DWORD status, void* info,
            DWORD length) {
  if (connection.cancelled) return;
  INTERNET_STATUS_CALLBACK callback = connection.callback.load();
  if (callback == nullptr || callback == INTERNET_INVALID_STATUS_CALLBACK) return;
  callback(connection.handle, context, status, info, length);
}

DWORD WindowsErrorForErrno(int error) {
  switch (error) {
    case ENOSPC:
    case EFBIG:
    case EDQUOT:
      return ERROR_DISK_FULL;
    case ENOENT:
    case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
      return ERROR_ACCESS_DENIED;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    default:
      return ERROR_WRITE_FAULT;
  }
}

DWORD WindowsErrorFor(CURLcode code, long httpStatus, int writeErrno) {
  switch (code) {
    case CURLE_OK:
      return 0;
    case CURLE_REMOTE_FILE_NOT_FOUND:
    case CURLE_FILE_COULDNT_READ_FILE:
      return ERROR_INTERNET_ITEM_NOT_FOUND;
    case CURLE_HTTP_RETURNED_ERROR:
      return (httpStatus == 404 || httpStatus == 410) ? ERROR_INTERNET_ITEM_NOT_FOUND
                                                      : ERROR_INTERNET_EXTENDED_ERROR;
    case CURLE_WRITE_ERROR:
      return WindowsErrorForErrno(writeErrno);
    case CURLE_LOGIN_DENIED:
      return ERROR_INTERNET_INCORRECT_PASSWORD;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return ERROR_INTERNET_NAME_NOT_RESOLVED;
    case CURLE_COULDNT_CONNECT:
      return ERROR_INTERNET_CANNOT_CONNECT;
    case CURLE_OPERATION_TIMEDOUT:
      return ERROR_INTERNET_TIMEOUT;
    case CURLE_ABORTED_BY_CALLBACK:
      return ERROR_INTERNET_OPERATION_CANCELLED;
    case CURLE_PARTIAL_FILE:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_GOT_NOTHING:
      return ERROR_INTERNET_CONNECTION_ABORTED;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_USE_SSL_FAILED:
    case CURLE_SSL_CACERT_BADFILE:
      return ERROR_INTERNET_SECURITY_CHANNEL_ERROR;
    case CURLE_UNSUPPORTED_PROTOCOL:
      return ERROR_INTERNET_UNRECOGNIZED_SCHEME;
    case CURLE_URL_MALFORMAT:
      return ERROR_INTERNET_INVALID_URL;
    case CURLE_OUT_OF_MEMORY:
      return ERROR_NOT_ENOUGH_MEMORY;
    default:
      return ERROR_INTERNET_EXTENDED_ERROR;
  }
}

RequestOutcome RunConnect(ConnectionObject& connection, DWORD_PTR context) {
  RequestOutcome outcome;
  TransferContext transfer;
  transfer.connection = &connection;
  transfer.context = context;
  transfer.report_replies = true;
  CURLcode code = CURLE_OK;
  long status = 0;
  switch (connection.address.scheme) {
    case Scheme::kFtp:
    case Scheme::kFtps: {
      std::lock_guard<std::mutex> lock(connection.request_mutex);
      if (connection.easy == nullptr) connection.easy = curl_easy_init();
      if (connection.easy == nullptr) {
        outcome.error = ERROR_NOT_ENOUGH_MEMORY;
        return outcome;
      }
    }
      ApplyCommonOptions(connection.easy, connection, &transfer);
      curl_easy_setopt(connection.easy, CURLOPT_URL, (connection.address.base + "/").c_str());
      curl_easy_setopt(connection.easy, CURLOPT_NOBODY, 1L);
      code = Perform(connection, connection.easy);
      DetachCallbacks(connection.easy);
      break;
    case Scheme::kHttps: {
      CURL* easy = curl_easy_init();
      if (easy == nullptr) {
        outcome.error = ERROR_NOT_ENOUGH_MEMORY;
        return outcome;
      }
      ApplyCommonOptions(easy, connection, &transfer);
      curl_easy_setopt(easy, CURLOPT_URL, connection.address.base.c_str());
      curl_easy_setopt(easy, CURLOPT_CONNECT_ONLY, 1L);
      code = curl_easy_perform(easy);
      curl_easy_cleanup(easy);
      break;
    }
    case Scheme::kFile: {
      std::string directory =
          LocalPathOfFileUrl(connection.address.base.substr(std::string("file://").size()));
      struct stat info;
      if (::stat(directory.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        outcome.error = ERROR_INTERNET_CANNOT_CONNECT;
        return outcome;
      }
      break;
    }
  }
  if (code != CURLE_OK) {
    outcome.error = WindowsErrorFor(code, status, 0);
    return outcome;
  }
  outcome.result = reinterpret_cast<DWORD_PTR>(connection.handle);
  return outcome;
}

RequestOutcome RunGetFile(ConnectionObject& connection, const std::string& remotePath,
                          const std::string& localPath, bool ascii, DWORD_PTR context) {
  RequestOutcome outcome;
  TransferContext transfer;
  transfer.connection = &connection;
  transfer.context = context;

  // Written beside the target and renamed at the end, so that a transfer cut
  // short never leaves a partial file under the final name.
  std::string partial = localPath + ".part";
  transfer.fd = ::open(partial.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (transfer.fd < 0) {
    outcome.error = WindowsErrorForErrno(errno);
    return outcome;
  }

  if (connection.easy == nullptr) connection.easy = curl_easy_init();
  CURL* easy = connection.easy;
  CURLcode code = CURLE_OUT_OF_MEMORY;
  long status = 0;
  if (easy != nullptr) {
    ApplyCommonOptions(easy, connection, &transfer);
    std::string url = RemoteUrl(connection.address, remotePath.c_str());
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_NOBODY, 0L);
    curl_easy_setopt(easy, CURLOPT_TRANSFERTEXT, ascii ? 1L : 0L);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, OnData);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer);
    code = Perform(connection, easy);
    status = HttpStatus(easy);
    DetachCallbacks(easy);
  }
  if (::close(transfer.fd) != 0 && code == CURLE_OK) {
    code = CURLE_WRITE_ERROR;
    transfer.write_errno = errno;
  }
  if (code == CURLE_OK && ReplaceFileByRename(partial.c_str(), localPath.c_str()) != 0) {
    outcome.error = WindowsErrorForErrno(errno);
    ::unlink(partial.c_str());
    return outcome;
  }
  if (code != CURLE_OK) {
    ::unlink(partial.c_str());
    outcome.error = WindowsErrorFor(code, status, transfer.write_errno);
    return outcome;
  }
  outcome.result = 1;
  return outcome;
}

}  // namespace stanvex::wininet
