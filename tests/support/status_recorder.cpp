#include "status_recorder.h"

#include <atomic>
#include <cstring>

namespace stanvex::testing {
namespace {
// The recorder the callback fills; the callback may run on any thread.
std::atomic<StatusRecorder*> active{nullptr};
}  // namespace

StatusRecorder::StatusRecorder(LastErrorAtSend lastError) : lastError_(lastError) {
  active = this;
  SetCallBack(&StatusRecorder::Receive);
}

StatusRecorder::~StatusRecorder() {
  SetCallBack(nullptr);
  active = nullptr;
}

void STANVEX_CALL StatusRecorder::Receive(StatusRecord* record) {
  StatusRecorder* self = active;
  if (self == nullptr) return;
  char lastError[512] = "";
  if (self->lastError_ == LastErrorAtSend::kRecorded) iGetLastError(lastError);
  SeenStatus status{record->code, std::string(record->text, strnlen(record->text, 512)),
                    record->value1, record->value2, record->real, lastError};
  std::function<void(const SeenStatus&)> hook;
  void (*action)() = nullptr;
  {
    std::lock_guard<std::mutex> lock(self->mutex_);
    self->seen_.push_back(status);
    hook = self->hook_;
    if (self->trigger_ != nullptr && status.code == self->triggerCode_) {
      action = self->trigger_;
      self->trigger_ = nullptr;
    }
  }
  if (hook) hook(status);
  if (action != nullptr) action();
}

std::vector<SeenStatus> StatusRecorder::All() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return seen_;
}

std::vector<int> StatusRecorder::MainCodes() const {
  std::vector<int> codes;
  for (const SeenStatus& status : All())
    if (status.code != 121 && status.code != 122 && status.code != 131) codes.push_back(status.code);
  return codes;
}

int StatusRecorder::Count(int32_t code, const std::string& text) const {
  int count = 0;
  for (const SeenStatus& status : All())
    if (status.code == code && (text.empty() || status.text == text)) ++count;
  return count;
}

bool StatusRecorder::HasText(const std::string& text) const {
  for (const SeenStatus& status : All())
    if (status.text == text) return true;
  return false;
}

std::vector<std::string> StatusRecorder::Headings() const {
  std::vector<std::string> headings;
  for (const SeenStatus& status : All())
    if (status.code == STATUS_ERROR) headings.push_back(status.text);
  return headings;
}

void StatusRecorder::OnEach(std::function<void(const SeenStatus&)> hook) {
  std::lock_guard<std::mutex> lock(mutex_);
  hook_ = std::move(hook);
}

void StatusRecorder::OnCode(int32_t code, void (*action)()) {
  std::lock_guard<std::mutex> lock(mutex_);
  triggerCode_ = code;
  trigger_ = action;
}

}  // namespace stanvex::testing
