// Collects the status records the library sends to the host's callback,
// from whatever thread sends them. Every test program that watches the
// status reports uses this one recorder.
#ifndef STANVEX_TESTS_SUPPORT_STATUS_RECORDER_H
#define STANVEX_TESTS_SUPPORT_STATUS_RECORDER_H

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "stanvex.h"

namespace stanvex::testing {

struct SeenStatus {
  int32_t code;
  std::string text;
  int32_t value1;
  int32_t value2;
  double real;
  std::string lastErrorAtSend;  // iGetLastError inside the callback, when asked for
};

// Whether the recorder reads iGetLastError inside the callback. Reading it
// from a sender's thread races with the request writing it, so only tests
// that check the order of a heading and its reason ask for it.
enum class LastErrorAtSend { kIgnored, kRecorded };

class StatusRecorder {
 public:
  // Registers the recorder as the library's callback through SetCallBack
  // (one recorder at a time); the destructor registers none.
  explicit StatusRecorder(LastErrorAtSend lastError = LastErrorAtSend::kIgnored);
  ~StatusRecorder();
  StatusRecorder(const StatusRecorder&) = delete;
  StatusRecorder& operator=(const StatusRecorder&) = delete;

  // Every record so far, in the order they were sent.
  std::vector<SeenStatus> All() const;
  // Codes in order, leaving out the transfer progress codes (121, 122, 131).
  std::vector<int> MainCodes() const;
  // Records of code, and with text when text is not empty.
  int Count(int32_t code, const std::string& text = std::string()) const;
  bool Has(int32_t code, const std::string& text) const { return Count(code, text) > 0; }
  bool HasText(const std::string& text) const;
  // The texts of the STATUS_ERROR records (the headings of failures).
  std::vector<std::string> Headings() const;

  // Called (on the sender's thread, outside the lock) for every record after
  // it is stored.
  void OnEach(std::function<void(const SeenStatus&)> hook);
  // Called once, on the first record of code after this call.
  void OnCode(int32_t code, void (*action)());

 private:
  static void STANVEX_CALL Receive(StatusRecord* record);
  const LastErrorAtSend lastError_;
  mutable std::mutex mutex_;
  std::vector<SeenStatus> seen_;
  std::function<void(const SeenStatus&)> hook_;
  int32_t triggerCode_ = 0;
  void (*trigger_)() = nullptr;
};

}  // namespace stanvex::testing

#endif  // STANVEX_TESTS_SUPPORT_STATUS_RECORDER_H
