#include <cstring>

#include "base/text.h"
#include "obsfiles/obn_file.h"
#include "obsfiles/obn_open.h"
#include "platform/platform.h"

namespace stanvex {

Result OpenObnForRead(const char* path, int bufferSize, ObnFile** opened) {
  *opened = nullptr;
  if (path == nullptr) path = "";
  static const ObnOpenTexts kTexts = {"Error: File %s not found",
                                      "Error: Not enough memory vbuf alloc"};
  ObnFile* file = nullptr;
  Result open = OpenObnStream(path, platform::OpenForReading, bufferSize, false, kTexts, &file);
  if (!open.ok) return open;
  ObnHeader& header = file->header;
  if (std::fread(&header, sizeof header, 1, file->stream) != 1) {
    DiscardObnStream(file);
    return Result::Failure(nullptr, "Error: Unable to read header from %s", path);
  }
  if (header.size != kObnHeaderSize) {
    const int size = header.size;
    DiscardObnStream(file);
    return Result::Failure(nullptr, "Error: Invalid header size in %s  Size: %d   Hsize: %d", path,
                           size, static_cast<int>(kObnHeaderSize));
  }
  // Messages about the file name the path it was opened by.
  CopyText(header.fileName, sizeof header.fileName, path);
  *opened = file;
  return Result::Success();
}

Result ReadObnEpoch(ObnFile* file, ObnPositionRecord* position,
                    ObnMeasurementRecord* measurements, int room) {
  if (file == nullptr || position == nullptr ||
      std::fread(position, sizeof *position, 1, file->stream) != 1)
    return Result::EndOfInput("End of file");
  if (position->size != kObnPositionSize)
    return Result::Failure(ResultKind::kDamaged, "Error: Bad position record in %s", file->path);
  const int count = position->count;
  const int channels = file->header.maxChannels;
  if (count > channels || count < 0)
    return Result::Failure(ResultKind::kDamaged,
                           "Error: Epoch %.1lf has %d measurements %d channels in %s",
                           position->time, count, channels, file->path);
  if (count == 0) return Result::Success();
  if (measurements == nullptr) room = 0;
  if (room < 0) room = 0;
  const int kept = count < room ? count : room;
  bool complete = true;
  if (kept > 0) {
    complete = std::fread(measurements, sizeof *measurements, static_cast<size_t>(kept),
                          file->stream) == static_cast<size_t>(kept);
  }
  if (complete && kept < count) {
    // The file allows more channels than the caller has room for: step over
    // the records that do not fit so the next read starts at the next epoch.
    ObnMeasurementRecord spill;
    for (int i = kept; i < count && complete; ++i)
      complete = std::fread(&spill, sizeof spill, 1, file->stream) == 1;
    if (complete)
      return Result::Failure(ResultKind::kDamaged,
                             "Error: Epoch %.1lf has %d measurements %d channels in %s",
                             position->time, count, room, file->path);
  }
  if (!complete)
    return Result::Failure(ResultKind::kDamaged,
                           "Error: Pre-mature end of file in %s at epoch %.1lf", file->path,
                           position->time);
  for (int i = 0; i < count; ++i) {
    if (measurements[i].size != kObnMeasurementSize)
      return Result::Failure(ResultKind::kDamaged, "Error: Bad measurement record (1) in %s",
                             file->path);
  }
  return Result::Success();
}

Result CopyObnEpochs(ObnFile* input, ObnFile* output, long* count) {
  ObnPositionRecord position;
  ObnMeasurementRecord measurements[kObnReaderRoom];
  long written = 0;
  Result result = Result::Success();
  for (;;) {
    const Result read = ReadObnEpoch(input, &position, measurements, kObnReaderRoom);
    if (read.AtEnd()) break;
    result = read.ok ? WriteObnEpoch(output, &position, measurements) : read;
    if (!result.ok) break;
    ++written;
  }
  if (count != nullptr) *count = written;
  return result;
}

}  // namespace stanvex
