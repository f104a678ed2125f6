#include "member_names.h"

#include <cstring>

namespace unzipdll {

namespace {
bool IsSeparator(char c) { return c == '/' || c == '\\'; }
}  // namespace

bool IsSafeMemberName(const char* name) {
  if (name == nullptr || name[0] == '\0') return false;
  if (IsSeparator(name[0])) return false;
  if (std::strchr(name, ':') != nullptr) return false;  // drive letters, streams
  const char* component = name;
  for (const char* p = name;; ++p) {
    if (*p == '\0' || IsSeparator(*p)) {
      if (p - component == 2 && component[0] == '.' && component[1] == '.') return false;
      if (*p == '\0') return true;
      component = p + 1;
    }
  }
}

bool MatchesFileSpec(const char* pattern, const char* name) {
  if (std::strcmp(pattern, "*.*") == 0) return true;
  // Iterative matching with one backtrack point: linear in practice and no
  // recursion whatever the pattern.
  const char* star = nullptr;
  const char* resume = nullptr;
  while (*name != '\0') {
    if (*pattern == '*') {
      star = pattern++;
      resume = name;
    } else if (*pattern == '?' || *pattern == *name) {
      ++pattern;
      ++name;
    } else if (star != nullptr) {
      pattern = star + 1;
      name = ++resume;
    } else {
      return false;
    }
  }
  while (*pattern == '*') ++pattern;
  return *pattern == '\0';
}

}  // namespace unzipdll
