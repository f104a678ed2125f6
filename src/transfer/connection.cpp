#include "transfer/connection.h"

#include <cstring>

#include "base/request_state.h"
#include "base/text.h"
#include "platform/platform.h"
#include "transfer/transfer_errors.h"

namespace stanvex {

thread_local bool onRequestingThread = false;

void CloseInternetHandleOnce(const InternetBinding& internet, HINTERNET* handle) {
  if (*handle == nullptr) return;
  if (internet.InternetCloseHandle != nullptr) internet.InternetCloseHandle(*handle);
  *handle = nullptr;
}

Result OpenInternetSession(FtpSession* session) {
  // A gateway that does not resolve would fail every connection: go direct.
  const bool gateway = platform::GatewayHostResolves("ftp-gw");
  const InternetBinding& internet = *session->link.internet;
  session->session = internet.InternetOpenA(
      "Microsoft Internet Explorer", gateway ? INTERNET_OPEN_TYPE_PROXY : INTERNET_OPEN_TYPE_DIRECT,
      gateway ? "ftp-gw" : nullptr, nullptr, INTERNET_FLAG_ASYNC);
  if (session->session == nullptr) {
    TransferError("Error Opening Internet Connection");
    return Result::Failure(
        nullptr,
        "Error Connecting to the Internet. Check to Make sure you have an Internet Connection");
  }
  TransferSend(STATUS_TEXT, "Internet Connection Made");
  if (internet.InternetSetStatusCallback(session->session, InternetStatusHandler) ==
      INTERNET_INVALID_STATUS_CALLBACK) {
    TransferError("Error in FTP Initalize");
    return Result::Failure(nullptr, "Error Unable to create Internet Call Back.\n");
  }
  return Result::Success();
}

Result FTPConnect(FtpSession* session, const char* host, HINTERNET* connection, const char* user,
                  const char* password, DWORD flags) {
  const bool bearer = (flags & STANVEX_FLAG_BEARER_TOKEN) != 0;
  ResetTransferState();
  // A login written into the address never reaches a status text.
  char shown[kTextSize];
  AddressWithoutLogin(host, shown, sizeof shown);
  TransferSend(STATUS_CONNECTING, shown);
  if (user == nullptr) user = "anonymous";
  if (password == nullptr && !bearer) password = "anonymous@";

  const InternetBinding& internet = *session->link.internet;
  *connection = internet.InternetConnectA(session->session, host, 0, user, password,
                                          INTERNET_SERVICE_FTP, ConnectFlagsFor(internet, flags), 1);
  bool answeredAtOnce = false;
  if (*connection != nullptr) {
    // Connected without going asynchronous: no completion will follow.
    answeredAtOnce = true;
  } else {
    int error = platform::LastSystemError();
    if (error != ERROR_IO_PENDING) {
      // Refused at once: no completion will follow either.
      answeredAtOnce = true;
      Transfer.lastError = static_cast<uint32_t>(error);
    }
  }

  if (!answeredAtOnce) {
    WaitOutcome waited =
        WaitForCompletion(Transfer.completions, kConnectTimeoutMs, *session->link.stop);
    if (waited == kWaitStopped) {
      // The session is closed first: that ends the library's thread before
      // the heading goes through the module's record.
      CloseInternetHandleOnce(internet, &session->session);
      TransferError("Program Stopped in FTPConnect");
      return Result::Failure(nullptr, "User requested to shutdown.  Datacollator has been stopped");
    }
    if (waited == kWaitTimedOut) {
      CloseInternetHandleOnce(internet, &session->session);
      TransferError("Error in FTPConnect");
      return Result::Failure(nullptr,
                             "Error Unable to connect to FTP Server. The Server could be down or "
                             "you may not have an internet connection. FTP Server = %s",
                             shown);
    }
    *connection = reinterpret_cast<HINTERNET>(Transfer.result.load());
  }

  if (*connection != nullptr) {
    RememberConnectionHost(*connection, host, bearer);
    char text[kTextSize];
    CopyText(text, sizeof text, "Connected to FTP Server ");
    AppendText(text, sizeof text, shown);
    TransferSend(STATUS_TEXT, text);
    return Result::Success();
  }
  TransferError("Error in FTP Connect");
  return ConnectionFailure(Transfer.lastError.load(), host);
}

void ResetTransferState() {
  Transfer.completions = 0;
  Transfer.libraryThreadNotifications = 0;
  Transfer.result = 0;
  Transfer.lastError = 0;
  Transfer.bytesReceived = 0;
}

bool LibraryStillWorking(uint32_t quiet, const std::atomic<int32_t>& stop) {
  uint32_t start = platform::TickCount();
  while (Transfer.libraryThreadNotifications.load() == 0) {
    if (stop.load() != 0) return true;
    if (static_cast<uint32_t>(platform::TickCount() - start) > quiet) return false;
    platform::SleepMilliseconds(5);
  }
  return true;
}

WaitOutcome WaitForCompletion(const std::atomic<int32_t>& counter, uint32_t timeout,
                              const std::atomic<int32_t>& stop) {
  uint32_t start = platform::TickCount();
  while (counter.load() == 0) {
    platform::SleepMilliseconds(5);
    if (stop.load() != 0) return kWaitStopped;
    if (timeout != 0 && static_cast<uint32_t>(platform::TickCount() - start) > timeout)
      return kWaitTimedOut;
  }
  return kWaitCompleted;
}

void WININET_CALL InternetStatusHandler(HINTERNET, DWORD_PTR, DWORD status, LPVOID info,
                                        DWORD infoLength) {
  if (!onRequestingThread) Transfer.libraryThreadNotifications.fetch_add(1);
  if (status == INTERNET_STATUS_REQUEST_COMPLETE) {
    uintptr_t result = 0;
    uint32_t error = 0;
    if (info != nullptr && infoLength >= sizeof(DWORD_PTR)) {
      INTERNET_ASYNC_RESULT async{};
      std::memcpy(&async, info, infoLength < sizeof async ? infoLength : sizeof async);
      result = async.dwResult;
      error = async.dwError;
    }
    Transfer.result = result;
    Transfer.lastError = error;
    TransferSend(STATUS_FTP_REQUEST_DONE, nullptr, static_cast<int32_t>(result));
    Transfer.completions.fetch_add(1);
    return;
  }
  if (status == INTERNET_STATUS_RESPONSE_RECEIVED) {
    uint32_t bytes = 0;
    if (info != nullptr && infoLength >= sizeof(DWORD)) std::memcpy(&bytes, info, sizeof bytes);
    uint32_t total = Transfer.bytesReceived.fetch_add(bytes) + bytes;
    uint32_t start = Transfer.transferStart.load();
    if (start != 0) {
      uint32_t elapsed = platform::TickCount() - start;
      // No rate yet while the first millisecond has not passed.
      double rate = elapsed != 0 ? static_cast<double>(total) / elapsed * 0.9765625 : 0.0;
      TransferSend(STATUS_FTP_RECEIVED_RATE, nullptr, static_cast<int32_t>(total / 1024), rate);
    } else {
      TransferSend(STATUS_FTP_RECEIVED, nullptr, static_cast<int32_t>(total >> 10));
    }
  }
}

}  // namespace stanvex
