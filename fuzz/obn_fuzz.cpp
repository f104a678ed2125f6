// Reads arbitrary bytes as an OBN file: the header, then every epoch until the
// end or the first damaged one, and copies the good epochs into a second OBN
// file. Both files live in a private temporary folder.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "obsfiles/obn_file.h"

namespace {

std::string Directory;

void RemoveScratch() {
  std::remove((Directory + "/input.obn").c_str());
  std::remove((Directory + "/copy.obn").c_str());
  rmdir(Directory.c_str());
}

const std::string& ScratchDirectory() {
  if (Directory.empty()) {
    const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    Directory = std::string(base) + "/obn_fuzz_XXXXXX";
    if (!mkdtemp(Directory.data())) std::abort();
    std::atexit(RemoveScratch);
  }
  return Directory;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input = ScratchDirectory() + "/input.obn";
  const std::string copy = ScratchDirectory() + "/copy.obn";
  std::FILE* file = std::fopen(input.c_str(), "wb");
  if (!file) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
  std::fclose(file);

  // Epoch by epoch into records of the reader's own room.
  stanvex::ObnFile* obn = nullptr;
  if (!stanvex::OpenObnForRead(input.c_str(), 4096, &obn).ok) return 0;
  stanvex::ObnPositionRecord position{};
  stanvex::ObnMeasurementRecord measurements[stanvex::kObnReaderRoom]{};
  for (int epoch = 0; epoch < 100000 && stanvex::ReadObnEpoch(obn, &position, measurements).ok;
       ++epoch) {
  }
  stanvex::CloseObn(obn);

  // A second pass with a small room: records beyond it are skipped.
  if (!stanvex::OpenObnForRead(input.c_str(), 0, &obn).ok) __builtin_trap();  // opened a moment ago
  for (int epoch = 0; epoch < 100000; ++epoch) {
    const stanvex::Result read = stanvex::ReadObnEpoch(obn, &position, measurements, 2);
    if (!read.ok && read.kind != stanvex::ResultKind::kDamaged) break;
  }
  stanvex::CloseObn(obn);

  // Whole-file copy through the writer, with the input's own header values.
  if (!stanvex::OpenObnForRead(input.c_str(), 0, &obn).ok) __builtin_trap();
  stanvex::ObnFile* out = nullptr;
  if (stanvex::CreateObn(copy.c_str(), 0, obn->header.interval, 0, obn->header.maxChannels, &out)
          .ok) {
    stanvex::CopyObnEpochs(obn, out);
    stanvex::CloseObn(out);
  }
  stanvex::CloseObn(obn);
  return 0;
}
