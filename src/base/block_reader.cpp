#include "base/block_reader.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "base/text.h"
#include "base/text_compare.h"

namespace stanvex {

namespace {

constexpr size_t kLineBufferSize = kBlockLineLength + 1;
// An opening brace must lie among the first 16 characters of its line.
constexpr size_t kBraceWindow = 16;
constexpr int kMaxLineTokens = 1 + kBlockMaxValues;
// Room for 15 values of 255 characters, each followed by a blank.
constexpr size_t kJoinedSize = kBlockMaxValues * kBlockValueSize + 1;

enum class LineRead { kLine, kEndOfFile, kError };

// Reads one line piece of at most kBlockLineLength characters into line,
// through its newline. A piece that stops at the end of the file without a
// newline counts as end of file: such a last line is not used. *continued
// tells whether the piece continues a longer line.
LineRead ReadLine(BlockSource* source, char* line, bool* continued) {
  *continued = source->midLine;
  if (!source->midLine) ++source->line;
  size_t length = 0;
  int c = EOF;
  while (length < kBlockLineLength && (c = std::getc(source->file)) != EOF) {
    line[length++] = static_cast<char>(c);
    if (c == '\n') break;
  }
  line[length] = '\0';
  if (c == EOF) return std::ferror(source->file) ? LineRead::kError : LineRead::kEndOfFile;
  source->midLine = line[length - 1] != '\n';
  return LineRead::kLine;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool HasText(const char* piece) {
  for (; *piece != '\0'; ++piece)
    if (!IsBlank(*piece)) return true;
  return false;
}

// The position of the opening brace when line opens a block, else null.
char* OpeningBrace(char* line) {
  size_t window = strnlen(line, kBraceWindow);
  char* brace = static_cast<char*>(std::memchr(line, '{', window));
  if (brace == nullptr) return nullptr;
  bool blank = false;
  bool other = false;
  for (char* p = line; p < brace; ++p) {
    if (*p == ' ' || *p == '\t')
      blank = true;
    else
      other = true;
  }
  return blank && other ? brace : nullptr;
}

// The first blank-delimited word of the opening line, cut at the brace.
bool ReadKeyword(const char* line, const char* brace, char* keyword) {
  const char* p = line;
  while (p < brace && (*p == ' ' || *p == '\t')) ++p;
  const char* start = p;
  while (p < brace && *p != ' ' && *p != '\t') ++p;
  size_t length = static_cast<size_t>(p - start);
  if (length == 0) return false;
  if (length >= kBlockKeySize) length = kBlockKeySize - 1;
  std::memcpy(keyword, start, length);
  keyword[length] = '\0';
  return true;
}

// Cuts the comment, turns blanks inside quotes into back-quotes and splits
// line into at most kMaxLineTokens tokens (pointers into line).
int Tokenize(char* line, char* tokens[kMaxLineTokens]) {
  char* comment = std::strchr(line, ';');
  if (comment != nullptr) *comment = '\0';
  bool quoted = false;
  for (char* p = line; *p != '\0'; ++p) {
    if (*p == '"')
      quoted = !quoted;
    else if (quoted && *p == ' ')
      *p = '`';
  }
  int count = 0;
  char* p = line;
  while (count < kMaxLineTokens) {
    while (IsBlank(*p)) ++p;
    if (*p == '\0') break;
    tokens[count++] = p;
    while (*p != '\0' && !IsBlank(*p)) ++p;
    if (*p == '\0') break;
    *p++ = '\0';
  }
  return count;
}

void StoreEntry(TextBlock* block, char* tokens[kMaxLineTokens], int count) {
  BlockEntry& entry = block->entries[block->count++];
  CopyText(entry.key, sizeof entry.key, tokens[0]);
  entry.used = 0;
  entry.valueCount = static_cast<int16_t>(count - 1);
  for (int i = 1; i < count; ++i)
    CopyText(entry.values[i - 1], sizeof entry.values[i - 1], tokens[i]);
}

bool IsFieldSeparator(char c) { return c == ' ' || c == ',' || c == '\t'; }

// Destinations are often fields of byte-packed records, so values are
// stored byte by byte rather than through a possibly misaligned pointer.
template <typename T>
void Store(void* destination, T value) {
  std::memcpy(destination, &value, sizeof value);
}

}  // namespace

Result ReadBlock(BlockSource* source, TextBlock* block) {
  char line[kLineBufferSize];
  char* brace = nullptr;
  bool continued = false;
  for (;;) {
    LineRead read = ReadLine(source, line, &continued);
    if (read == LineRead::kEndOfFile) return Result::EndOfInput("End of file");
    if (read == LineRead::kError)
      return Result::Failure(ResultKind::kNone, "Error reading line %d", source->line);
    brace = OpeningBrace(line);
    if (brace != nullptr) break;
  }
  if (!ReadKeyword(line, brace, block->name))
    return Result::Failure(ResultKind::kDamaged, "Error the block of line %d has no keyword",
                           source->line);
  block->count = 0;
  block->line = source->line;
  block->longLine = continued ? source->line : 0;

  // The rest of the opening line is the first entry line.
  char entry_line[kLineBufferSize];
  CopyText(entry_line, sizeof entry_line, brace + 1);
  while (block->count < kBlockMaxEntries) {
    if (std::strchr(entry_line, '}') != nullptr) break;
    char* tokens[kMaxLineTokens];
    int count = Tokenize(entry_line, tokens);
    if (count > 0) StoreEntry(block, tokens, count);
    // End of file (including a last line without newline) ends the block.
    if (ReadLine(source, entry_line, &continued) != LineRead::kLine) break;
    if (continued && block->longLine == 0 && HasText(entry_line)) block->longLine = source->line;
  }
  return Result::Success();
}

Result ReadBlock(FILE* file, TextBlock* block) {
  BlockSource source(file);
  return ReadBlock(&source, block);
}

int GetBlockField(const char* key, TextBlock* block, const char* format, ...) {
  BlockEntry* found = nullptr;
  int count = block->count < kBlockMaxEntries ? block->count : kBlockMaxEntries;
  for (int i = 0; i < count; ++i) {
    BlockEntry& entry = block->entries[i];
    if (entry.used == 0 && FoldedCompare(entry.key, key, kBlockKeySize) == 0) {
      found = &entry;
      break;
    }
  }
  if (found == nullptr) return -1;

  std::unique_ptr<char[]> joined(new char[kJoinedSize]);
  size_t used = 0;
  int values = found->valueCount;
  if (values > kBlockMaxValues) values = kBlockMaxValues;
  for (int v = 0; v < values; ++v) {
    const char* value = found->values[v];
    size_t length = strnlen(value, kBlockValueSize - 1);
    for (size_t i = 0; i < length && used + 2 < kJoinedSize; ++i)
      if (value[i] != '"') joined[used++] = value[i];
    if (used + 1 < kJoinedSize) joined[used++] = ' ';
  }
  joined[used] = '\0';

  va_list args;
  va_start(args, format);
  int converted = ScanFieldsV(joined.get(), format, args);
  va_end(args);
  found->used = 1;
  return converted < 0 ? 0 : converted;
}

int ScanFields(const char* text, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int converted = ScanFieldsV(text, format, args);
  va_end(args);
  return converted;
}

int ScanFieldsV(const char* text, const char* format, va_list args) {
  int count = 0;
  const char* cursor = text;
  for (const char* f = format; *f != '\0'; ++f) {
    if (*f != '%') continue;
    ++f;
    size_t width = 0;
    while (*f >= '0' && *f <= '9') {
      if (width < kBlockValueSize) width = width * 10 + static_cast<size_t>(*f - '0');
      ++f;
    }
    if (width == 0 || width >= kBlockValueSize) width = kBlockValueSize - 1;
    if (*f == '\0') return -1;

    while (IsFieldSeparator(*cursor)) ++cursor;
    if (*cursor == '\0') return count;

    if (*f == 'S') {
      char* out = va_arg(args, char*);
      size_t length = strnlen(cursor, width);
      std::memcpy(out, cursor, length);
      out[length] = '\0';
      return count + 1;
    }

    const char* start = cursor;
    while (*cursor != '\0' && !IsFieldSeparator(*cursor)) ++cursor;
    size_t length = static_cast<size_t>(cursor - start);
    // Numbers are converted from a bounded copy of the token.
    char token[kBlockValueSize];
    size_t kept = length < sizeof token ? length : sizeof token - 1;
    std::memcpy(token, start, kept);
    token[kept] = '\0';

    switch (*f) {
      case 'c':
        *va_arg(args, char*) = token[0];
        break;
      case 'd':
        if (token[0] == '.') return count;
        Store(va_arg(args, int*), static_cast<int>(std::strtol(token, nullptr, 10)));
        break;
      case 'e':
      case 'f':
        Store(va_arg(args, float*), std::strtof(token, nullptr));
        break;
      case 'l':
        if (f[1] == 'e' || f[1] == 'f') {
          ++f;
          Store(va_arg(args, double*), std::strtod(token, nullptr));
        } else if (f[1] == 'd' || f[1] == '\0' || f[1] == '%') {
          if (f[1] == 'd') ++f;
          Store(va_arg(args, long*), std::strtol(token, nullptr, 10));
        } else {
          return -1;
        }
        break;
      case 's': {
        char* out = va_arg(args, char*);
        size_t copied = length < width ? length : width;
        std::memcpy(out, start, copied);
        out[copied] = '\0';
        break;
      }
      default:
        return -1;
    }
    ++count;
  }
  return count;
}

}  // namespace stanvex
