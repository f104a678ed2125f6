#include "base/last_error.h"

#include <cstdarg>
#include <cstdio>

namespace stanvex {

char LastErrorText[kTextSize];

void SetLastErrorText(const char* format, ...) {
  char buffer[kTextSize];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  CopyText(LastErrorText, sizeof LastErrorText, buffer);
}

void AppendLastErrorText(const char* text) { AppendText(LastErrorText, sizeof LastErrorText, text); }

}  // namespace stanvex
