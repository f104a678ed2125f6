// The observation-file status channel: joining, splicing and resampling
// report to the host through a StatusRecord of their own, separate from the
// frame's, with the callback taken when each of them starts.
//
// Threads: only the request's thread touches it.
#ifndef STANVEX_OBSFILES_OBS_STATUS_H
#define STANVEX_OBSFILES_OBS_STATUS_H

#include <cstdint>

#include "base/status_channel.h"

namespace stanvex {

// The channel (made on first use, with no callback until one is taken).
StatusChannel& ObsChannel();

// Takes the registered callback afresh; joining, splicing and resampling do
// this each time they start. Holding on to an earlier one would call a
// callback the host has since replaced or withdrawn (and may have unloaded).
void ObsStatusTakeCallBack();

// ObsChannel().Send with the fields this channel uses.
void ObsStatusSend(int32_t code, const char* text = nullptr, int32_t value1 = 0,
                   int32_t value2 = 0, double real = 0.0);

// Drops the held callback. For tests only.
void ResetObsStatusForTesting();

}  // namespace stanvex

#endif  // STANVEX_OBSFILES_OBS_STATUS_H
