// The average position and usable span of an OBN file (the work of
// NewGetAvgOBNPos) and the week arithmetic it needs.
#ifndef STANVEX_OBSFILES_AVG_POSITION_H
#define STANVEX_OBSFILES_AVG_POSITION_H

#include <cstdint>

#include "base/result.h"

namespace stanvex {

struct ObnAverage {
  double position1 = 0.0;  // average latitude of the solved epochs, decimal degrees
  double position2 = 0.0;  // average longitude
  bool spanValid = false;  // start and end hold the usable span
  double start = 0.0;      // GPS seconds of the first epoch with more than 3 satellites
  double end = 0.0;        // GPS seconds of the last one
};

// Reads the OBN file at path: the average of the positions of the epochs
// that have a solution (flag bit 0 and a non-zero position), and the span of
// the epochs with more than 3 satellites, made full GPS seconds with the
// reference of the ".nvb" beside it (spanValid false when there is no such
// epoch or no usable NVB). Fails when the file cannot be opened (the
// reader's reason) and when no epoch has a solution (the file has no
// average position).
Result AverageObnPosition(const char* path, ObnAverage* average);

// The full GPS time (seconds since 1980-01-06) of an epoch at secondsOfWeek,
// given a reference ephemeris at referenceSeconds of referenceWeek. Weeks
// below 500 are counted modulo 1024 and get 1024 added; a reference at
// exactly 0 s belongs to the next week. An epoch more than 300000 s before
// the reference lies in the following week, more than 300000 s after it in
// the preceding one.
double SowToGpsSeconds(double secondsOfWeek, int32_t referenceWeek, double referenceSeconds);

}  // namespace stanvex

#endif  // STANVEX_OBSFILES_AVG_POSITION_H
