// Joining of RINEX observation files that cover consecutive parts of one day
// (hourly or 15-minute files) into one observation file: the first readable
// file's header, then the epochs of every file in turn.
//
// The join streams: it holds one header and one epoch at a time, every line
// bounded by kJoinMaxLineLength.
#ifndef STANVEX_CRINEX_RINEX_JOIN_H
#define STANVEX_CRINEX_RINEX_JOIN_H

#include <cstddef>
#include <cstdint>

#include "base/result.h"

namespace stanvex {

// Longest line of an input (RINEX 3 lines carry a satellite's every
// observation: 3 + 16 characters per type).
constexpr size_t kJoinMaxLineLength = 2046;
// Most observation types of one list (one system's, in RINEX 3).
constexpr int kJoinMaxTypes = 99;
constexpr size_t kJoinProblemSize = 160;

struct JoinInput {
  const char* path;  // in: a plain RINEX 2 or 3 observation file
  // out: true when the file was read (some or all of it; an epoch that does
  // not come after the last one written is dropped, so a file may add none).
  bool joined;
  // out: why the file was left out, or where its reading stopped; "" when it
  // was read to its end.
  char problem[kJoinProblemSize];
};

// inputs: count files in time order. Writes output (created as a new file,
// never through a link) with the header of the first file that reads as an
// observation file (less its TIME OF LAST OBS, # OF SATELLITES and
// PRN / # OF OBS records, which describe that file alone), followed by the
// epochs of every file that come after the last epoch written:
//  - a file of another RINEX version than the first (2 against 3 or 4) is
//    left out;
//  - observations are written under the first file's observation types:
//    a file (or an event inside one) with other types has its observations
//    moved to the first file's order, blank where it has no such type; in
//    RINEX 3 a satellite of a system the first file does not list is left out;
//  - events (flags 2 to 5) go in when their time is blank or after the last
//    epoch written, without the observation type records they carry (those
//    change the input's types only);
//  - a damaged epoch ends the reading of its file; the epochs before it stay.
// Fails with "Error none of the observation files could be joined into
// <output>" (each input's problem says why) or "Error writing the joined
// observation file <output>"; output then holds what was written.
Result JoinRinexObservations(JoinInput* inputs, int32_t count, const char* output);

// True when the file's first line is that of a compact RINEX file ("CRINEX
// VERS   / TYPE" from column 61).
bool IsCompactRinexFile(const char* path);

}  // namespace stanvex

#endif  // STANVEX_CRINEX_RINEX_JOIN_H
