#include "api/library_state.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace stanvex {

char LastErrorText[kTextSize];
char WorkingDirectory[kDirectorySize];
char SavedDirectory[kDirectorySize];
Serv_Sta* LoadedCatalogue = nullptr;
bool CatalogueLoaded = false;
std::atomic<StatusCallback> RegisteredCallBack{nullptr};
StatusRecord* FrameStatus = nullptr;
std::atomic<int32_t> FtpStopCount{0};

namespace {
// The frame's record exists from the first iInitalizeNEW on; it is static
// storage, so it stays valid for the library's lifetime.
StatusRecord frame_record;
}  // namespace

void CopyText(char* destination, size_t size, const char* source) {
  if (size == 0) return;
  if (source == nullptr) source = "";
  size_t length = strnlen(source, size - 1);
  std::memmove(destination, source, length);
  destination[length] = '\0';
}

void AppendText(char* destination, size_t size, const char* source) {
  if (size == 0 || source == nullptr) return;
  size_t used = strnlen(destination, size - 1);
  CopyText(destination + used, size - used, source);
}

void SetLastErrorText(const char* format, ...) {
  char buffer[kTextSize];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  CopyText(LastErrorText, sizeof LastErrorText, buffer);
}

void AppendLastErrorText(const char* text) { AppendText(LastErrorText, sizeof LastErrorText, text); }

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

void ResetLibraryStateForTesting() {
  LastErrorText[0] = '\0';
  WorkingDirectory[0] = '\0';
  SavedDirectory[0] = '\0';
  LoadedCatalogue = nullptr;
  CatalogueLoaded = false;
  RegisteredCallBack = nullptr;
  FrameStatus = nullptr;
  FtpStopCount = 0;
}

}  // namespace stanvex
