// Joins arbitrary bytes as up to three RINEX observation files (the input
// split at lines "=====") and checks that every line written stays within
// the join's bound. The inputs go through real files, as the join reads
// only files.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

#include "crinex/rinex_join.h"

namespace {

std::string Directory;

void RemoveScratch() {
  for (const char* name : {"/0", "/1", "/2", "/out"}) std::remove((Directory + name).c_str());
  rmdir(Directory.c_str());
}

const std::string& ScratchDirectory() {
  if (Directory.empty()) {
    const char* base = std::getenv("TMPDIR");
    if (!base || !*base) base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    Directory = std::string(base) + "/rinex_join_fuzz_XXXXXX";
    if (!mkdtemp(Directory.data())) std::abort();
    std::atexit(RemoveScratch);
  }
  return Directory;
}

void WriteWhole(const std::string& path, const std::string& text) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) std::abort();
  if (!text.empty() && std::fwrite(text.data(), 1, text.size(), file) != text.size()) std::abort();
  std::fclose(file);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& dir = ScratchDirectory();
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::string paths[3];
  stanvex::JoinInput inputs[3] = {};
  int32_t count = 0;
  for (size_t start = 0; count < 3 && start <= text.size(); ++count) {
    size_t end = text.find("\n=====\n", start);
    if (end == std::string::npos) end = text.size();
    paths[count] = dir + "/" + std::to_string(count);
    WriteWhole(paths[count], text.substr(start, end - start + (end < text.size() ? 1 : 0)));
    inputs[count].path = paths[count].c_str();
    start = end + 7;
  }
  const std::string output = dir + "/out";
  std::remove(output.c_str());
  stanvex::JoinRinexObservations(inputs, count, output.c_str());
  for (const stanvex::JoinInput& input : inputs)
    if (input.path != nullptr && input.problem[stanvex::kJoinProblemSize - 1] != '\0')
      __builtin_trap();
  FILE* joined = std::fopen(output.c_str(), "rb");
  if (joined == nullptr) return 0;
  size_t length = 0;
  for (int c; (c = std::fgetc(joined)) != EOF;) {
    length = c == '\n' ? 0 : length + 1;
    if (length > stanvex::kJoinMaxLineLength + 1) __builtin_trap();
  }
  std::fclose(joined);
  return 0;
}
