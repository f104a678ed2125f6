// The record that carries one retrieval request through its days: the
// day's files, which the download fills (see transfer/day_files.h), and the
// working folder the files are unpacked in.
//
// Ownership: the retrieval request makes one DayJob (zeroed) per request and
// releases it when the day loop ends.
#ifndef STANVEX_PIPELINE_DAY_JOB_H
#define STANVEX_PIPELINE_DAY_JOB_H

#include <cstddef>

#include "transfer/day_files.h"

namespace stanvex {

constexpr size_t kDayJobDirSize = 256;

// The download sees the DayFiles part only.
struct DayJob : DayFiles {
  char workDir[kDayJobDirSize];  // copy of WorkingDirectory
};

}  // namespace stanvex

#endif  // STANVEX_PIPELINE_DAY_JOB_H
