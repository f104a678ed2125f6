// The day the transfer tests fetch.
#ifndef STANVEX_TESTS_FTP_TEST_DAY_H
#define STANVEX_TESTS_FTP_TEST_DAY_H

#include <cstdint>

namespace stanvex {

// 2002-02-03 00:00 in GPS seconds: day of year 34, a Sunday, GPS week 1152.
constexpr int32_t kFeb3rd2002 = 1152 * 604800;

}  // namespace stanvex

#endif  // STANVEX_TESTS_FTP_TEST_DAY_H
