// The internet session, the FTP connection and the completion wait that
// every asynchronous request uses.
//
// Threads: everything here runs on the requesting thread except
// InternetStatusHandler, which the internet library calls on its own thread.
#ifndef STANVEX_TRANSFER_CONNECTION_H
#define STANVEX_TRANSFER_CONNECTION_H

#include <atomic>
#include <cstdint>

#include "base/result.h"
#include "transfer/internet_binding.h"

namespace stanvex {

// One download's handles. A handle is null when it is not open; every step
// that closes one sets it to null, so each is closed exactly once.
struct FtpSession {
  explicit FtpSession(const TransferLink& through) : link(through) {}
  TransferLink link;  // the binding and the stop count of the download
  HINTERNET session = nullptr;
  HINTERNET connection = nullptr;
};

// Closes *handle (of internet's library) when it is open and makes it null.
void CloseInternetHandleOnce(const InternetBinding& internet, HINTERNET* handle);

// Opens an asynchronous session (through the gateway "ftp-gw") into
// session->session and installs InternetStatusHandler on it. A failure's
// heading has been sent through the transfer channel; the Result carries its
// reason (and no heading).
Result OpenInternetSession(FtpSession* session);

// Connects to host over session->session into *connection; null user and
// password become "anonymous" / "anonymous@" (with STANVEX_FLAG_BEARER_TOKEN
// in flags, InternetConnectA's, a null password stays null: the library
// takes the host's netrc token). Waits up to 90 s. Fails as
// OpenInternetSession does. A stop or a time-out closes session->session.
Result FTPConnect(FtpSession* session, const char* host, HINTERNET* connection, const char* user,
                  const char* password, DWORD flags = 0);

// The outcomes of WaitForCompletion, by their numbers 0, 1 and 2.
enum WaitOutcome : int { kWaitCompleted = 0, kWaitTimedOut = 1, kWaitStopped = 2 };

// Waits until counter is non-zero (kWaitCompleted), stop is raised
// (kWaitStopped) or timeout milliseconds have passed (kWaitTimedOut; 0 means
// no time-out), polling every 5 ms.
WaitOutcome WaitForCompletion(const std::atomic<int32_t>& counter, uint32_t timeout,
                              const std::atomic<int32_t>& stop);

// The status handler installed on every session.
void WININET_CALL InternetStatusHandler(HINTERNET handle, DWORD_PTR context, DWORD status,
                                        LPVOID info, DWORD infoLength);

// Clears the values the status handler shares, before a connection or a
// transfer.
void ResetTransferState();

// Set on each thread that issues transfers (the library's own threads never
// do): the status handler tells a notification sent inside a call, on the
// caller's thread, from one sent from the library's own thread.
extern thread_local bool onRequestingThread;

// After a request was answered with success at once: true when the library
// shows it is still carrying the request out (a notification from its own
// thread since the request, or stop raised), false when it stayed silent
// for quiet milliseconds, which means the answer was final.
bool LibraryStillWorking(uint32_t quiet, const std::atomic<int32_t>& stop);

// How long a library that answered a transfer with success at once may stay
// silent before that answer counts as final.
constexpr uint32_t kLateCompletionQuietMs = 5000;

// Connection wait in milliseconds.
constexpr uint32_t kConnectTimeoutMs = 90000;

}  // namespace stanvex

#endif  // STANVEX_TRANSFER_CONNECTION_H
