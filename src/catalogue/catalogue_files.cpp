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

}  // namespace

std::string DescribeLine(const CatalogueOrigin& origin, int32_t line) {
  if (origin.userFirstLine > 0 && line >= origin.userFirstLine)
    return "user.dwn line " + std::to_string(line - origin.userFirstLine + 1);
  return std::string(origin.firstFile) + " line " + std::to_string(line);
}

int AppendTextFile(FILE* input, FILE* output, int32_t* lines) {
  int32_t newlines = 0;
  if (lines != nullptr) *lines = 0;
  if (input == nullptr) return 0;
  char* buffer = static_cast<char*>(std::malloc(kLineBufferSize));
  if (buffer == nullptr) return -1;
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
  return result;
}

int ConcatenateTwoASCIIFiles(const char* first, const char* second, const char* output,
                             int32_t* firstLines) {
  FILE* in1 = platform::OpenForReading(first);
  FILE* in2 = platform::OpenForReading(second);
  if (in1 == nullptr && in2 == nullptr) return 0;
  auto close_inputs = [&] {
    if (in1 != nullptr) std::fclose(in1);
    if (in2 != nullptr) std::fclose(in2);
  };
  FILE* out = platform::CreateNewFile(output);
  if (out == nullptr) {
    close_inputs();
    return -1;
  }
  int result = AppendTextFile(in1, out, firstLines);
  if (result == 0) result = AppendTextFile(in2, out);
  // A full disk may only show when the buffered text is flushed.
  bool closed = std::fclose(out) == 0;
  close_inputs();
  if (result < 0) return -2;
  if (result > 0 || !closed) return -3;
  return (in1 != nullptr ? 1 : 0) + (in2 != nullptr ? 2 : 0);
}

}  // namespace stanvex
