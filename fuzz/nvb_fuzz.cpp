// Reads arbitrary bytes as an NVB file in both its forms (tagged "$EPHREC"
// blocks and plain six-line groups) and takes its reference time. The input
// lives in a private temporary folder.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "obsfiles/nvb_file.h"

namespace {

std::string Input;
std::string Directory;

void RemoveScratch() {
  std::remove(Input.c_str());
  rmdir(Directory.c_str());
}

const std::string& InputPath() {
  if (Input.empty()) {
    const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    Directory = std::string(base) + "/nvb_fuzz_XXXXXX";
    if (!mkdtemp(Directory.data())) std::abort();
    Input = Directory + "/input.nvb";
    std::atexit(RemoveScratch);
  }
  return Input;
}

// A table entry outside its documented range, or a count beyond the table,
// is a reader fault.
void CheckTable(int count, const stanvex::EphemerisTime* table) {
  if (count > stanvex::kEphemerisTableSize) __builtin_trap();
  for (int i = 0; i < count; ++i) {
    if (table[i].week < 0 || table[i].week > 9999) __builtin_trap();
    if (table[i].seconds < 0 || table[i].seconds > 604800) __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& path = InputPath();
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
  std::fclose(file);

  stanvex::EphemerisTime table[stanvex::kEphemerisTableSize];
  int count = 0;
  if (stanvex::ReadNvbTagged(path.c_str(), table, &count).ok) CheckTable(count, table);
  count = 0;
  if (stanvex::ReadNvbPlain(path.c_str(), table, &count).ok) CheckTable(count, table);
  int32_t week = -1;
  double seconds = -1;
  stanvex::GetNvbReference(path.c_str(), &week, &seconds);
  return 0;
}
