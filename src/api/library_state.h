// The library's globals and the status sending that every component uses.
//
// Threads: the request globals (WorkingDirectory, SavedDirectory,
// LoadedCatalogue, FrameStatus) are touched only by the thread that runs the
// current request. RegisteredCallBack and FtpStopCount are atomic because the
// host may set them from another thread while a request runs.
#ifndef STANVEX_API_LIBRARY_STATE_H
#define STANVEX_API_LIBRARY_STATE_H

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "stanvex.h"

namespace stanvex {

constexpr size_t kTextSize = 512;       // LastErrorText and StatusRecord::text
constexpr size_t kDirectorySize = 128;  // WorkingDirectory, SavedDirectory

extern char LastErrorText[kTextSize];
extern char WorkingDirectory[kDirectorySize];
extern char SavedDirectory[kDirectorySize];
extern Serv_Sta* LoadedCatalogue;
// True while LoadedCatalogue holds arrays made by a successful load.
extern bool CatalogueLoaded;
extern std::atomic<StatusCallback> RegisteredCallBack;
// Null until iInitalizeNEW has joined the catalogue files.
extern StatusRecord* FrameStatus;
extern std::atomic<int32_t> FtpStopCount;

// Bounded copy: at most size-1 bytes and a NUL. A null source copies "".
void CopyText(char* destination, size_t size, const char* source);

// Bounded append to a NUL-terminated text in a buffer of size bytes.
void AppendText(char* destination, size_t size, const char* source);

// Replaces LastErrorText with a printf-style message, cut to fit.
void SetLastErrorText(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Appends to LastErrorText, cut to fit.
void AppendLastErrorText(const char* text);

// The registered host callback, or null.
StatusCallback GetCallBack();

// Clears record, puts heading in its text with code 144 and sends it through
// callback when that is not null. A null record sends nothing. Returns 0.
int SendErrorStatus(StatusCallback callback, StatusRecord* record, const char* heading);

// Clears record, fills the given fields and sends it through callback. A null
// record or callback sends nothing. text may be null (left empty).
void SendStatus(StatusCallback callback, StatusRecord* record, int32_t code,
                const char* text = nullptr, int32_t value1 = 0, int32_t value2 = 0,
                int32_t value3 = 0, int32_t value4 = 0, double real = 0.0);

// A component's own reporting channel: a copy of the callback taken when the
// component starts its work, and a record of its own.
class StatusChannel {
 public:
  StatusChannel() : callback_(GetCallBack()) {}
  void Send(int32_t code, const char* text = nullptr, int32_t value1 = 0,
            int32_t value2 = 0, int32_t value3 = 0, int32_t value4 = 0, double real = 0.0) {
    SendStatus(callback_, &record_, code, text, value1, value2, value3, value4, real);
  }
  void Text(const char* text) { Send(STATUS_TEXT, text); }
  void Error(const char* heading) { SendErrorStatus(callback_, &record_, heading); }

 private:
  StatusCallback callback_;
  StatusRecord record_{};
};

// Frame reports (iInitalizeNEW, iFindClosestStation, iFTP): through
// FrameStatus with the callback read at every send; nothing when FrameStatus
// does not exist yet.
void FrameSend(int32_t code, const char* text = nullptr, int32_t value1 = 0,
               int32_t value2 = 0);
void FrameError(const char* heading);

// The frame's status record (static storage); iInitalizeNEW publishes it in
// FrameStatus once the catalogue files are joined.
StatusRecord* MakeFrameStatus();

// Resets every global to its load-time state. For tests only.
void ResetLibraryStateForTesting();

}  // namespace stanvex

#endif  // STANVEX_API_LIBRARY_STATE_H
