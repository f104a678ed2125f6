#include "base/paths.h"

#include <cstring>

#include "base/request_state.h"
#include "base/result.h"
#include "base/text.h"
#include "platform/platform.h"
#include "stanvex.h"

namespace stanvex {

namespace {
constexpr size_t kMaxName = 127;
}

Result JoinPath(char* directory, char* name) {
  size_t length = strnlen(directory, kMaxJoinDirectory + 1);
  if (length > kMaxJoinDirectory)
    return Result::Failure(nullptr, "Path is too long %s", directory);
  if (length == 0) return Result::Success();
  if (!platform::IsPathSeparator(directory[length - 1])) {
    directory[length] = platform::PathSeparator();
    directory[length + 1] = '\0';
    ++length;
  }
  char saved[kMaxName + 1];
  CopyText(saved, sizeof saved, name);
  CopyText(name, kPathSize, directory);
  AppendText(name, kPathSize, saved);
  return Result::Success();
}

Result CheckDirectory(const char* directory) {
  char remembered[kPathSize];
  bool have = platform::GetCurrentDir(remembered, sizeof remembered);
  bool entered = platform::SetCurrentDir(directory);
  if (have) platform::SetCurrentDir(remembered);
  if (!entered)
    return Result::Failure(nullptr, "Error: the directory %s does not exist",
                           directory ? directory : "");
  return Result::Success();
}

void StripTrailingBackslash(char* text) {
  size_t length = strnlen(text, kPathSize);
  if (length > 0 && platform::IsPathSeparator(text[length - 1])) text[length - 1] = '\0';
}

void ReplaceExtension(char* name, const char* extension) {
  size_t blanks = 0;
  while (name[blanks] == ' ') ++blanks;
  if (blanks > 0) std::memmove(name, name + blanks, strnlen(name + blanks, kPathSize - 1) + 1);
  size_t length = strnlen(name, kPathSize - 1);
  name[length] = '\0';
  const char* dot = std::strrchr(name, '.');
  const char* separator = nullptr;
  for (const char* p = name; *p != '\0'; ++p)
    if (platform::IsPathSeparator(*p)) separator = p;
  if (dot != nullptr && (separator == nullptr || dot > separator)) {
    size_t keep = static_cast<size_t>(dot - name);
    name[keep] = '\0';
  }
  AppendText(name, kPathSize, extension);
}

bool IsPlainFileName(const char* name, size_t size) {
  if (name == nullptr) return false;
  size_t length = strnlen(name, size);
  if (length == 0 || length == size) return false;
  if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) return false;
  for (size_t i = 0; i < length; ++i) {
    unsigned char c = static_cast<unsigned char>(name[i]);
    if (c < 0x20 || c == 0x7f || c == '/' || c == '\\' || c == ':') return false;
  }
  return true;
}

Result SetWorkingDirectory(const char* directory) {
  Result entered = CheckDirectory(directory);
  if (!entered.ok) return entered;
  if (std::strlen(directory) >= kDirectorySize)
    return Result::Failure(nullptr, "Error: the directory %s is too long", directory);
  CopyText(WorkingDirectory, sizeof WorkingDirectory, directory);
  return Result::Success();
}

}  // namespace stanvex
