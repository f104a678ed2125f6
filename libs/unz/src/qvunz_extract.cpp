// QvUnZ_Extract: file-level wrapper of the decoder with the thrown int codes.
#include <cstdio>
#include <cstring>

#include "unz.h"
#include "platform/platform.h"

namespace {

// Closes the streams and removes a begun output before a failure is thrown.
class Files {
 public:
  explicit Files(const char* outputName) : outputName_(outputName) {}
  ~Files() {
    if (input != nullptr) std::fclose(input);
    if (output != nullptr) {
      std::fclose(output);
      stanvex::platform::DeleteFile(outputName_);
    }
  }
  // Closes the output; false when the final write-out failed.
  bool CloseOutput() {
    const bool ok = std::fclose(output) == 0;
    output = nullptr;
    return ok;
  }
  std::FILE* input = nullptr;
  std::FILE* output = nullptr;

 private:
  const char* outputName_;
};

}  // namespace

extern "C" UNZ_API void QvUnZ_Extract(const char* input, const char* output) {
  if (input == nullptr) throw static_cast<int>(UNZ_INPUT_NOT_OPENED);
  // Writing the output over the input would destroy the input before it is read.
  if (output == nullptr || std::strcmp(input, output) == 0)
    throw static_cast<int>(UNZ_OUTPUT_NOT_OPENED);
  Files files(output);
  files.input = stanvex::platform::OpenForReading(input);
  if (files.input == nullptr) throw static_cast<int>(UNZ_INPUT_NOT_OPENED);

  // Check the magic before the output is created, so that a file of another
  // kind leaves nothing behind.
  unsigned char magic[2];
  const size_t got = std::fread(magic, 1, sizeof magic, files.input);
  if (got < sizeof magic && std::ferror(files.input)) throw static_cast<int>(UNZ_INPUT_NOT_OPENED);
  if (got < sizeof magic || magic[0] != 0x1f || magic[1] != 0x9d)
    throw static_cast<int>(UNZ_NOT_Z_FILE);
  if (std::fseek(files.input, 0, SEEK_SET) != 0) throw static_cast<int>(UNZ_INPUT_NOT_OPENED);

  files.output = stanvex::platform::CreateNewFile(output);
  if (files.output == nullptr) throw static_cast<int>(UNZ_OUTPUT_NOT_OPENED);
  const int result = UnzDecompressStream(files.input, files.output);
  if (result != 0) throw result;
  if (!files.CloseOutput()) {
    stanvex::platform::DeleteFile(output);
    throw static_cast<int>(UNZ_WRITE_FAILED);
  }
}
