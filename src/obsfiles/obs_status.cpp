#include "obsfiles/obs_status.h"

namespace stanvex {

StatusChannel& ObsChannel() {
  static StatusChannel channel(StatusChannel::CallBack::kTakenLater);
  return channel;
}

void ObsStatusTakeCallBack() { ObsChannel().TakeCallBack(); }

void ObsStatusSend(int32_t code, const char* text, int32_t value1, int32_t value2, double real) {
  ObsChannel().Send(code, text, value1, value2, 0, 0, real);
}

void ResetObsStatusForTesting() { ObsChannel().DropCallBack(); }

}  // namespace stanvex
