// The two ways ResampleObn changes a file's interval, each in a file of its
// own: thinning (resample_thin.cpp) and the interpolation library
// (intobn_binding.cpp). ResampleObn (resample.cpp) measures the file and
// decides which one runs.
//
// Both take the input set and the output set (different files) and succeed
// with the data under the output names only, or fail with the input files
// kept and no output OBN left. Both run on the request's thread.
#ifndef STANVEX_OBSFILES_RESAMPLE_STEPS_H
#define STANVEX_OBSFILES_RESAMPLE_STEPS_H

#include <cstdint>

#include "base/result.h"
#include "obsfiles/obn_file_set.h"

namespace stanvex {

// The interval refusal naming fileInterval.
Result InvalidInterval(double fileInterval);

// Keeps the epochs of inputs on multiples of interval (coarser than the
// file's), carrying loss of lock flagged in a dropped epoch to the next kept
// one of that satellite.
Result ThinObn(const ObnFileSet& inputs, const ObnFileSet& outputs, double interval);

// Interpolates inputs (at fileInterval) to the finer interval through the
// interpolation library, loaded for the call and working in workingFolder. Status 142 and 125 go
// through the observation-file channel while it works.
Result InterpolateObn(const char* workingFolder, const ObnFileSet& inputs,
                      const ObnFileSet& outputs, double fileInterval, double interval);

}  // namespace stanvex

#endif  // STANVEX_OBSFILES_RESAMPLE_STEPS_H
