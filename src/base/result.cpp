#include "base/result.h"

#include <cstdarg>
#include <cstdio>

namespace stanvex {

Result Result::Failure(const char* heading, const char* format, ...) {
  Result result;
  result.ok = false;
  result.heading = heading;
  va_list args;
  va_start(args, format);
  std::vsnprintf(result.message, sizeof result.message, format, args);
  va_end(args);
  return result;
}

Result Result::Failure(ResultKind kind, const char* format, ...) {
  Result result;
  result.ok = false;
  result.kind = kind;
  va_list args;
  va_start(args, format);
  std::vsnprintf(result.message, sizeof result.message, format, args);
  va_end(args);
  return result;
}

Result Result::EndOfInput(const char* text) {
  Result result;
  result.ok = false;
  result.kind = ResultKind::kEndOfInput;
  CopyText(result.message, sizeof result.message, text);
  return result;
}

}  // namespace stanvex
