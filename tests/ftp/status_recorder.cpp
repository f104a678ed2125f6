#include "status_recorder.h"

#include <cstring>

#include "api/library_state.h"

namespace stanvex::testing {
namespace {
StatusRecorder* active = nullptr;
}

StatusRecorder::StatusRecorder() {
  active = this;
  RegisteredCallBack = &StatusRecorder::Receive;
}

StatusRecorder::~StatusRecorder() {
  RegisteredCallBack = nullptr;
  active = nullptr;
}

void STANVEX_CALL StatusRecorder::Receive(StatusRecord* record) {
  StatusRecorder* self = active;
  if (self == nullptr) return;
  SeenStatus status{record->code, std::string(record->text, strnlen(record->text, 512)),
                    record->value1, record->real};
  std::function<void(const SeenStatus&)> hook;
  {
    std::lock_guard<std::mutex> lock(self->mutex_);
    self->seen_.push_back(status);
    hook = self->hook_;
  }
  if (hook) hook(status);
}

std::vector<SeenStatus> StatusRecorder::All() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return seen_;
}

int StatusRecorder::Count(int32_t code, const std::string& text) const {
  std::lock_guard<std::mutex> lock(mutex_);
  int count = 0;
  for (const auto& status : seen_)
    if (status.code == code && (text.empty() || status.text == text)) ++count;
  return count;
}

void StatusRecorder::OnEach(std::function<void(const SeenStatus&)> hook) {
  std::lock_guard<std::mutex> lock(mutex_);
  hook_ = std::move(hook);
}

}  // namespace stanvex::testing
