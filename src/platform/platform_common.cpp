// The parts of the platform interface that are the same on every system.
#include <cstring>
#include <string>

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

namespace {

std::string failing_suffix;
int failures_left = 0;

}  // namespace

void FailFileWritesForTesting(const char* suffix, int count) {
  failing_suffix = suffix != nullptr ? suffix : "";
  failures_left = suffix != nullptr ? count : 0;
}

bool InjectedWriteFailure(const char* target) {
  if (failures_left <= 0 || target == nullptr) return false;
  size_t length = std::strlen(target);
  if (length < failing_suffix.size() ||
      failing_suffix.compare(0, std::string::npos, target + length - failing_suffix.size()) != 0)
    return false;
  --failures_left;
  return true;
}

}  // namespace stanvex::platform
