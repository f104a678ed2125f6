// Decodes arbitrary bytes as a compact RINEX file, version 1.0 or 3.0 as its
// first line says. The input goes through a real file, as the decoder reads
// only files; the output is discarded.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

#include "crinex/crx2rnx.h"

namespace {

std::string Directory;
std::string Input;

void RemoveScratch() {
  std::remove(Input.c_str());
  rmdir(Directory.c_str());
}

const std::string& InputPath() {
  if (Input.empty()) {
    // A memory file system when there is one: the input is rewritten for
    // every run.
    const char* base = std::getenv("TMPDIR");
    if (!base || !*base) base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    Directory = std::string(base) + "/crinex_fuzz_XXXXXX";
    if (!mkdtemp(Directory.data())) std::abort();
    Input = Directory + "/input.crx";
    std::atexit(RemoveScratch);
  }
  return Input;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& path = InputPath();
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
  std::fclose(file);
  stanvex::Crx2Rnx(path.c_str(), "/dev/null");
  return 0;
}
