#include "obsfiles/obn_open.h"

#include <cstring>
#include <new>

#include "base/text.h"

namespace stanvex {


int StreamBufferSize(int requested) {
  // The requested size is what the file's header records for its readers;
  // the stream itself moves data in blocks of at least kObnStreamBufferSize,
  // which keeps a day of 1-second data to a few thousand system calls.
  return requested > kObnStreamBufferSize ? requested : kObnStreamBufferSize;
}

Result OpenObnStream(const char* path, ObnStreamOpener open, int bufferSize, bool writing,
                     const ObnOpenTexts& texts, ObnFile** opened) {
  *opened = nullptr;
  ObnFile* file = new (std::nothrow) ObnFile{};
  if (file == nullptr) return Result::Failure(nullptr, "Error: Not enough memory in header");
  file->writing = writing;
  const ResultKind cannotOpen = writing ? ResultKind::kNone : ResultKind::kNotFound;
  // A path the handle cannot hold whole is refused rather than cut: a cut
  // path would name another file.
  if (std::strlen(path) >= sizeof file->path) {
    delete file;
    return Result::Failure(cannotOpen, texts.cannotOpen, path);
  }
  CopyText(file->path, sizeof file->path, path);
  file->stream = open(path);
  if (file->stream == nullptr) {
    delete file;
    return Result::Failure(cannotOpen, texts.cannotOpen, path);
  }
  if (bufferSize > 0) {
    const int size = StreamBufferSize(bufferSize);
    file->buffer = new (std::nothrow) char[static_cast<size_t>(size)];
    if (file->buffer == nullptr) {
      DiscardObnStream(file);
      return Result::Failure(nullptr, "%s", texts.noBufferMemory);
    }
    file->bufferSize = size;
    if (std::setvbuf(file->stream, file->buffer, _IOFBF, static_cast<size_t>(size)) != 0) {
      DiscardObnStream(file);
      return Result::Failure(nullptr, "Error: Unable to initialize file buffer");
    }
  }
  *opened = file;
  return Result::Success();
}

void DiscardObnStream(ObnFile* file) {
  if (file == nullptr) return;
  if (file->stream != nullptr) std::fclose(file->stream);
  delete[] file->buffer;
  delete file;
}

}  // namespace stanvex
