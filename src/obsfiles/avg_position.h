// The average position and usable span of an OBN file (the export
// NewGetAvgOBNPos) and the week arithmetic it needs.
#ifndef STANVEX_OBSFILES_AVG_POSITION_H
#define STANVEX_OBSFILES_AVG_POSITION_H

#include <cstdint>

namespace stanvex {

// The full GPS time (seconds since 1980-01-06) of an epoch at secondsOfWeek,
// given a reference ephemeris at referenceSeconds of referenceWeek. Weeks
// below 500 are counted modulo 1024 and get 1024 added; a reference at
// exactly 0 s belongs to the next week. An epoch more than 300000 s before
// the reference lies in the following week, more than 300000 s after it in
// the preceding one.
double SowToGpsSeconds(double secondsOfWeek, int32_t referenceWeek, double referenceSeconds);

}  // namespace stanvex

#endif  // STANVEX_OBSFILES_AVG_POSITION_H
