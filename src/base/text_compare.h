// Comparison of keyword-block texts (keywords, station names) without regard
// to case.
#ifndef STANVEX_BASE_TEXT_COMPARE_H
#define STANVEX_BASE_TEXT_COMPARE_H

#include <cctype>
#include <cstddef>

namespace stanvex {

// Compares at most limit characters of a and b after folding ASCII letters
// to lower case. Returns <0, 0 or >0.
inline int FoldedCompare(const char* a, const char* b, size_t limit) {
  for (size_t i = 0; i < limit; ++i) {
    int ca = std::tolower(static_cast<unsigned char>(a[i]));
    int cb = std::tolower(static_cast<unsigned char>(b[i]));
    if (ca != cb) return ca - cb;
    if (ca == '\0') return 0;
  }
  return 0;
}

}  // namespace stanvex

#endif  // STANVEX_BASE_TEXT_COMPARE_H
