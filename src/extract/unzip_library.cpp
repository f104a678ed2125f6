#include "extract/unzip_library.h"

#include <cstddef>
#include <cstring>
#include <string>
#include <utility>

namespace stanvex {

namespace {
constexpr size_t kSavedDirectorySize = 261;  // 260 characters and a terminator

Result CannotLoad() {
  return Result::Failure(nullptr, "Error Initalizing UnZip.  Might be missing UNZDLL.DLL");
}

Result CannotExtract(const char* archive) {
  return Result::Failure(nullptr, "Error UnZip was unable unzip the file %s",
                         archive != nullptr ? archive : "");
}
}  // namespace

const platform::EntryPoint UnzipLibrary::kEntryPoints[2] = {
    {"_GetUnzDllVersion@0", offsetof(EntryPoints, getVersion), true},
    {"_UnzDllExec@4", offsetof(EntryPoints, exec), true},
};

UnzipLibrary::~UnzipLibrary() { UnloadUnzipLibrary(); }

Result UnzipLibrary::LoadUnzipLibrary() {
  if (IsLoaded()) return Result::Success();
  platform::LoadedLibrary library = platform::LoadedLibrary::Open(name_);
  if (!library.IsOpen()) {
    state_ = kNotLoaded;
    return CannotLoad();
  }
  EntryPoints entries{};
  if (platform::FindEntryPoints(library, entries, kEntryPoints) >= 0) {
    state_ = kEntryPointMissing;
    return CannotLoad();  // the library is released here
  }
  library_ = std::move(library);
  entries_ = entries;
  return Result::Success();
}

Result UnzipLibrary::UnloadUnzipLibrary() {
  entries_ = EntryPoints{};
  library_.Close();
  return Result::Success();
}

Result UnzipLibrary::GetUnzipVersion(int32_t* version) {
  *version = 0;
  if (!IsLoaded()) {
    state_ = kVersionWithoutLibrary;
    return Result::Failure(nullptr, "Error the zip library %s is not loaded", name_);
  }
  *version = entries_.getVersion();
  return Result::Success();
}

int32_t UNZIPDLL_CALL UnzipLibrary::UnzipMessage(UnzipMessageBlock* /*message*/) { return 0; }

Result UnzipLibrary::ExtractAll(const char* archive, const char* directory) {
  if (!IsLoaded() || archive == nullptr || directory == nullptr) return CannotExtract(archive);
  char saved[kSavedDirectorySize];
  if (!platform::GetCurrentDir(saved, sizeof saved)) return CannotExtract(archive);

  // The library works in the directory it is given, so an archive path that
  // starts with neither a separator nor a drive letter is made absolute first.
  std::string path(archive);
  if (path.empty() ||
      !(platform::IsPathSeparator(path[0]) || (path.size() > 1 && path[1] == ':'))) {
    std::string base(saved);
    if (!base.empty() && !platform::IsPathSeparator(base.back())) base += platform::PathSeparator();
    path = base + path;
  }
  if (!platform::SetCurrentDir(directory)) return CannotExtract(archive);

  int32_t version = 0;
  GetUnzipVersion(&version);  // loaded: cannot fail here
  UnzipCommand command{};
  command.version = version;
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
  return result == 0 ? Result::Success() : CannotExtract(archive);
}

}  // namespace stanvex
