#include "private_folder.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "command.h"
#include "platform/platform.h"

namespace fs = std::filesystem;

namespace stanvex::cli {

PrivateFolder::PrivateFolder(const char* prefix) {
  char made[256];
  if (!platform::MakeTempDirectory(prefix, made, sizeof made))
    throw CommandFailure{"cannot make a temporary folder"};
  path_ = made;
}

PrivateFolder::~PrivateFolder() {
  if (!keep_) platform::RemoveTree(path_.c_str());
}

std::string PrivateFolder::File(const std::string& name) const {
  return (fs::path(path_) / name).string();
}

std::string StageCatalogue(const std::string& source, const PrivateFolder& folder) {
  const std::string staged = folder.File("catalogue");
  if (!platform::MakeDirectory(staged.c_str()))
    throw CommandFailure{"cannot make the folder " + staged};
  bool found = false;
  for (const char* name : {"manufact.dwn", "user.dwn"}) {
    const std::string file = (fs::path(source) / name).string();
    if (!platform::FileExists(file.c_str())) continue;
    const std::string copy = (fs::path(staged) / name).string();
    if (!platform::CopyFile(file.c_str(), copy.c_str(), false))
      throw CommandFailure{"cannot copy " + file};
    found = true;
  }
  if (!found) throw CommandFailure{"no manufact.dwn or user.dwn in " + source};
  return staged;
}

bool HoldsObservationFiles(const std::string& folder) {
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
    std::string extension = entry.path().extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (extension == ".obn" || extension == ".nvb" || extension == ".sta") return true;
  }
  return false;
}

bool HoldsFiles(const std::string& folder) {
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder, error))
    if (entry.is_regular_file(error)) return true;
  return false;
}

}  // namespace stanvex::cli
