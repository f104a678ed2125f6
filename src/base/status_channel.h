// Status sending: the host's registered callback, the one StatusChannel
// every component reports through, and the frame's record.
//
// Threads: FrameStatus is touched only by the thread that runs the current
// request. RegisteredCallBack is atomic because the host may set it from
// another thread while a request runs.
#ifndef STANVEX_BASE_STATUS_CHANNEL_H
#define STANVEX_BASE_STATUS_CHANNEL_H

#include <atomic>
#include <cstdint>

#include "stanvex.h"

namespace stanvex {

extern std::atomic<StatusCallback> RegisteredCallBack;
// Null until iInitalizeNEW has joined the catalogue files.
extern StatusRecord* FrameStatus;

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

// The one way every component reports to the host: a status record and the
// callback it is sent through. Each component has its own channel:
//   the frame (iInitalizeNEW, iFindClosestStation, iFTP): FrameChannel(),
//     through FrameStatus with the callback read at every send;
//   a download: a channel of its own for the download's length, published
//     to the internet library's thread (transfer/internet_binding.h);
//   joining, splicing, resampling: ObsChannel() (obsfiles/obs_status.h);
//   the converter library's callbacks: a channel in convert/converter_binding.
// A channel's record is cleared before every message and is the pointer the
// host receives; the host may read it until the next message on the channel.
// Threads: a channel is used by one thread at a time.
class StatusChannel {
 public:
  // When the channel reads the registered callback.
  enum class CallBack {
    kTakenNow,        // at construction
    kTakenLater,      // at TakeCallBack(); none until then
    kReadAtEachSend,  // afresh at every message
  };

  // A channel with a record of its own.
  explicit StatusChannel(CallBack when = CallBack::kTakenNow)
      : StatusChannel(when, &ownRecord_) {}
  // A channel that sends through record (not owned; must outlive the
  // channel). A null record sends nothing.
  StatusChannel(CallBack when, StatusRecord* record)
      : readAtEachSend_(when == CallBack::kReadAtEachSend),
        callback_(when == CallBack::kTakenNow ? GetCallBack() : nullptr),
        record_(record) {}
  StatusChannel(const StatusChannel&) = delete;
  StatusChannel& operator=(const StatusChannel&) = delete;

  // Takes the registered callback afresh (a component does this when its
  // work starts). DropCallBack: none until the next TakeCallBack.
  void TakeCallBack() { callback_ = GetCallBack(); }
  void DropCallBack() { callback_ = nullptr; }

  // Clears the record, fills the given fields and sends it (SendStatus).
  void Send(int32_t code, const char* text = nullptr, int32_t value1 = 0,
            int32_t value2 = 0, int32_t value3 = 0, int32_t value4 = 0, double real = 0.0) {
    SendStatus(CallBackNow(), record_, code, text, value1, value2, value3, value4, real);
  }
  void Text(const char* text) { Send(STATUS_TEXT, text); }
  // Code 144 with heading (SendErrorStatus: the record is filled even when
  // there is no callback).
  void Error(const char* heading) { SendErrorStatus(CallBackNow(), record_, heading); }
  // Clears the record without sending.
  void Clear();

 private:
  StatusCallback CallBackNow() const { return readAtEachSend_ ? GetCallBack() : callback_; }

  bool readAtEachSend_;
  StatusCallback callback_;
  StatusRecord ownRecord_{};
  StatusRecord* record_;
};

// The frame's channel as it stands now: through FrameStatus (nothing before
// iInitalizeNEW has made it) with the callback read at every send.
inline StatusChannel FrameChannel() {
  return StatusChannel(StatusChannel::CallBack::kReadAtEachSend, FrameStatus);
}

// Shorthands for the frame's channel.
void FrameSend(int32_t code, const char* text = nullptr, int32_t value1 = 0,
               int32_t value2 = 0);
void FrameError(const char* heading);

// The frame's status record (static storage); iInitalizeNEW publishes it in
// FrameStatus once the catalogue files are joined.
StatusRecord* MakeFrameStatus();

}  // namespace stanvex

#endif  // STANVEX_BASE_STATUS_CHANNEL_H
