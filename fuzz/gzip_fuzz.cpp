// Feeds arbitrary bytes, as a downloaded file, to the gzip path: a failure
// must leave neither the download's plain file nor a partial one behind.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "extract/extract_file.h"
#include "platform/platform.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string base = "/tmp/stanvex_gzip_fuzz_" + std::to_string(getpid());
  const std::string input = base + ".gz";
  const std::string output = base + ".out";
  std::FILE* file = std::fopen(input.c_str(), "wb");
  if (file == nullptr) return 0;
  std::fwrite(data, 1, size, file);
  std::fclose(file);
  char type[stanvex::kCompressionTypeSize] = "gz";
  const bool ok = stanvex::ExtractFile(type, input.c_str(), output.c_str(), "/tmp").ok;
  if (stanvex::platform::FileExists(input.c_str())) __builtin_trap();  // always deleted
  if (!ok && stanvex::platform::FileExists(output.c_str())) __builtin_trap();
  stanvex::platform::DeleteFile(output.c_str());
  return 0;
}
