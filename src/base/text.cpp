#include "base/text.h"

#include <cstring>

namespace stanvex {

void CopyText(char* destination, size_t size, const char* source) {
  if (size == 0) return;
  if (source == nullptr) source = "";
  size_t length = strnlen(source, size - 1);
  std::memmove(destination, source, length);
  destination[length] = '\0';
}

void AppendText(char* destination, size_t size, const char* source) {
  if (size == 0 || source == nullptr) return;
  size_t used = strnlen(destination, size - 1);
  CopyText(destination + used, size - used, source);
}

}  // namespace stanvex
