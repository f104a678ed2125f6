// Feeds arbitrary bytes to the .Z decoder: every input must end in success or
// a failure code, never outside the decoder's buffers.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "unz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::FILE* sink = std::fopen("/dev/null", "wb");
  if (size == 0 || sink == nullptr) return 0;
  std::FILE* input = fmemopen(const_cast<uint8_t*>(data), size, "rb");
  if (input == nullptr) return 0;
  const int result = UnzDecompressStream(input, sink);
  std::fclose(input);
  if (result < 0 || result > UNZ_CORRUPT) __builtin_trap();
  return 0;
}
