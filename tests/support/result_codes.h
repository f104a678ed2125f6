// The codes the steps returned before they returned a Result, for tests
// written against them: the Result's failure leaves its message in
// LastErrorText as an export would, and becomes the old return value.
#ifndef STANVEX_TESTS_SUPPORT_RESULT_CODES_H
#define STANVEX_TESTS_SUPPORT_RESULT_CODES_H

#include <cstring>

#include "base/last_error.h"
#include "base/result.h"
#include "base/text.h"

namespace stanvex::testing {

// 1 for success, 0 for a failure.
inline int OneOrZero(const Result& result) {
  if (!result.ok) CopyText(LastErrorText, sizeof LastErrorText, result.message);
  return result.ok ? 1 : 0;
}

// 0 for success, -1 for a failure.
inline int ZeroOrMinusOne(const Result& result) { return OneOrZero(result) == 1 ? 0 : -1; }

// The code a binding of the internet library returned: 0 when bound; -1
// when the library cannot be loaded; 1..5 for the first missing entry point,
// in binding order.
inline int CodeOf(const Result& binding) {
  if (OneOrZero(binding) == 1) return 0;
  if (binding.kind == ResultKind::kNotFound) return -1;
  static const char* const kEntryPoints[] = {"InternetOpenA", "InternetConnectA", "FtpGetFileA",
                                             "InternetCloseHandle", "InternetSetStatusCallback"};
  for (int i = 0; i < 5; ++i)
    if (std::strstr(binding.message, kEntryPoints[i]) != nullptr) return i + 1;
  return -2;  // a failure that names no entry point
}

}  // namespace stanvex::testing

#endif  // STANVEX_TESTS_SUPPORT_RESULT_CODES_H
