#include <cstring>

#include "base/last_error.h"
#include "base/text.h"
#include "obsfiles/obn_file.h"
#include "obsfiles/obn_open.h"
#include "platform/platform.h"

namespace stanvex {

ObnFile* OpenObnForRead(const char* path, int bufferSize) {
  if (path == nullptr) path = "";
  static const ObnOpenTexts kTexts = {"Error: File %s not found",
                                      "Error: Not enough memory vbuf alloc"};
  ObnFile* file = OpenObnStream(path, platform::OpenForReading, bufferSize, false, kTexts);
  if (file == nullptr) return nullptr;
  ObnHeader& header = file->header;
  if (std::fread(&header, sizeof header, 1, file->stream) != 1) {
    SetLastErrorText("Error: Unable to read header from %s", path);
    DiscardObnStream(file);
    return nullptr;
  }
  if (header.size != kObnHeaderSize) {
    SetLastErrorText("Error: Invalid header size in %s  Size: %d   Hsize: %d", path,
                     static_cast<int>(header.size), static_cast<int>(kObnHeaderSize));
    DiscardObnStream(file);
    return nullptr;
  }
  // Messages about the file name the path it was opened by.
  CopyText(header.fileName, sizeof header.fileName, path);
  return file;
}

int ReadObnEpoch(ObnFile* file, ObnPositionRecord* position, ObnMeasurementRecord* measurements,
                 int room) {
  if (file == nullptr || position == nullptr) return -1;
  if (std::fread(position, sizeof *position, 1, file->stream) != 1) {
    SetLastErrorText("End of file");
    return -1;
  }
  if (position->size != kObnPositionSize) {
    SetLastErrorText("Error: Bad position record in %s", file->path);
    return 1;
  }
  const int count = position->count;
  const int channels = file->header.maxChannels;
  if (count > channels || count < 0) {
    SetLastErrorText("Error: Epoch %.1lf has %d measurements %d channels in %s", position->time,
                     count, channels, file->path);
    return 1;
  }
  if (count == 0) return 0;
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
    if (complete) {
      SetLastErrorText("Error: Epoch %.1lf has %d measurements %d channels in %s",
                       position->time, count, room, file->path);
      return 1;
    }
  }
  if (!complete) {
    SetLastErrorText("Error: Pre-mature end of file in %s at epoch %.1lf", file->path,
                     position->time);
    return 1;
  }
  for (int i = 0; i < count; ++i) {
    if (measurements[i].size != kObnMeasurementSize) {
      SetLastErrorText("Error: Bad measurement record (1) in %s", file->path);
      return 1;
    }
  }
  return 0;
}

int CopyObnEpochs(ObnFile* input, ObnFile* output, long* count) {
  ObnPositionRecord position;
  ObnMeasurementRecord measurements[kObnReaderRoom];
  long written = 0;
  int result = 0;
  for (;;) {
    const int read = ReadObnEpoch(input, &position, measurements, kObnReaderRoom);
    if (read < 0) break;
    if (read > 0 || WriteObnEpoch(output, &position, measurements) != 0) {
      result = -1;
      break;
    }
    ++written;
  }
  if (count != nullptr) *count = written;
  return result;
}

}  // namespace stanvex
