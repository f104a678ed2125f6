// The parts of the platform interface that are the same on every system.
#include <cstdio>
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

// One injected fault: the next `left` targets whose path ends with suffix.
struct InjectedFault {
  std::string suffix;
  int left = 0;

  void Set(const char* text, int count) {
    suffix = text != nullptr ? text : "";
    left = text != nullptr ? count : 0;
  }

  bool Take(const char* target) {
    if (left <= 0 || target == nullptr) return false;
    size_t length = std::strlen(target);
    if (length < suffix.size() ||
        suffix.compare(0, std::string::npos, target + length - suffix.size()) != 0)
      return false;
    --left;
    return true;
  }
};

InjectedFault failingCreate;
InjectedFault failingWrite;

}  // namespace

void FailFileWritesForTesting(const char* suffix, int count) { failingCreate.Set(suffix, count); }

bool InjectedWriteFailure(const char* target) { return failingCreate.Take(target); }

void FailFileContentForTesting(const char* suffix, int count) { failingWrite.Set(suffix, count); }

bool InjectedContentFailure(const char* target) { return failingWrite.Take(target); }

std::FILE* RefuseWrites(std::FILE* file, const char* path) {
  // The file stays, empty; the stream is reopened for reading only, so every
  // write through it fails as the writer's writes fail on a full disk.
  return std::freopen(path, "rb", file);
}

}  // namespace stanvex::platform
