// Resampling of an OBN file (with its NVB and STA companions) to another
// interval: renaming when the interval is already the one asked for,
// thinning when a coarser one is asked for, and the interpolation library
// ("IntObn.dll") when a finer one that divides the file's interval is asked.
#ifndef STANVEX_OBSFILES_RESAMPLE_H
#define STANVEX_OBSFILES_RESAMPLE_H

#include <cstddef>
#include <cstdint>

#include "base/result.h"
#include "stanvex.h"

namespace stanvex {

// Resamples input (an OBN file; its ".nvb" and ".sta" companions go along)
// into output at `interval` seconds; the interpolation library works in
// workingFolder (the request's working folder). On success the data exist under the
// output name only; on failure the input files stay under their names and no
// output OBN is left.
// Runs on the request's thread; StopInerpolation may be called meanwhile from
// another thread. Status goes through the observation-file status record:
// code 134 with the measured interval, then 142 (percent) and 125 (texts)
// while the library works.
Result ResampleObn(const char* workingFolder, const char* input, const char* output,
                   double interval);

// The longest interval a resample takes: one week, the span the epochs'
// seconds of week tell apart.
constexpr double kLongestInterval = 604800.0;

// Succeeds when interval can be asked of ResampleObn: greater than 0 and at
// most kLongestInterval (NaN and the infinities cannot). The failure's text
// shows the value as given.
Result CheckResampleInterval(double interval);

// The interval of a file as ResampleObn measures it: the smallest positive
// step between the times of the first 30 epochs, 1000 s when none is
// smaller. Exposed for tests.
constexpr double kNoIntervalSeconds = 1000.0;
constexpr int kIntervalScanEpochs = 30;

// StopInerpolation: calls the stop function of the interpolation library
// while ResampleObn runs it and returns its result; 0 when none runs. Any
// thread may call it.
int32_t StopRunningInterpolation();

// The two callbacks handed to the interpolation library; exposed for tests.
void STANVEX_CALL InterpolationProgress(int32_t unused, int32_t percent);
void STANVEX_CALL InterpolationMessage(int32_t unused, const char* text);

}  // namespace stanvex

#endif  // STANVEX_OBSFILES_RESAMPLE_H
