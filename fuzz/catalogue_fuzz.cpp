// Reads arbitrary bytes as a catalogue: first block by block with the block
// reader and the field conversions the catalogue uses, then as the maker's
// catalogue file loaded through iInitalizeNEW. Files live in a private
// temporary folder.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "base/block_reader.h"
#include "stanvex.h"

namespace {

std::string Directory;

void RemoveScratch() {
  for (const char* name : {"/manufact.dwn", "/combined.dwn", "/user.dwn"})
    std::remove((Directory + name).c_str());
  rmdir(Directory.c_str());
}

const std::string& ScratchDirectory() {
  if (Directory.empty()) {
    const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    Directory = std::string(base) + "/catalogue_fuzz_XXXXXX";
    if (!mkdtemp(Directory.data())) std::abort();
    std::atexit(RemoveScratch);
  }
  return Directory;
}

void ReadBlocks(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) std::abort();
  auto block = std::make_unique<stanvex::TextBlock>();
  for (int blocks = 0; blocks < 10000; ++blocks) {
    const stanvex::Result read = stanvex::ReadBlock(file, block.get());
    if (read.AtEnd() || (read.Failed() && read.kind != stanvex::ResultKind::kDamaged)) break;
    if (!read.ok) continue;
    if (block->count < 0 || block->count > stanvex::kBlockMaxEntries) __builtin_trap();
    char text[256];
    char small[8];
    char letter;
    int whole;
    float single;
    double value;
    long wide;
    stanvex::GetBlockField("sName:", block.get(), "%s", text);
    stanvex::GetBlockField("lat:", block.get(), "%f %f %f %c", &single, &single, &single, &letter);
    stanvex::GetBlockField("ftpAd:", block.get(), "%S", text);
    stanvex::GetBlockField("Ftype:", block.get(), "%4s", small);
    stanvex::GetBlockField("El1:", block.get(), "%d %le %ld", &whole, &value, &wide);
    stanvex::GetBlockField("name:", block.get(), "%7s%l", small, &wide);
  }
  std::fclose(file);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& directory = ScratchDirectory();
  const std::string path = directory + "/manufact.dwn";
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
  std::fclose(file);

  ReadBlocks(path);

  Serv_Sta catalogue{};
  catalogue.iServiceSize = 1041;
  catalogue.iStationSize = 98;
  std::string folder = directory;
  if (iInitalizeNEW(folder.data(), directory.c_str(), &catalogue) == 0) {
    if (catalogue.iNumStations < 0 || catalogue.iNumServices < 0) __builtin_trap();
  }
  vClearMem(&catalogue);
  return 0;
}
