// A simulated three-day archive shared by the retrieval tests: made once per
// build tree (each test program run is a separate process) and reused.
#ifndef STANVEX_TESTS_SUPPORT_SAMPLE_ARCHIVE_CACHE_H
#define STANVEX_TESTS_SUPPORT_SAMPLE_ARCHIVE_CACHE_H

#include <cstdint>
#include <string>

#include "sample_archive.h"

namespace stanvex::testing {

// The simulated archive of options (its outDir is ignored) under
// <build>/test-data/<name>: made on first use by any test process, renamed
// into place when complete, reused afterwards. Empty when it cannot be made.
std::string CachedArchive(const std::string& name, sim::ArchiveOptions options);

// The archive's days: 2022-12-31 (a Saturday, the last day of a GPS week and
// of a year), 2023-01-01 and 2023-01-02, at 30 s.
int64_t ArchiveFirstDay();

// The folder holding catalogue/, archive/ and stations.txt; made on first
// use. Empty when it could not be made.
std::string SampleArchive();

}  // namespace stanvex::testing

#endif
