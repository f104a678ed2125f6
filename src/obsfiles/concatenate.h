// Joining the daily OBN files of a retrieval, with their NVB and STA
// companions, into one data set.
#ifndef STANVEX_OBSFILES_CONCATENATE_H
#define STANVEX_OBSFILES_CONCATENATE_H

#include <cstddef>

#include "base/result.h"

namespace stanvex {

constexpr size_t kDailyNameSize = 64;  // one name slot: at most 63 characters and a NUL
constexpr int kMaxDailyFiles = 3;

// names: in, days slots in ascending day order, each a ".obn" name.
// outputName: in, the joined ".obn" name (companions by its extension).
// Sends STATUS_CONCAT_START, copies every epoch of the daily files in day
// order into outputName (carriedByte and interval of the first file,
// 12 channels), joins the ".nvb" and ".sta" companions (their failures do
// not fail the join: companionFailure, when given, receives the first of
// them, else stays a success) and deletes the daily files with the
// companions that were joined. After a failure the daily files are left in
// place.
Result ConcatenateDailyFiles(const char (*names)[kDailyNameSize], const char* outputName,
                             int days, Result* companionFailure = nullptr);

// Writes outputName with its extension replaced by extension (".nvb",
// ".sta"), holding the lines of each daily companion in day order. Empty
// lines are dropped; every line written ends in CR LF whatever line ends the
// input has (a last line without one gets one). A missing daily companion is
// skipped. Fails with "Unable to open %s for writing" when the output cannot
// be created, "Unable to write to %s (disk full)" when writing it fails, and
// "Unable to open %s for reading" or "Unable to read %s" when a daily
// companion that is there cannot be read; after a failure no output is left.
Result ConcatenateTextFiles(const char* outputName, const char (*names)[kDailyNameSize],
                            int days, const char* extension);

}  // namespace stanvex

#endif  // STANVEX_OBSFILES_CONCATENATE_H
