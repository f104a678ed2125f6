// The outcome of the work below an export: success, or a failure carrying the
// reason that the export puts into LastErrorText and, for the frame's
// requests (iInitalizeNEW, iFindClosestStation, iFTP), the heading it sends
// with code 144. Only the exports (src/api/exports.cpp) turn a Result into
// the library's last error and status; the functions that return one send
// no heading of their own.
#ifndef STANVEX_BASE_RESULT_H
#define STANVEX_BASE_RESULT_H

#include "base/text.h"

namespace stanvex {

struct Result {
  bool ok = true;
  // Static text sent as the heading; null when the failure has none (it came
  // before the frame existed, or the failing step sent its own).
  const char* heading = nullptr;
  char message[kTextSize] = "";

  static Result Success() { return Result{}; }

  // A failure with a composed reason (printf style, cut to fit).
  static Result Failure(const char* heading, const char* format, ...)
#if defined(__GNUC__)
      __attribute__((format(printf, 2, 3)))
#endif
      ;

  // A failure whose reason a step below has already written into
  // LastErrorText (the steps whose shapes the interface fixes report so).
  static Result FailureFromLastError(const char* heading = nullptr);
};

}  // namespace stanvex

#endif  // STANVEX_BASE_RESULT_H
