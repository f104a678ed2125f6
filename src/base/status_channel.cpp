#include "base/status_channel.h"

#include <cstring>

#include "base/text.h"

namespace stanvex {

std::atomic<StatusCallback> RegisteredCallBack{nullptr};
StatusRecord* FrameStatus = nullptr;

namespace {
// The frame's record exists from the first iInitalizeNEW on; it is static
// storage, so it stays valid for the library's lifetime.
StatusRecord frame_record;
}  // namespace

StatusCallback GetCallBack() { return RegisteredCallBack.load(); }

int SendErrorStatus(StatusCallback callback, StatusRecord* record, const char* heading) {
  if (record == nullptr) return 0;
  std::memset(record, 0, sizeof *record);
  CopyText(record->text, sizeof record->text, heading);
  record->code = STATUS_ERROR;
  if (callback != nullptr) callback(record);
  return 0;
}

void SendStatus(StatusCallback callback, StatusRecord* record, int32_t code, const char* text,
                int32_t value1, int32_t value2, int32_t value3, int32_t value4, double real) {
  if (record == nullptr || callback == nullptr) return;
  std::memset(record, 0, sizeof *record);
  if (text != nullptr) CopyText(record->text, sizeof record->text, text);
  record->code = code;
  record->value1 = value1;
  record->value2 = value2;
  record->value3 = value3;
  record->value4 = value4;
  record->real = real;
  callback(record);
}

void StatusChannel::Clear() {
  if (record_ != nullptr) std::memset(record_, 0, sizeof *record_);
}

void FrameSend(int32_t code, const char* text, int32_t value1, int32_t value2) {
  FrameChannel().Send(code, text, value1, value2);
}

void FrameError(const char* heading) { FrameChannel().Error(heading); }

StatusRecord* MakeFrameStatus() { return &frame_record; }

}  // namespace stanvex
