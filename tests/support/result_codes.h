// The codes the steps returned before they returned a Result, for tests
// written against them: the Result's failure leaves its message in
// LastErrorText as an export would, and becomes the old return value.
#ifndef STANVEX_TESTS_SUPPORT_RESULT_CODES_H
#define STANVEX_TESTS_SUPPORT_RESULT_CODES_H

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

// The code of an outcome that carries one beside its Result (code, result).
template <typename Outcome>
int CodeOf(const Outcome& outcome) {
  OneOrZero(outcome.result);
  return outcome.code;
}

}  // namespace stanvex::testing

#endif  // STANVEX_TESTS_SUPPORT_RESULT_CODES_H
