// The state of the request being served: its directories, the loaded
// catalogue and the stop count, and the reset that tests start from.
//
// Threads: WorkingDirectory, SavedDirectory, LoadedCatalogue and
// CatalogueLoaded are touched only by the thread that runs the current
// request (the one holding the RequestClaim). FtpStopCount is atomic because
// the host may raise it from another thread while a request runs.
#ifndef STANVEX_BASE_REQUEST_STATE_H
#define STANVEX_BASE_REQUEST_STATE_H

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "stanvex.h"

namespace stanvex {

constexpr size_t kDirectorySize = 128;  // WorkingDirectory, SavedDirectory

extern char WorkingDirectory[kDirectorySize];
extern char SavedDirectory[kDirectorySize];
extern Serv_Sta* LoadedCatalogue;
// True while LoadedCatalogue holds arrays made by a successful load.
extern bool CatalogueLoaded;
extern std::atomic<int32_t> FtpStopCount;

// One request at a time. Every export that uses the library's state (all but
// SetCallBack, iGetLastError and the two stop functions) holds a claim from
// its entry to its return. A call that finds the library claimed, from
// another thread or from a callback of the running request, is refused at
// once and touches nothing the running request uses: not the last error,
// the stop count, the frame's record, the catalogue or the current
// directory. Its reason stays with the refused thread (RefusedRequestText).
// Any thread may construct one; the claim is released on the same thread.
class RequestClaim {
 public:
  // request: the export's name, for the refusal's text.
  explicit RequestClaim(const char* request) noexcept;
  ~RequestClaim();
  RequestClaim(const RequestClaim&) = delete;
  RequestClaim& operator=(const RequestClaim&) = delete;

  // False when the call is refused.
  bool held() const { return held_; }

 private:
  bool held_;
};

// Why the calling thread's last request was refused ("Error iFTP refused: a
// request is already running"); null when it was not refused. A request of
// the thread that is let in, and the end of one, forgets it.
const char* RefusedRequestText();

// Resets every global of the library (these, the last error, the registered
// callback and the frame's record) to its load-time state. For tests only.
void ResetLibraryStateForTesting();

}  // namespace stanvex

#endif  // STANVEX_BASE_REQUEST_STATE_H
