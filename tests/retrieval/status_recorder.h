// Records every status report the library sends (from any thread).
#ifndef STANVEX_TESTS_RETRIEVAL_STATUS_RECORDER_H
#define STANVEX_TESTS_RETRIEVAL_STATUS_RECORDER_H

#include <mutex>
#include <string>
#include <vector>

#include "stanvex.h"

namespace stanvex::testing {

struct SeenStatus {
  int code;
  std::string text;
  int value1, value2;
  double real;
  std::string lastErrorAtSend;  // iGetLastError inside the callback
};

class StatusRecorder {
 public:
  StatusRecorder() {
    std::lock_guard<std::mutex> lock(mutex_);
    current_ = this;
    SetCallBack(&Receive);
  }
  ~StatusRecorder() {
    SetCallBack(nullptr);
    std::lock_guard<std::mutex> lock(mutex_);
    current_ = nullptr;
  }
  std::vector<SeenStatus> seen() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return seen_;
  }
  // Codes in order, leaving out the transfer progress codes (121, 122, 131).
  std::vector<int> MainCodes() const {
    std::vector<int> codes;
    for (const SeenStatus& s : seen())
      if (s.code != 121 && s.code != 122 && s.code != 131) codes.push_back(s.code);
    return codes;
  }
  int Count(int code) const {
    int n = 0;
    for (const SeenStatus& s : seen()) n += s.code == code;
    return n;
  }
  bool HasText(const std::string& text) const {
    for (const SeenStatus& s : seen())
      if (s.text == text) return true;
    return false;
  }
  std::vector<std::string> Headings() const {
    std::vector<std::string> out;
    for (const SeenStatus& s : seen())
      if (s.code == STATUS_ERROR) out.push_back(s.text);
    return out;
  }
  // Called on the first status of this code (outside the lock).
  void OnCode(int code, void (*action)()) {
    trigger_code_ = code;
    trigger_ = action;
  }

 private:
  static void STANVEX_CALL Receive(StatusRecord* record) {
    char last[512];
    iGetLastError(last);
    void (*action)() = nullptr;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (current_ == nullptr) return;
      current_->seen_.push_back(
          {record->code, record->text, record->value1, record->value2, record->real, last});
      if (current_->trigger_ != nullptr && record->code == current_->trigger_code_) {
        action = current_->trigger_;
        current_->trigger_ = nullptr;
      }
    }
    if (action != nullptr) action();
  }

  static inline std::mutex mutex_;
  static inline StatusRecorder* current_ = nullptr;
  std::vector<SeenStatus> seen_;
  int trigger_code_ = 0;
  void (*trigger_)() = nullptr;
};

}  // namespace stanvex::testing

#endif
