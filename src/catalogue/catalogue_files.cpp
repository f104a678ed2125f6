// Joining of the maker's and the user's catalogue files.
#include <cstdlib>
#include <string>

#include "catalogue/catalogue.h"
#include "platform/platform.h"

namespace stanvex {

namespace {

constexpr size_t kLineBufferSize = 512;
constexpr size_t kPieceLength = 499;

// Reads up to kPieceLength characters, through the first newline, into
// buffer. Returns the number of characters read (0 at end of file).
size_t ReadPiece(FILE* input, char* buffer) {
  size_t length = 0;
  while (length < kPieceLength) {
    int c = std::getc(input);
    if (c == EOF) break;
    buffer[length++] = static_cast<char>(c);
    if (c == '\n') break;
  }
  return length;
}

Result NoMemory() {
  return Result::Failure(nullptr, "Memory Allocation Error in ConcatenateTwoASCIIFiles");
}

Result DiskFull(const char* output) {
  return Result::Failure(nullptr, "Disk-full writing to '%s'", output);
}

}  // namespace

std::string DescribeLine(const CatalogueOrigin& origin, int32_t line) {
  if (origin.userFirstLine > 0 && line >= origin.userFirstLine)
    return "user.dwn line " + std::to_string(line - origin.userFirstLine + 1);
  return std::string(origin.firstFile) + " line " + std::to_string(line);
}

Result AppendTextFile(FILE* input, FILE* output, const char* outputName, int32_t* lines) {
  int32_t newlines = 0;
  if (lines != nullptr) *lines = 0;
  if (input == nullptr) return Result::Success();
  char* buffer = static_cast<char*>(std::malloc(kLineBufferSize));
  if (buffer == nullptr) return NoMemory();
  int result = 0;
  bool written = false;
  char last = '\n';
  for (;;) {
    size_t length = ReadPiece(input, buffer);
    if (length == 0) break;
    if (std::fwrite(buffer, 1, length, output) != length) {
      result = 1;
      break;
    }
    written = true;
    last = buffer[length - 1];
    if (last == '\n') ++newlines;
  }
  // The next file must start on a line of its own.
  if (result == 0 && written && last != '\n') {
    if (std::fputc('\n', output) == EOF) result = 1;
    ++newlines;
  }
  std::free(buffer);
  if (lines != nullptr) *lines = newlines;
  return result == 0 ? Result::Success() : DiskFull(outputName);
}

Result ConcatenateTwoASCIIFiles(const char* first, const char* second, const char* output,
                                int32_t* joined, int32_t* firstLines) {
  *joined = 0;
  FILE* in1 = platform::OpenForReading(first);
  FILE* in2 = platform::OpenForReading(second);
  if (in1 == nullptr && in2 == nullptr) return Result::Success();
  auto close_inputs = [&] {
    if (in1 != nullptr) std::fclose(in1);
    if (in2 != nullptr) std::fclose(in2);
  };
  FILE* out = platform::CreateNewFile(output);
  if (out == nullptr) {
    close_inputs();
    return Result::Failure(nullptr, "Could not open temporary file '%s'", output);
  }
  Result appended = AppendTextFile(in1, out, output, firstLines);
  if (appended.ok) appended = AppendTextFile(in2, out, output);
  // A full disk may only show when the buffered text is flushed.
  bool closed = std::fclose(out) == 0;
  close_inputs();
  if (!appended.ok) return appended;
  if (!closed) return DiskFull(output);
  *joined = (in1 != nullptr ? 1 : 0) + (in2 != nullptr ? 2 : 0);
  return Result::Success();
}

}  // namespace stanvex
