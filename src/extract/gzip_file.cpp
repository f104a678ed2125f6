// gzip decompression with zlib's gz* stream functions.
#include <cstring>
#include <memory>

#include "extract/extract_file.h"
#include "platform/platform.h"

namespace stanvex {

namespace {

// True when the file starts with the two gzip magic bytes. zlib would read
// any other file as plain data, so a server's error page saved under a .gz
// name would otherwise "decompress" into itself.
bool HasGzipMagic(const char* path) {
  std::FILE* file = platform::OpenForReading(path);
  if (file == nullptr) return false;
  unsigned char magic[2] = {0, 0};
  const size_t got = std::fread(magic, 1, sizeof magic, file);
  std::fclose(file);
  return got == sizeof magic && magic[0] == 0x1f && magic[1] == 0x8b;
}

}  // namespace

Result CopyGzipStream(gzFile& gz, std::FILE*& out, uint64_t limit, bool* tooLarge) {
  std::unique_ptr<char[]> buffer(new char[kGzipCopySize]);
  uint64_t total = 0;
  for (;;) {
    const int count = gzread(gz, buffer.get(), static_cast<unsigned>(kGzipCopySize));
    if (count < 0) return Result::Failure(nullptr, "Error in gzip read failed");
    if (count == 0) break;
    total += static_cast<uint64_t>(count);
    if (total > limit) {
      if (tooLarge != nullptr) *tooLarge = true;
      return Result::Failure(nullptr, "Error gzip output passes %llu bytes",
                             static_cast<unsigned long long>(limit));
    }
    if (std::fwrite(buffer.get(), 1, static_cast<size_t>(count), out) !=
        static_cast<size_t>(count))
      return Result::Failure(nullptr, "Error in gzip fwrite failed");
  }
  const int out_closed = std::fclose(out);
  out = nullptr;
  if (out_closed != 0) return Result::Failure(nullptr, "Error unable to close output file in gzip");
  // gzclose reports a stream that ended before its trailer (a cut file).
  const int gz_closed = gzclose(gz);
  gz = nullptr;
  if (gz_closed != Z_OK)
    return Result::Failure(nullptr, "Error unable to close INPUT file in gzip");
  return Result::Success();
}

Result GunzipFile(const char* input, const char* output, uint64_t limit, bool* tooLarge) {
  gzFile gz = gzopen(input, "rb");
  if (gz == nullptr)
    return Result::Failure(ResultKind::kNotFound, "Error unable to open the input file %s", input);
  if (!HasGzipMagic(input)) {
    gzclose(gz);
    return Result::Failure(nullptr, "Error gzip failed unzipping %s", input);
  }
  // Opening the output over the input would destroy it before it is read,
  // whatever name or link the output is given.
  const bool overInput = platform::SameFileName(input, output) || platform::SameFile(input, output);
  std::FILE* out = overInput ? nullptr : platform::CreateNewFile(output);
  if (out == nullptr) {
    gzclose(gz);
    return Result::Failure(nullptr, "Error unable to open the output file %s", output);
  }
  bool overLimit = false;
  const Result copied = CopyGzipStream(gz, out, limit, &overLimit);
  if (out != nullptr) std::fclose(out);
  if (gz != nullptr) gzclose(gz);
  if (!copied.ok) {
    // A half-written plain file must not pass for the real one.
    platform::DeleteFile(output);
    if (!overLimit) return Result::Failure(nullptr, "Error gzip failed unzipping %s", input);
    if (tooLarge != nullptr) *tooLarge = true;
    return Result::Failure(nullptr,
                           "Error gzip failed unzipping %s: it unpacks to more than %llu bytes",
                           input, static_cast<unsigned long long>(limit));
  }
  return Result::Success();
}

}  // namespace stanvex
