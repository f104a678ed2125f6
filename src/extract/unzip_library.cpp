#include "extract/unzip_library.h"

#include <cstddef>
#include <cstring>
#include <string>
#include <utility>

namespace stanvex {

namespace {
constexpr size_t kSavedDirectorySize = 261;  // 260 characters and a terminator
}  // namespace

const platform::EntryPoint UnzipLibrary::kEntryPoints[2] = {
    {"_GetUnzDllVersion@0", offsetof(EntryPoints, getVersion), true},
    {"_UnzDllExec@4", offsetof(EntryPoints, exec), true},
};

UnzipLibrary::~UnzipLibrary() { UnloadUnzipLibrary(); }

int UnzipLibrary::LoadUnzipLibrary() {
  if (IsLoaded()) return 1;
  platform::LoadedLibrary library = platform::LoadedLibrary::Open(name_);
  if (!library.IsOpen()) {
    state_ = kNotLoaded;
    return 0;
  }
  EntryPoints entries{};
  if (platform::FindEntryPoints(library, entries, kEntryPoints) >= 0) {
    state_ = kEntryPointMissing;
    return 0;  // the library is released here
  }
  library_ = std::move(library);
  entries_ = entries;
  return 1;
}

int UnzipLibrary::UnloadUnzipLibrary() {
  entries_ = EntryPoints{};
  library_.Close();
  return 1;
}

int UnzipLibrary::GetUnzipVersion() {
  if (!IsLoaded()) {
    state_ = kVersionWithoutLibrary;
    return 0;
  }
  return entries_.getVersion();
}

int32_t UNZIPDLL_CALL UnzipLibrary::UnzipMessage(UnzipMessageBlock* /*message*/) { return 0; }

int UnzipLibrary::ExtractAll(const char* archive, const char* directory) {
  if (!IsLoaded() || archive == nullptr || directory == nullptr) return 0;
  char saved[kSavedDirectorySize];
  if (!platform::GetCurrentDir(saved, sizeof saved)) return 0;

  // The library works in the directory it is given, so an archive path that
  // starts with neither a separator nor a drive letter is made absolute first.
  std::string path(archive);
  if (path.empty() ||
      !(platform::IsPathSeparator(path[0]) || (path.size() > 1 && path[1] == ':'))) {
    std::string base(saved);
    if (!base.empty() && !platform::IsPathSeparator(base.back())) base += platform::PathSeparator();
    path = base + path;
  }
  if (!platform::SetCurrentDir(directory)) return 0;

  UnzipCommand command{};
  command.version = GetUnzipVersion();
  command.messageCallback = &UnzipLibrary::UnzipMessage;
  command.extractFlag = 1;
  command.overwriteFlag = 1;
  command.fileSpecCount = 1;
  command.archive = new char[path.size() + 1];
  std::memcpy(command.archive, path.c_str(), path.size() + 1);
  command.optionBits = 7;
  command.fileSpecs[0] = new char[kUnzipFileSpecSize];
  std::memset(command.fileSpecs[0], 0, kUnzipFileSpecSize);
  std::memcpy(command.fileSpecs[0], "*.*", 4);

  const int32_t result = entries_.exec(&command);

  delete[] command.archive;
  for (int32_t i = 0; i < command.fileSpecCount; ++i) delete[] command.fileSpecs[i];
  platform::SetCurrentDir(saved);
  return result == 0 ? 1 : 0;
}

}  // namespace stanvex
