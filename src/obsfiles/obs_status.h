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

// Takes the registered callback only when none is held yet (splicing,
// resampling).
void ObsStatusTakeCallBackIfNone();

// Clears the record and sends code with its fields; nothing is sent while the
// held callback is null.
void ObsStatusSend(int32_t code, const char* text = nullptr, int32_t value1 = 0,
                   int32_t value2 = 0, double real = 0.0);

// Drops the held callback. For tests only.
void ResetObsStatusForTesting();

}  // namespace stanvex

#endif  // STANVEX_OBSFILES_OBS_STATUS_H
