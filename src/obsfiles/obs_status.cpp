#include "obsfiles/obs_status.h"

#include "api/library_state.h"

namespace stanvex {

namespace {

StatusCallback heldCallBack = nullptr;

// Made on first use and reused; cleared before every message.
StatusRecord& Record() {
  static StatusRecord record{};
  return record;
}

}  // namespace

void ObsStatusTakeCallBack() { heldCallBack = GetCallBack(); }

void ObsStatusTakeCallBackIfNone() { heldCallBack = GetCallBack(); }

void ObsStatusSend(int32_t code, const char* text, int32_t value1, int32_t value2, double real) {
  SendStatus(heldCallBack, &Record(), code, text, value1, value2, 0, 0, real);
}

void ResetObsStatusForTesting() { heldCallBack = nullptr; }

}  // namespace stanvex
