#include <cstring>
#include <new>

#include "api/library_state.h"
#include "obsfiles/obn_file.h"

namespace stanvex {

ObnFile* OpenObnForRead(const char* path, int bufferSize) {
  if (path == nullptr) path = "";
  ObnFile* file = new (std::nothrow) ObnFile{};
  if (file == nullptr) {
    SetLastErrorText("Error: Not enough memory in header");
    return nullptr;
  }
  if (std::strlen(path) >= sizeof file->path) {
    SetLastErrorText("Error: File %s not found", path);
    delete file;
    return nullptr;
  }
  CopyText(file->path, sizeof file->path, path);
  file->stream = std::fopen(path, "rb");
  if (file->stream == nullptr) {
    SetLastErrorText("Error: File %s not found", path);
    delete file;
    return nullptr;
  }
  if (bufferSize > 0) {
    file->buffer = new (std::nothrow) char[static_cast<size_t>(bufferSize)];
    if (file->buffer == nullptr) {
      SetLastErrorText("Error: Not enough memory vbuf alloc");
      std::fclose(file->stream);
      delete file;
      return nullptr;
    }
    file->bufferSize = bufferSize;
    if (std::setvbuf(file->stream, file->buffer, _IOFBF, static_cast<size_t>(bufferSize)) != 0) {
      SetLastErrorText("Error: Unable to initialize file buffer");
      std::fclose(file->stream);
      delete[] file->buffer;
      delete file;
      return nullptr;
    }
  }
  ObnHeader& header = file->header;
  if (std::fread(&header, sizeof header, 1, file->stream) != 1) {
    SetLastErrorText("Error: Unable to read header from %s", path);
    std::fclose(file->stream);
    delete[] file->buffer;
    delete file;
    return nullptr;
  }
  if (header.size != kObnHeaderSize) {
    SetLastErrorText("Error: Invalid header size in %s  Size: %d   Hsize: %d", path,
                     static_cast<int>(header.size), static_cast<int>(kObnHeaderSize));
    std::fclose(file->stream);
    delete[] file->buffer;
    delete file;
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
