// Buffered, strictly sequential reading and writing of OBN files.
//
// Every operation reports failure through its result and by replacing
// LastErrorText; none sends a status message. Records are moved as whole
// blocks and every byte the core does not interpret is carried unchanged.
//
// Threads: a handle belongs to one thread at a time. LastErrorText is the
// library's single global, so calls must come from the request's thread.
#ifndef STANVEX_OBSFILES_OBN_FILE_H
#define STANVEX_OBSFILES_OBN_FILE_H

#include <cstdint>
#include <cstdio>

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
// Returns a handle the caller owns until CloseObn, or null with the reason
// in LastErrorText.
ObnFile* CreateObn(const char* path, int8_t carriedByte, float interval, int16_t bufferSize,
                   int8_t maxChannels);

// Opens path and reads its header, which must have size 202 (the version is
// not checked). The in-memory fileName becomes path. A bufferSize above 0
// gives the stream a private buffer of at least kObnStreamBufferSize bytes.
// Returns a handle the
// caller owns until CloseObn, or null with the reason in LastErrorText.
ObnFile* OpenObnForRead(const char* path, int bufferSize);

// Reads the next epoch into position and measurements (room records).
// Returns -1 at end of file (also for a trailing partial position record,
// with "End of file" in LastErrorText), 0 for a good epoch, 1 for a damaged
// one (reason in LastErrorText). An epoch whose count is negative, above the
// header's maxChannels or above room is damaged; when it fits the header but
// not the room, the first room records are kept and the rest skipped, so the
// stream stays at the next epoch.
int ReadObnEpoch(ObnFile* file, ObnPositionRecord* position, ObnMeasurementRecord* measurements,
                 int room = kObnReaderRoom);

// Stamps the size fields into position and its count measurement records (in
// the caller's memory) and appends them. Returns 0, or 1 with the reason in
// LastErrorText when count is negative or above the file's maxChannels
// (nothing written) or when a write does not complete.
int WriteObnEpoch(ObnFile* file, ObnPositionRecord* position, ObnMeasurementRecord* measurements);

// Closes the stream (flushing a written file), releases the buffer and the
// handle. A null handle or one whose header size is not 202 is left alone.
// Returns 0, or 1 when the final flush of a written file fails ("Error:
// Unable to write to %s (disk full)" in LastErrorText), or when an earlier
// write did not complete: the incomplete file is then deleted.
int CloseObn(ObnFile* file);

// Copies every epoch of input to output until input's end. Returns 0 at the
// end of input, -1 on a damaged epoch or a failed write (reason in
// LastErrorText). count receives the number of epochs written when not null.
int CopyObnEpochs(ObnFile* input, ObnFile* output, long* count = nullptr);

}  // namespace stanvex

#endif  // STANVEX_OBSFILES_OBN_FILE_H
