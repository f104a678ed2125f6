// The open-and-buffer path shared by the OBN reader and writer. Internal to
// obsfiles: callers outside use obn_file.h.
#ifndef STANVEX_OBSFILES_OBN_OPEN_H
#define STANVEX_OBSFILES_OBN_OPEN_H

#include <cstdio>

#include "obsfiles/obn_file.h"

namespace stanvex {

// Opens the stream of one OBN file (for reading, or creating and truncating).
// Returns null when it cannot; the reason is left to the caller's message.
using ObnStreamOpener = std::FILE* (*)(const char* path);

// The messages of the open path that differ between reader and writer.
struct ObnOpenTexts {
  const char* cannotOpen;      // one %s: the path
  const char* noBufferMemory;  // no conversion
};

// The size of a stream buffer for a requested (recorded) buffer size of
// more than 0: the larger of the two and kObnStreamBufferSize.
int StreamBufferSize(int requested);

// Allocates a handle for path, opens its stream with open and, when
// bufferSize is not 0, gives the stream a private buffer of
// StreamBufferSize(bufferSize) bytes with full buffering. file receives the
// handle (header zeroed, path and writing set), or null on failure (of kind
// kNotFound when a stream for reading cannot be opened); everything acquired
// so far is then released.
Result OpenObnStream(const char* path, ObnStreamOpener open, int bufferSize, bool writing,
                     const ObnOpenTexts& texts, ObnFile** file);

// Releases a handle the open path returned whose header was never made valid:
// closes its stream without reporting, frees its buffer and the handle.
void DiscardObnStream(ObnFile* file);

}  // namespace stanvex

#endif  // STANVEX_OBSFILES_OBN_OPEN_H
