// Which failed transfers are tried again, and the pauses between the tries.
//
// A failure's cause is the error code that came with its completion (or the
// code a request was refused with at once). Passing causes (a connection
// refused or cut, a time-out, a cut TLS handshake, a server's temporary
// refusal, a name that did not resolve) are tried again up to kMaxRetries
// more times; everything else is final: the file (or the folder of a file://
// address) is missing, the login or certificate is refused, the server
// answered with something else than the file, the local disk failed, or the
// user stopped.
//
// Threads: PauseBeforeRetry runs on the requesting thread; a stop from any
// thread ends it within about 5 ms.
#ifndef STANVEX_TRANSFER_RETRY_POLICY_H
#define STANVEX_TRANSFER_RETRY_POLICY_H

#include <atomic>
#include <cstdint>

namespace stanvex {

// Tries after the first.
constexpr int kMaxRetries = 2;

// True when a transfer or connection that failed with error may succeed if
// tried again.
bool IsTransientFailure(uint32_t error);

// True when error is a failure of the local disk or file (full, cannot be
// written): no other address or alternative can help.
bool IsLocalFileFailure(uint32_t error);

// The pause in milliseconds before retry number retry (1 or 2): 1000, then
// 4000, divided by the divisor set for tests.
uint32_t RetryPauseMs(int retry);

// Waits milliseconds, polling the stop count every 5 ms. Returns false as
// soon as stop is raised, true when the pause ran out.
bool PauseBeforeRetry(uint32_t milliseconds, const std::atomic<int32_t>& stop);

// For tests only: divides every pause by divisor (1 restores the real
// pauses; 0 is taken as 1).
void SetRetryPauseDivisorForTesting(uint32_t divisor);

}  // namespace stanvex

#endif  // STANVEX_TRANSFER_RETRY_POLICY_H
