// Encodes arbitrary bytes with the simulator's compact RINEX encoders (1.0
// and 3.0): whatever the text, each either encodes it or refuses it with a
// message, within its buffers.
#include <cstddef>
#include <cstdint>
#include <string>

#include "crinex_encoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::string compact, error;
  stanvex::sim::EncodeCompactRinex(text, &compact, &error);
  stanvex::sim::EncodeCompactRinex3(text, &compact, &error);
  return 0;
}
