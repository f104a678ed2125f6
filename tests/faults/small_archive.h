// A small simulated archive for the fault and soak tests: two days
// (2023-01-01 and 2023-01-02) at 300 s, so that a request converts a few
// hundred epochs. Made once per build tree and reused.
#ifndef STANVEX_TESTS_FAULTS_SMALL_ARCHIVE_H
#define STANVEX_TESTS_FAULTS_SMALL_ARCHIVE_H

#include <cstdint>
#include <string>

namespace stanvex::testing {

// 2023-01-01 00:00:00 in GPS seconds.
int64_t SmallArchiveFirstDay();

// The folder holding catalogue/ and archive/; empty when it cannot be made.
std::string SmallArchive();

}  // namespace stanvex::testing

#endif
