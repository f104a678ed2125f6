// The library's last error: the text an export leaves for the host to read
// after a failure.
//
// Threads: written only by the thread that runs the current request.
#ifndef STANVEX_BASE_LAST_ERROR_H
#define STANVEX_BASE_LAST_ERROR_H

#include "base/text.h"

namespace stanvex {

extern char LastErrorText[kTextSize];

// Replaces LastErrorText with a printf-style message, cut to fit.
void SetLastErrorText(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Appends to LastErrorText, cut to fit.
void AppendLastErrorText(const char* text);

}  // namespace stanvex

#endif  // STANVEX_BASE_LAST_ERROR_H
