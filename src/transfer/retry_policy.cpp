#include "transfer/retry_policy.h"

#include <atomic>

#include "platform/platform.h"
#include "wininet_api.h"

namespace stanvex {
namespace {

std::atomic<uint32_t> pause_divisor{1};

}  // namespace

bool IsTransientFailure(uint32_t error) {
  switch (error) {
    case ERROR_INTERNET_CANNOT_CONNECT:       // nothing listens, or refused
    case ERROR_INTERNET_CONNECTION_ABORTED:   // cut during the transfer
    case ERROR_INTERNET_TIMEOUT:              // no answer, or a stalled transfer
    case ERROR_INTERNET_SECURITY_CHANNEL_ERROR:  // TLS handshake cut
    case ERROR_INTERNET_EXTENDED_ERROR:       // FTP 4xx, HTTP 5xx
    case ERROR_INTERNET_NAME_NOT_RESOLVED:    // resolver hiccup
      return true;
    default:
      return false;
  }
}

bool IsLocalFileFailure(uint32_t error) {
  return error == ERROR_DISK_FULL || error == ERROR_WRITE_FAULT ||
         error == ERROR_PATH_NOT_FOUND;
}

uint32_t RetryPauseMs(int retry) {
  uint32_t pause = retry <= 1 ? 1000 : 4000;
  return pause / pause_divisor.load();
}

bool PauseBeforeRetry(uint32_t milliseconds, const std::atomic<int32_t>& stop) {
  uint32_t start = platform::TickCount();
  for (;;) {
    if (stop.load() != 0) return false;
    if (static_cast<uint32_t>(platform::TickCount() - start) >= milliseconds) return true;
    platform::SleepMilliseconds(5);
  }
}

void SetRetryPauseDivisorForTesting(uint32_t divisor) {
  pause_divisor.store(divisor == 0 ? 1 : divisor);
}

}  // namespace stanvex
