// The internet library, bound by name at run time, and the values its status
// handler shares with the requesting thread.
#ifndef STANVEX_TRANSFER_INTERNET_BINDING_H
#define STANVEX_TRANSFER_INTERNET_BINDING_H

#include <atomic>
#include <cstdint>

#include "base/request_state.h"
#include "base/result.h"
#include "base/status_channel.h"
#include "platform/platform.h"
#include "wininet_api.h"

namespace stanvex {

// The library's module and its five entry points, in binding order, and the
// optional FtpFindFirstFileA (null when the library has none: it cannot be
// asked whether a file exists). A binding is a plain copyable record: its
// library stays loaded for the life of the process once bound.
struct InternetBinding {
  platform::LibraryHandle module = nullptr;
  char name[16] = {};  // the Windows name it was bound by
  InternetOpenA_fn InternetOpenA = nullptr;
  InternetConnectA_fn InternetConnectA = nullptr;
  FtpGetFileA_fn FtpGetFileA = nullptr;
  InternetCloseHandle_fn InternetCloseHandle = nullptr;
  InternetSetStatusCallback_fn InternetSetStatusCallback = nullptr;
  FtpFindFirstFileA_fn FtpFindFirstFileA = nullptr;
};

// The process-wide binding the exports give their downloads.
extern InternetBinding Internet;

// What a download works through: the internet library binding and the stop
// count the host raises from another thread. Both outlive the download.
struct TransferLink {
  InternetBinding* internet;
  const std::atomic<int32_t>* stop;
  bool Stopped() const { return stop->load() != 0; }
};

// The library's own link (Internet, FtpStopCount), which the exports give.
inline TransferLink LibraryTransferLink() { return TransferLink{&Internet, &FtpStopCount}; }

// name: the Windows name ("wininet.dll"); binding: out. A binding that is
// already complete is kept. Fails (no heading) when the library cannot be
// loaded (kind kNotFound) or lacks one of the five entry points (the failure
// names the first missing one); a missing entry point releases the library
// and clears binding. Sends nothing.
Result BindInternetLibrary(const char* name, InternetBinding* binding);

// The Windows names of the internet libraries.
constexpr const char* kSystemInternetLibrary = "wininet.dll";
constexpr const char* kOwnInternetLibrary = "svinet.dll";

// The internet library that serves a service address. On Windows the
// system's wininet.dll serves bare hosts and ftp:// addresses; its FTP client
// speaks plain FTP only, so https://, ftps:// and file:// addresses go to our
// own svinet.dll. Elsewhere our library, under the system's name (mapped to
// libwininet.so), serves every address.
const char* InternetLibraryFor(const char* address);

// The library that serves every one of addresses (count of them; nulls are
// skipped): ours as soon as one address needs it, since ours serves plain
// FTP too and one session must reach a service's first address and all its
// mirrors; else the system's.
const char* InternetLibraryForAll(const char* const* addresses, int32_t count);

// InternetConnectA's flags for binding: STANVEX_FLAG_BEARER_TOKEN is our own
// library's, so the system's library on Windows (which reads no netrc file
// and logs in anonymously without a password) is never given it.
DWORD ConnectFlagsFor(const InternetBinding& binding, DWORD flags);

// Binds *into to the library named (one of the two names above), as
// BindInternetLibrary does (same results and texts). A binding to that
// library is kept; one to the other library is replaced, and both libraries
// stay loaded.
Result BindInternetLibraryNamed(const char* name, InternetBinding* into);

// BindInternetLibraryNamed(InternetLibraryFor(address), into).
Result BindInternetLibraryFor(const char* address, InternetBinding* into);

// Values shared between the requesting thread and the status handler, which
// runs on the internet library's thread. Each is one word written whole by
// one side.
struct TransferState {
  std::atomic<int32_t> completions{0};  // completion notifications since the request
  // Notifications of any kind since the request that came from a thread of
  // the library's own (never those it sends inside a call, on the caller's).
  std::atomic<int32_t> libraryThreadNotifications{0};
  // The result word of the last completion: the connection handle for a
  // connection (pointer-sized), non-zero for a transfer that succeeded.
  std::atomic<uintptr_t> result{0};
  // The error code that came with the last completion; the requesting
  // thread reads it after its wait instead of its own last error.
  std::atomic<uint32_t> lastError{0};
  std::atomic<uint32_t> bytesReceived{0};
  std::atomic<uint32_t> transferStart{0};  // tick of the transfer request, 0 when none
  // The transfer module's reporting channel; null skips the reports.
  std::atomic<StatusChannel*> channel{nullptr};
};

extern TransferState Transfer;

// Publishes a fresh reporting channel for one download and withdraws it at
// the end of the scope (after every handle of the download is closed).
class TransferChannelScope {
 public:
  TransferChannelScope() { Transfer.channel.store(&channel_); }
  ~TransferChannelScope() { Transfer.channel.store(nullptr); }
  TransferChannelScope(const TransferChannelScope&) = delete;
  TransferChannelScope& operator=(const TransferChannelScope&) = delete;

 private:
  StatusChannel channel_;
};

// Sends through the transfer module's channel, when there is one.
void TransferSend(int32_t code, const char* text = nullptr, int32_t value1 = 0, double real = 0.0);
void TransferError(const char* heading);

}  // namespace stanvex

#endif  // STANVEX_TRANSFER_INTERNET_BINDING_H
