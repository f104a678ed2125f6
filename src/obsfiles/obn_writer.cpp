#include <cstring>
#include <ctime>

#include "base/text.h"
#include "obsfiles/obn_file.h"
#include "obsfiles/obn_open.h"
#include "platform/platform.h"

namespace stanvex {

namespace {

void StampCreationTime(ObnHeader* header) {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  const std::tm* parts = std::localtime(&now);
  if (parts != nullptr) local = *parts;
  header->month = static_cast<int16_t>(local.tm_mon);
  header->day = static_cast<int16_t>(local.tm_mday);
  header->year = static_cast<int16_t>(local.tm_year);
  header->hour = static_cast<int16_t>(local.tm_hour);
  header->minute = static_cast<int16_t>(local.tm_min);
  header->second = static_cast<int16_t>(local.tm_sec);
}

// Creates path new for binary writing, never through a link planted under its
// name.
std::FILE* CreateForWriting(const char* path) { return platform::CreateNewFile(path); }

// Removes a file whose writing failed, so that a file cut short by a full
// disk never passes for a whole one. Only a regular file: a device named as
// the output (/dev/full, /dev/null) is never removed.
void RemoveIncomplete(const char* path) {
  if (platform::FileExists(path)) platform::DeleteFile(path);
}

}  // namespace

Result CreateObn(const char* path, int8_t carriedByte, float interval, int16_t bufferSize,
                 int8_t maxChannels, ObnFile** created) {
  *created = nullptr;
  if (path == nullptr) path = "";
  static const ObnOpenTexts kTexts = {"Error: Unable to open %s for writing",
                                      "Error: Not enough memory in buffer"};
  ObnFile* file = nullptr;
  Result open = OpenObnStream(path, CreateForWriting, bufferSize, true, kTexts, &file);
  if (!open.ok) return open;
  ObnHeader& header = file->header;
  header.size = kObnHeaderSize;
  std::memcpy(&header.version, &kObnVersionBits, sizeof header.version);
  header.carriedByte = carriedByte;
  header.maxChannels = maxChannels;
  header.interval = interval;
  CopyText(header.fileName, sizeof header.fileName, path);
  StampCreationTime(&header);
  // The run-time area holds nothing of meaning; only the buffer size asked
  // for is kept where the int16 of that area stands.
  std::memcpy(header.runtime + 4, &bufferSize, sizeof bufferSize);
  if (std::fwrite(&header, sizeof header, 1, file->stream) != 1) {
    DiscardObnStream(file);
    RemoveIncomplete(path);
    return Result::Failure(nullptr, "Error: Unable to write to %s", path);
  }
  *created = file;
  return Result::Success();
}

Result WriteObnEpoch(ObnFile* file, ObnPositionRecord* position,
                     ObnMeasurementRecord* measurements) {
  if (file == nullptr || position == nullptr)
    return Result::Failure(nullptr, "Error: no OBN file or epoch to write");
  const int count = position->count;
  if (count > file->header.maxChannels || count < 0 || (count > 0 && measurements == nullptr))
    return Result::Failure(nullptr, "Error: Epoch %.1lf has %d measurements %d channels in %s",
                           position->time, count, file->header.maxChannels, file->path);
  position->size = kObnPositionSize;
  bool written = std::fwrite(position, sizeof *position, 1, file->stream) == 1;
  if (written && count != 0) {
    for (int i = 0; i < count; ++i) measurements[i].size = kObnMeasurementSize;
    written = std::fwrite(measurements, sizeof *measurements, static_cast<size_t>(count),
                          file->stream) == static_cast<size_t>(count);
  }
  if (!written)
    return Result::Failure(nullptr, "Error: Unable to write to %s (disk full). Epoch %.1lf",
                           file->path, position->time);
  return Result::Success();
}

Result CloseObn(ObnFile* file) {
  if (file == nullptr || file->header.size != kObnHeaderSize) return Result::Success();
  Result result = Result::Success();
  // The buffered tail of a written file reaches the disk only here, so a
  // failed flush means the file is incomplete.
  bool flushed = std::fflush(file->stream) == 0 && !std::ferror(file->stream);
  if (std::fclose(file->stream) != 0) flushed = false;
  if (file->writing && !flushed) {
    result = Result::Failure(nullptr, "Error: Unable to write to %s (disk full)", file->path);
    RemoveIncomplete(file->path);
  }
  delete[] file->buffer;
  file->header.size = 0;
  delete file;
  return result;
}

}  // namespace stanvex
