// Collects the status records the library sends to the host's callback,
// from whatever thread sends them.
#ifndef STANVEX_TESTS_FTP_STATUS_RECORDER_H
#define STANVEX_TESTS_FTP_STATUS_RECORDER_H

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
  double real;
};

class StatusRecorder {
 public:
  // Registers the recorder as the library's callback (one at a time).
  StatusRecorder();
  ~StatusRecorder();

  std::vector<SeenStatus> All() const;
  int Count(int32_t code, const std::string& text = std::string()) const;
  bool Has(int32_t code, const std::string& text) const { return Count(code, text) > 0; }
  // Called (on the sender's thread) for every record after it is stored.
  void OnEach(std::function<void(const SeenStatus&)> hook);

 private:
  static void STANVEX_CALL Receive(StatusRecord* record);
  mutable std::mutex mutex_;
  std::vector<SeenStatus> seen_;
  std::function<void(const SeenStatus&)> hook_;
};

}  // namespace stanvex::testing

#endif  // STANVEX_TESTS_FTP_STATUS_RECORDER_H
