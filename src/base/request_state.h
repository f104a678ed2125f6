// The state of the request being served: its directories, the loaded
// catalogue and the stop count, and the reset that tests start from.
//
// Threads: WorkingDirectory, SavedDirectory, LoadedCatalogue and
// CatalogueLoaded are touched only by the thread that runs the current
// request. FtpStopCount is atomic because the host may raise it from another
// thread while a request runs.
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

// Resets every global of the library (these, the last error, the registered
// callback and the frame's record) to its load-time state. For tests only.
void ResetLibraryStateForTesting();

}  // namespace stanvex

#endif  // STANVEX_BASE_REQUEST_STATE_H
