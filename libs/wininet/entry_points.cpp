// The exported entry points: the five the core needs and FtpFindFirstFileA,
// which it may do without. Every failure sets the calling thread's last error (errno) to a Windows
// error code; asynchronous requests return "pending" and report through the
// status handler from their own thread.
#include <cerrno>
#include <cstring>
#include <mutex>

#include "bearer_token.h"
#include "handles.h"
#include "platform_shim.h"
#include "requests.h"

using namespace stanvex::wininet;

namespace {

template <typename T>
T Fail(DWORD error, T value) {
  SetLastErrorCode(error);
  return value;
}

std::shared_ptr<SessionObject> FindSession(HINTERNET handle) {
  auto object = HandleTable::Instance().Find(handle);
  if (!object || object->kind != InternetObject::Kind::kSession) return nullptr;
  return std::static_pointer_cast<SessionObject>(object);
}

std::shared_ptr<ConnectionObject> FindConnection(HINTERNET handle) {
  auto object = HandleTable::Instance().Find(handle);
  if (!object || object->kind != InternetObject::Kind::kConnection) return nullptr;
  return std::static_pointer_cast<ConnectionObject>(object);
}

// Marks the connection busy and ends its previous request thread. False when
// a request is still running.
bool BeginRequest(ConnectionObject& connection) {
  {
    std::lock_guard<std::mutex> lock(connection.requestMutex);
    if (connection.busy) return false;
    connection.busy = true;
  }
  connection.EndWorker();
  return true;
}

void EndRequest(ConnectionObject& connection) {
  std::lock_guard<std::mutex> lock(connection.requestMutex);
  connection.busy = false;
}

void Complete(ConnectionObject& connection, DWORD_PTR context, const RequestOutcome& outcome) {
  INTERNET_ASYNC_RESULT result;
  result.dwResult = outcome.result;
  result.dwError = outcome.error;
  Notify(connection, context, INTERNET_STATUS_REQUEST_COMPLETE, &result, sizeof result);
}

// A connection whose synchronous login failed is discarded: its handle was
// never given to the caller. (An asynchronous one stays among the session's
// children until the session closes; see InternetConnectA.)
void Discard(ConnectionObject& connection) {
  HandleTable::Instance().Remove(connection.handle);
  if (connection.session) {
    std::lock_guard<std::mutex> lock(connection.session->childrenMutex);
    auto& children = connection.session->children;
    for (auto it = children.begin(); it != children.end(); ++it) {
      if (*it == connection.handle) {
        children.erase(it);
        break;
      }
    }
  }
}

// Fills the caller's find data for a file of size bytes (-1: unknown) at
// remotePath.
void FillFindData(const std::string& remotePath, long long size, WIN32_FIND_DATAA* data) {
  std::memset(data, 0, sizeof *data);
  data->dwFileAttributes = FILE_ATTRIBUTE_NORMAL;
  const unsigned long long bytes = static_cast<unsigned long long>(size);
  data->nFileSizeHigh = size < 0 ? STANVEX_SIZE_UNKNOWN : static_cast<DWORD>(bytes >> 32);
  data->nFileSizeLow = size < 0 ? STANVEX_SIZE_UNKNOWN : static_cast<DWORD>(bytes & 0xFFFFFFFFu);
  const size_t slash = remotePath.find_last_of('/');
  const std::string name = slash == std::string::npos ? remotePath : remotePath.substr(slash + 1);
  std::strncpy(data->cFileName, name.c_str(), sizeof data->cFileName - 1);
}

// The find handle of a successful search, or 0 (no memory).
DWORD_PTR FindHandle() {
  return reinterpret_cast<DWORD_PTR>(HandleTable::Instance().Add(std::make_shared<FindObject>()));
}

}  // namespace

extern "C" {

WININET_API HINTERNET WININET_CALL InternetOpenA(const char* lpszAgent, DWORD dwAccessType,
                                                 const char* lpszProxy, const char*,
                                                 DWORD dwFlags) {
  static std::once_flag curlReady;
  static bool curlOk = false;
  std::call_once(curlReady, [] { curlOk = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; });
  if (!curlOk) return Fail<HINTERNET>(ERROR_INTERNET_INTERNAL_ERROR, nullptr);
  (void)lpszAgent;
  auto session = std::make_shared<SessionObject>();
  session->async = (dwFlags & INTERNET_FLAG_ASYNC) != 0;
  if (dwAccessType == INTERNET_OPEN_TYPE_PROXY)
    session->proxy = GatewayProxy(lpszProxy, HostsFilePath());
  return HandleTable::Instance().Add(session);
}

WININET_API INTERNET_STATUS_CALLBACK WININET_CALL
InternetSetStatusCallback(HINTERNET hInternet, INTERNET_STATUS_CALLBACK lpfnInternetCallback) {
  auto object = HandleTable::Instance().Find(hInternet);
  if (!object) return Fail(ERROR_INVALID_HANDLE, INTERNET_INVALID_STATUS_CALLBACK);
  return object->callback.exchange(lpfnInternetCallback);
}

WININET_API HINTERNET WININET_CALL InternetConnectA(HINTERNET hInternet, const char* lpszServerName,
                                                    INTERNET_PORT nServerPort,
                                                    const char* lpszUserName,
                                                    const char* lpszPassword, DWORD dwService,
                                                    DWORD dwFlags, DWORD_PTR dwContext) {
  auto session = FindSession(hInternet);
  if (!session) return Fail<HINTERNET>(ERROR_INVALID_HANDLE, nullptr);
  if (dwService != INTERNET_SERVICE_FTP) return Fail<HINTERNET>(ERROR_INVALID_PARAMETER, nullptr);
  auto connection = std::make_shared<ConnectionObject>();
  DWORD error = ParseServerAddress(lpszServerName, nServerPort, &connection->address);
  if (error != 0) return Fail<HINTERNET>(error, nullptr);
  connection->session = session;
  connection->proxy = session->proxy;
  connection->user = lpszUserName != nullptr ? lpszUserName : "anonymous";
  connection->password = lpszPassword != nullptr ? lpszPassword : "anonymous@";
  connection->passwordGiven = lpszPassword != nullptr;
  TakeBearerFlag(dwFlags, connection.get());
  connection->connectContext = dwContext;
  connection->callback = session->callback.load();
  HINTERNET handle = HandleTable::Instance().Add(connection);
  {
    std::lock_guard<std::mutex> lock(session->childrenMutex);
    session->children.push_back(handle);
  }
  BeginRequest(*connection);

  if (!session->async) {
    RequestOutcome outcome = RunConnect(*connection, dwContext);
    EndRequest(*connection);
    if (outcome.result == 0) {
      Discard(*connection);
      return Fail<HINTERNET>(outcome.error, nullptr);
    }
    return handle;
  }

  std::lock_guard<std::mutex> lock(connection->requestMutex);
  connection->worker = std::thread([connection, dwContext] {
    RequestOutcome outcome = RunConnect(*connection, dwContext);
    // A failed login's sockets are closed before the caller hears of it. The
    // handle stays among the session's children, never given out, so that
    // closing the session waits for this thread.
    if (outcome.result == 0) connection->CloseTransfer();
    EndRequest(*connection);
    Complete(*connection, dwContext, outcome);
  });
  return Fail<HINTERNET>(ERROR_IO_PENDING, nullptr);
}

WININET_API BOOL WININET_CALL FtpGetFileA(HINTERNET hConnect, const char* lpszRemoteFile,
                                          const char* lpszNewFile, BOOL fFailIfExists, DWORD,
                                          DWORD dwFlags, DWORD_PTR dwContext) {
  auto connection = FindConnection(hConnect);
  if (!connection) {
    if (HandleTable::Instance().Find(hConnect))
      return Fail<BOOL>(ERROR_INTERNET_INCORRECT_HANDLE_TYPE, 0);
    return Fail<BOOL>(ERROR_INVALID_HANDLE, 0);
  }
  if (lpszRemoteFile == nullptr || lpszRemoteFile[0] == '\0' || lpszNewFile == nullptr ||
      lpszNewFile[0] == '\0')
    return Fail<BOOL>(ERROR_INVALID_PARAMETER, 0);
  std::string remote(lpszRemoteFile);
  std::string local(lpszNewFile);
  if (fFailIfExists) {
    FILE* existing = std::fopen(local.c_str(), "rb");
    if (existing != nullptr) {
      std::fclose(existing);
      return Fail<BOOL>(ERROR_FILE_EXISTS, 0);
    }
  }
  bool ascii = (dwFlags & 3u) == FTP_TRANSFER_TYPE_ASCII;
  if (!BeginRequest(*connection)) return Fail<BOOL>(ERROR_FTP_TRANSFER_IN_PROGRESS, 0);

  if (!connection->session || !connection->session->async) {
    RequestOutcome outcome = RunGetFile(*connection, remote, local, ascii, dwContext);
    EndRequest(*connection);
    if (outcome.result == 0) return Fail<BOOL>(outcome.error, 0);
    return 1;
  }

  std::lock_guard<std::mutex> lock(connection->requestMutex);
  connection->worker = std::thread([connection, remote, local, ascii, dwContext] {
    RequestOutcome outcome = RunGetFile(*connection, remote, local, ascii, dwContext);
    EndRequest(*connection);
    Complete(*connection, dwContext, outcome);
  });
  return Fail<BOOL>(ERROR_IO_PENDING, 0);
}

WININET_API HINTERNET WININET_CALL FtpFindFirstFileA(HINTERNET hConnect,
                                                     const char* lpszSearchFile,
                                                     LPWIN32_FIND_DATAA lpFindFileData, DWORD,
                                                     DWORD_PTR dwContext) {
  auto connection = FindConnection(hConnect);
  if (!connection) return Fail<HINTERNET>(ERROR_INVALID_HANDLE, nullptr);
  if (lpszSearchFile == nullptr || lpszSearchFile[0] == '\0' || lpFindFileData == nullptr)
    return Fail<HINTERNET>(ERROR_INVALID_PARAMETER, nullptr);
  std::string remote(lpszSearchFile);
  if (!BeginRequest(*connection)) return Fail<HINTERNET>(ERROR_FTP_TRANSFER_IN_PROGRESS, nullptr);
  auto find = [connection, remote, lpFindFileData, dwContext]() {
    long long size = -1;
    RequestOutcome outcome = RunFindFile(*connection, remote, &size, dwContext);
    if (outcome.result != 0) {
      FillFindData(remote, size, lpFindFileData);
      outcome.result = FindHandle();
      if (outcome.result == 0) outcome.error = ERROR_NOT_ENOUGH_MEMORY;
    }
    EndRequest(*connection);
    return outcome;
  };

  if (!connection->session || !connection->session->async) {
    RequestOutcome outcome = find();
    if (outcome.result == 0) return Fail<HINTERNET>(outcome.error, nullptr);
    return reinterpret_cast<HINTERNET>(outcome.result);
  }
  std::lock_guard<std::mutex> lock(connection->requestMutex);
  connection->worker = std::thread([connection, find, dwContext] {
    RequestOutcome outcome = find();
    Complete(*connection, dwContext, outcome);
  });
  return Fail<HINTERNET>(ERROR_IO_PENDING, nullptr);
}

WININET_API BOOL WININET_CALL InternetCloseHandle(HINTERNET hInternet) {
  if (!CloseInternetHandle(hInternet)) return Fail<BOOL>(ERROR_INVALID_HANDLE, 0);
  return 1;
}

}  // extern "C"
