// Extracts arbitrary bytes as a zip archive with the zip extraction library.
// The archive lives in a private temporary folder; members are extracted into
// its "out" folder, which is the current directory during the call. Anything
// that appears in the private folder besides the archive and "out" is a
// member that escaped, and a fault.
#include <dirent.h>
#include <ftw.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "unzipdll_api.h"

namespace {

std::string Directory;

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
  return std::remove(path);
}

void RemoveTree(const std::string& path) {
  nftw(path.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}

void RemoveScratch() { RemoveTree(Directory); }

const std::string& ScratchDirectory() {
  if (Directory.empty()) {
    const char* base = std::getenv("TMPDIR");
    if (!base || !*base) base = "/tmp";
    Directory = std::string(base) + "/zip_fuzz_XXXXXX";
    if (!mkdtemp(Directory.data())) std::abort();
    std::atexit(RemoveScratch);
  }
  return Directory;
}

// Only "input.zip" and "out" may exist in the private folder.
void CheckNothingEscaped(const std::string& directory) {
  DIR* folder = opendir(directory.c_str());
  if (!folder) std::abort();
  while (dirent* entry = readdir(folder)) {
    const char* name = entry->d_name;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0 ||
        std::strcmp(name, "input.zip") == 0 || std::strcmp(name, "out") == 0)
      continue;
    __builtin_trap();
  }
  closedir(folder);
}

int32_t UNZIPDLL_CALL IgnoreMessage(UnzipMessageBlock* message) {
  if (strnlen(message->text, sizeof message->text) >= sizeof message->text) __builtin_trap();
  return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& directory = ScratchDirectory();
  std::string archive = directory + "/input.zip";
  const std::string out = directory + "/out";
  std::FILE* file = std::fopen(archive.c_str(), "wb");
  if (!file) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
  std::fclose(file);
  RemoveTree(out);
  if (mkdir(out.c_str(), 0700) != 0) std::abort();

  char before[4096];
  if (!getcwd(before, sizeof before)) std::abort();
  if (chdir(out.c_str()) != 0) std::abort();
  char all[] = "*.*";
  char observation[] = "*.??o";
  UnzipCommand command{};
  command.version = GetUnzDllVersion();
  command.messageCallback = IgnoreMessage;
  command.extractFlag = 1;
  command.overwriteFlag = 1;
  command.archive = archive.data();
  command.optionBits = 7;
  // Half the inputs pick members by pattern, half take them all.
  if (size > 0 && (data[size - 1] & 1)) {
    command.fileSpecCount = 2;
    command.fileSpecs[0] = observation;
    command.fileSpecs[1] = all;
  }
  UnzDllExec(&command);
  if (chdir(before) != 0) std::abort();
  CheckNothingEscaped(directory);
  return 0;
}
