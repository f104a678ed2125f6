// Bounded copying into the library's fixed-size text buffers.
#ifndef STANVEX_BASE_TEXT_H
#define STANVEX_BASE_TEXT_H

#include <cstddef>

namespace stanvex {

// The size of the library's message texts: LastErrorText and StatusRecord::text.
constexpr size_t kTextSize = 512;

// Bounded copy: at most size-1 bytes and a NUL. A null source copies "".
void CopyText(char* destination, size_t size, const char* source);

// Bounded append to a NUL-terminated text in a buffer of size bytes.
void AppendText(char* destination, size_t size, const char* source);

}  // namespace stanvex

#endif  // STANVEX_BASE_TEXT_H
