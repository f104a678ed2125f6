// The extraction dispatcher: turns a downloaded file into the plain file the
// following steps read, by the service's compression type.
//
// All functions run on the request's thread and report failures in their
// Result; none sends an error heading (the caller does).
#ifndef STANVEX_EXTRACT_EXTRACT_FILE_H
#define STANVEX_EXTRACT_EXTRACT_FILE_H

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "base/result.h"

namespace stanvex {

// Size of a compression type field (up to 4 characters and a terminator).
constexpr size_t kCompressionTypeSize = 5;
// Chunk of the gzip copy.
constexpr size_t kGzipCopySize = 16384;
// Largest plain file a gzip download may unpack to. A day of observations
// stays far below; a small damaged or hostile download could otherwise fill
// the disk (1 MB of gzip can unpack to 1 GB).
constexpr uint64_t kMaxUnpackedSize = uint64_t{4} << 30;

// type: in/out, the compression type, lower-cased in place (at most
// kCompressionTypeSize bytes are looked at). input: the downloaded file;
// output: the plain file to make (gzip and .Z); directory: where a zip
// archive is unpacked (its members keep their stored names).
//   "gz":  gunzip; input is deleted whatever the outcome.
//   "z":   Unix compress; input is deleted on success, kept on failure.
//   "zip": every member into directory, which is then the current
//          directory; input is deleted on success, kept on failure.
//   other: nothing is touched.
Result ExtractFile(char* type, const char* input, const char* output, const char* directory);

// As ExtractFile, but input is never deleted and the current directory stays
// (a zip archive's members are still unpacked into directory). For a user's
// own files, which the unpacking must keep.
Result UnpackFile(char* type, const char* input, const char* output, const char* directory);

// Decompresses the gzip file input into output (created or replaced). A file
// that does not start with the gzip magic is refused rather than copied as
// plain data, and one that unpacks to more than limit bytes is stopped there
// (*tooLarge is then set when given). On failure the partial output is
// removed.
Result GunzipFile(const char* input, const char* output, uint64_t limit = kMaxUnpackedSize,
                  bool* tooLarge = nullptr);

// Copies the whole open gzip stream gz to the open file out, then closes
// both (out first). A handle that was closed is set to null, so the caller
// closes only what is still open. Fails for a read error or damaged stream,
// a short write, a failed close, or more than limit bytes (which also sets
// *tooLarge when given).
Result CopyGzipStream(gzFile& gz, std::FILE*& out, uint64_t limit = kMaxUnpackedSize,
                      bool* tooLarge = nullptr);

}  // namespace stanvex

#endif  // STANVEX_EXTRACT_EXTRACT_FILE_H
