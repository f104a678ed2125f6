// The GPS week and time of the broadcast ephemerides of an NVB file, the only
// content of the ephemeris and station companions that the core reads. None
// of these functions sends status.
//
// Two forms exist: the tagged form (first line "$EPHREC", then "GpsEph"
// blocks with "El1:" whose first value is the week and "El5:" whose first
// value is the time of ephemeris) and the plain form (six lines per
// ephemeris: the week is the second integer of line 1, the time the first
// integer of line 5).
#ifndef STANVEX_OBSFILES_NVB_FILE_H
#define STANVEX_OBSFILES_NVB_FILE_H

#include <cstdint>

#include "base/result.h"

namespace stanvex {

constexpr int kEphemerisTableSize = 32;

struct EphemerisTime {
  int32_t week;     // GPS week, 0..9999 (continuous, or modulo 1024 in old files)
  int32_t seconds;  // GPS seconds of week, 0..604800
};

// path: in. table: out, room for kEphemerisTableSize entries, filled in file
// order with the accepted ephemerides; count: out, their number (0..32).
// Fails when the file cannot be opened (kind kNotFound), memory is short or
// its first line does not begin with "$EPHREC".
Result ReadNvbTagged(const char* path, EphemerisTime* table, int* count);

// As ReadNvbTagged for the plain form; fails only when the file cannot be
// opened.
Result ReadNvbPlain(const char* path, EphemerisTime* table, int* count);

// The reference among count entries: the middle one, or the nearest to it
// (after first, then before) whose seconds are not 0, else the middle one.
// Null when count < 1.
const EphemerisTime* PickReferenceEphemeris(int count, const EphemerisTime* table);

// The reference week and seconds of week of the NVB file at path (either
// form), stored in week and seconds. Fails, the outputs untouched, when the
// file cannot be read or holds no accepted ephemeris.
Result GetNvbReference(const char* path, int32_t* week, double* seconds);

}  // namespace stanvex

#endif  // STANVEX_OBSFILES_NVB_FILE_H
