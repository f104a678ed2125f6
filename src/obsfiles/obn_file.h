// Buffered, strictly sequential reading and writing of OBN files.
//
// Every operation reports failure through its Result; none sends a status
// message. Records are moved as whole blocks and every byte the core does not
// interpret is carried unchanged.
//
// Threads: a handle belongs to one thread at a time.
#ifndef STANVEX_OBSFILES_OBN_FILE_H
#define STANVEX_OBSFILES_OBN_FILE_H

#include <cstdint>
#include <cstdio>

#include "base/result.h"
#include "obn_format.h"

namespace stanvex {

constexpr int kObnPathSize = 260;  // longest path a handle keeps, with its NUL
// The smallest private stream buffer a handle gets when it asks for one. The
// buffer size passed to CreateObn (kObnBufferSize) is what the file's header
// records; the stream itself is given at least this much.
constexpr int kObnStreamBufferSize = 64 * 1024;

// The handle of one open OBN file. Valid while header.size is 202.
struct ObnFile {
  ObnHeader header;       // as read (fileName replaced by the path) or as written
  std::FILE* stream;
  char* buffer;           // the stream's private buffer, or null
  int bufferSize;         // size of buffer (at least kObnStreamBufferSize)
  bool writing;
  char path[kObnPathSize];
};

// Creates path (truncating it) and writes a fresh header: size 202, version
// 1.01, the given carriedByte, maxChannels and interval, fileName = path and
// the current local time; bufferSize is recorded in the header's run-time
// area. A bufferSize above 0 gives the stream a private buffer of at least
// kObnStreamBufferSize bytes; 0 leaves the stream's own buffering.
// file receives a handle the caller owns until CloseObn, or null on failure.
Result CreateObn(const char* path, int8_t carriedByte, float interval, int16_t bufferSize,
                 int8_t maxChannels, ObnFile** file);

// Opens path and reads its header, which must have size 202 (the version is
// not checked). The in-memory fileName becomes path. A bufferSize above 0
// gives the stream a private buffer of at least kObnStreamBufferSize bytes.
// file receives a handle the caller owns until CloseObn, or null on failure
// (of kind kNotFound when path cannot be opened).
Result OpenObnForRead(const char* path, int bufferSize, ObnFile** file);

// Reads the next epoch into position and measurements (room records). ok for
// a good epoch; AtEnd() with "End of file" at the end of the file (also for
// a trailing partial position record); a failure of kind kDamaged for a
// damaged epoch. An epoch whose count is negative, above the header's
// maxChannels or above room is damaged; when it fits the header but not the
// room, the first room records are kept and the rest skipped, so the stream
// stays at the next epoch.
Result ReadObnEpoch(ObnFile* file, ObnPositionRecord* position,
                    ObnMeasurementRecord* measurements, int room = kObnReaderRoom);

// Stamps the size fields into position and its count measurement records (in
// the caller's memory) and appends them. Fails when count is negative or
// above the file's maxChannels (nothing written) or when a write does not
// complete.
Result WriteObnEpoch(ObnFile* file, ObnPositionRecord* position,
                     ObnMeasurementRecord* measurements);

// Closes the stream (flushing a written file), releases the buffer and the
// handle. A null handle or one whose header size is not 202 is left alone.
// Fails with "Error: Unable to write to %s (disk full)" when the final flush
// of a written file fails, or when an earlier write did not complete: the
// incomplete file is then deleted.
Result CloseObn(ObnFile* file);

// Copies every epoch of input to output until input's end. Fails on a
// damaged epoch or a failed write. count receives the number of epochs
// written when not null.
Result CopyObnEpochs(ObnFile* input, ObnFile* output, long* count = nullptr);

}  // namespace stanvex

#endif  // STANVEX_OBSFILES_OBN_FILE_H
