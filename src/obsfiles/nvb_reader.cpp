#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "base/block_reader.h"
#include "obsfiles/nvb_file.h"
#include "platform/platform.h"

namespace stanvex {

namespace {

bool EqualNoCase(const char* a, const char* b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b)))
      return false;
  }
  return *a == *b;
}

// Navigation files carry the continuous GPS week, which passed 2047 in
// April 2019, so the week is only checked to be a plausible four-digit week.
constexpr int32_t kLastPlausibleWeek = 9999;

bool Accepted(int32_t week, int32_t seconds) {
  return week >= 0 && week <= kLastPlausibleWeek && seconds >= 0 && seconds <= 604800;
}

// A leading decimal integer of text, or false when there is none.
bool LeadingInteger(const char* text, int32_t* value) {
  char* end = nullptr;
  const long long parsed = std::strtoll(text, &end, 10);
  if (end == text) return false;
  if (parsed < INT32_MIN || parsed > INT32_MAX) return false;
  *value = static_cast<int32_t>(parsed);
  return true;
}

// Reads one line into buffer (at most size-1 characters kept); the rest of a
// longer line is read and dropped so that every call consumes one line.
bool ReadLine(std::FILE* file, char* buffer, size_t size) {
  if (std::fgets(buffer, static_cast<int>(size), file) == nullptr) return false;
  if (std::strchr(buffer, '\n') == nullptr) {
    int c;
    while ((c = std::fgetc(file)) != EOF && c != '\n') {
    }
  }
  return true;
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

Result CannotOpen(const char* path) {
  return Result::Failure(ResultKind::kNotFound, "Error: File %s not found",
                         path != nullptr ? path : "");
}

}  // namespace

Result ReadNvbTagged(const char* path, EphemerisTime* table, int* count) {
  *count = 0;
  if (path == nullptr || table == nullptr) return CannotOpen(path);
  FilePtr file(platform::OpenForReading(path));
  if (!file) return CannotOpen(path);
  char firstLine[250];
  if (std::fgets(firstLine, sizeof firstLine, file.get()) == nullptr ||
      std::strncmp(firstLine, "$EPHREC", 7) != 0)
    return Result::Failure(nullptr, "Error: %s does not begin with $EPHREC", path);
  // The rest of an over-long first line is not a block line.
  if (std::strchr(firstLine, '\n') == nullptr) {
    int c;
    while ((c = std::fgetc(file.get())) != EOF && c != '\n') {
    }
  }

  std::unique_ptr<TextBlock> block(new (std::nothrow) TextBlock);
  if (!block) return Result::Failure(nullptr, "Error: Not enough memory to read %s", path);
  int accepted = 0;
  while (accepted < kEphemerisTableSize) {
    const Result read = ReadBlock(file.get(), block.get());
    // The end of the file, or a file that cannot be read on, ends the table.
    if (!read.ok && read.kind != ResultKind::kDamaged) break;
    if (!read.ok || !EqualNoCase(block->name, "GpsEph")) continue;
    int32_t week = -1;
    int32_t seconds = -1;
    const int entries = block->count < kBlockMaxEntries ? block->count : kBlockMaxEntries;
    for (int i = 0; i < entries; ++i) {
      const BlockEntry& entry = block->entries[i];
      // The last matching entry of a block wins.
      if (EqualNoCase(entry.key, "El1:") && entry.valueCount == 5) {
        if (!LeadingInteger(entry.values[0], &week)) week = -1;
      } else if (EqualNoCase(entry.key, "El5:") && entry.valueCount == 4) {
        if (!LeadingInteger(entry.values[0], &seconds)) seconds = -1;
      }
    }
    if (Accepted(week, seconds)) table[accepted++] = EphemerisTime{week, seconds};
  }
  *count = accepted;
  return Result::Success();
}

Result ReadNvbPlain(const char* path, EphemerisTime* table, int* count) {
  *count = 0;
  if (path == nullptr || table == nullptr) return CannotOpen(path);
  FilePtr file(platform::OpenForReading(path));
  if (!file) return CannotOpen(path);
  char line[200];
  int accepted = 0;
  while (accepted < kEphemerisTableSize && !std::feof(file.get())) {
    int32_t week = -1;
    int32_t seconds = -1;
    int first = 0;
    int second = 0;
    if (!ReadLine(file.get(), line, sizeof line)) break;
    if (std::sscanf(line, "%d %d", &first, &second) != 2) break;
    week = second;
    bool complete = true;
    for (int n = 2; n <= 5 && complete; ++n) complete = ReadLine(file.get(), line, sizeof line);
    if (!complete || !LeadingInteger(line, &seconds)) break;
    if (!ReadLine(file.get(), line, sizeof line)) break;
    if (Accepted(week, seconds)) table[accepted++] = EphemerisTime{week, seconds};
  }
  *count = accepted;
  return Result::Success();
}

const EphemerisTime* PickReferenceEphemeris(int count, const EphemerisTime* table) {
  if (count < 1 || table == nullptr) return nullptr;
  const int middle = count / 2;
  if (table[middle].seconds != 0) return &table[middle];
  for (int i = 1; i <= middle; ++i) {
    if (middle + i < count && table[middle + i].seconds != 0) return &table[middle + i];
    if (middle - i >= 0 && table[middle - i].seconds != 0) return &table[middle - i];
  }
  return &table[middle];
}

Result GetNvbReference(const char* path, int32_t* week, double* seconds) {
  EphemerisTime table[kEphemerisTableSize];
  int count = 0;
  Result read = ReadNvbTagged(path, table, &count);
  if (!read.ok) read = ReadNvbPlain(path, table, &count);
  if (!read.ok) return read;
  const EphemerisTime* reference = PickReferenceEphemeris(count, table);
  if (reference == nullptr)
    return Result::Failure(nullptr, "Error: %s holds no usable ephemeris", path);
  if (week != nullptr) *week = reference->week;
  if (seconds != nullptr) *seconds = static_cast<double>(reference->seconds);
  return Result::Success();
}

}  // namespace stanvex
