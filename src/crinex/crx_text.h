// Small text helpers of the compact RINEX decoder.
#ifndef STANVEX_CRINEX_CRX_TEXT_H
#define STANVEX_CRINEX_CRX_TEXT_H

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace stanvex {

// Reads a decimal integer from [text, end): leading blanks skipped, an
// optional sign, then the digits up to the first other character; no digits
// read as 0. Returns false when the number doesn't fit 32 bits (value then
// holds the nearest 32-bit value).
inline bool ReadDecimal(const char* text, const char* end, int32_t* value) {
  while (text < end && *text == ' ') ++text;
  bool negative = false;
  if (text < end && (*text == '-' || *text == '+')) negative = *text++ == '-';
  int64_t magnitude = 0;
  const int64_t limit = negative ? int64_t{2147483648} : int64_t{2147483647};
  bool fits = true;
  for (; text < end && *text >= '0' && *text <= '9'; ++text) {
    magnitude = magnitude * 10 + (*text - '0');
    if (magnitude > limit) {
      magnitude = limit;
      fits = false;
    }
  }
  *value = static_cast<int32_t>(negative ? -magnitude : magnitude);
  return fits;
}

// The decimal integer that opens column (1-based) of a NUL-ended line; 0
// when the line is shorter.
inline int32_t IntegerAtColumn(const char* line, size_t column) {
  size_t length = std::strlen(line);
  if (length < column) return 0;
  int32_t value = 0;
  ReadDecimal(line + column - 1, line + length, &value);
  return value;
}

// True when the NUL-ended line carries label at column 61.
inline bool HasLabel(const char* line, const char* label) {
  size_t size = std::strlen(label);
  size_t length = std::strlen(line);
  return length >= 60 + size && std::memcmp(line + 60, label, size) == 0;
}

}  // namespace stanvex

#endif  // STANVEX_CRINEX_CRX_TEXT_H
