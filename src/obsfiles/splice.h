// Cutting an OBN file down to the epochs of a window of GPS seconds of week.
#ifndef STANVEX_OBSFILES_SPLICE_H
#define STANVEX_OBSFILES_SPLICE_H

#include <cstddef>

#include "obsfiles/obn_file.h"

namespace stanvex {

// The end of a GPS week in seconds of week: where a crossing window is cut.
constexpr double kWeekEndSeconds = 604800.0;

// The crossover text sent with STATUS_WEEK_CROSSOVER.
extern const char kWeekCrossoverText[];

// The name a splice writes: inputName with its first '.' (in its last
// component) and everything after replaced by "1.obn"; abcd0010tmp.obn gives
// abcd0010tmp1.obn, a name without a dot gets "1.obn" appended. Fails with
// "Error file name too long " + inputName (output "") when the result does
// not fit outputSize bytes.
Result SpliceOutputName(const char* inputName, char* outputName, size_t outputSize);

// Copies every epoch of input whose time satisfies start <= time <= end to
// output, reading input to its end. Fails on a damaged epoch or a failed
// write. kept receives the epochs written.
Result CopyObnWindow(ObnFile* input, ObnFile* output, double start, double end,
                     long* kept = nullptr);

// inputName: in, an OBN name with ".nvb" and ".sta" companions.
// outputName: out, outputSize bytes; receives SpliceOutputName(inputName).
// start, end: in, GPS seconds of week of the window. When start > end the
// window crosses the end of a week: STATUS_WEEK_CROSSOVER is sent and only
// the epochs from start to the end of the week are kept.
// Moves the ephemeris file to the output name first (it is not cut), copies
// the epochs of the window, deletes the input and moves the station file
// (one that cannot be moved stays under the input name; the caller, whose
// output then lacks it, tells that apart).
Result SpliceToWindow(const char* inputName, char* outputName, size_t outputSize, double start,
                      double end);

}  // namespace stanvex

#endif  // STANVEX_OBSFILES_SPLICE_H
