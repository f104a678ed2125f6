// The parts of the platform interface that are the same on every system.
#include <cstring>

#include "platform/platform.h"

namespace stanvex::platform {

void UndecorateName(const char* decorated, char* out, size_t size) {
  if (size == 0) return;
  const char* begin = decorated;
  size_t length = std::strlen(decorated);
  const char* at = std::strrchr(decorated, '@');
  if (decorated[0] == '_' && at != nullptr && at > decorated + 1) {
    begin = decorated + 1;  // "_Fn@12" -> "Fn"
    length = static_cast<size_t>(at - begin);
  }
  if (length >= size) length = size - 1;
  std::memcpy(out, begin, length);
  out[length] = '\0';
}

}  // namespace stanvex::platform
