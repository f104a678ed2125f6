// The observation-file status record: joining, splicing and resampling report
// to the host through a StatusRecord of their own, separate from the frame's,
// with a copy of the host's callback.
//
// Threads: only the request's thread touches it.
#ifndef STANVEX_OBSFILES_OBS_STATUS_H
#define STANVEX_OBSFILES_OBS_STATUS_H

#include <cstdint>

namespace stanvex {

// Takes the registered callback afresh (joining does this each time it starts).
void ObsStatusTakeCallBack();

// Used where splicing and resampling start. Takes the registered callback
// as well: holding on to an earlier one would call a callback the host has
// since replaced or withdrawn (and may have unloaded).
void ObsStatusTakeCallBackIfNone();

// Clears the record and sends code with its fields; nothing is sent while the
// held callback is null.
void ObsStatusSend(int32_t code, const char* text = nullptr, int32_t value1 = 0,
                   int32_t value2 = 0, double real = 0.0);

// Drops the held callback. For tests only.
void ResetObsStatusForTesting();

}  // namespace stanvex

#endif  // STANVEX_OBSFILES_OBS_STATUS_H
