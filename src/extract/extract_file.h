// The extraction dispatcher: turns a downloaded file into the plain file the
// following steps read, by the service's compression type.
//
// All functions run on the request's thread and report failures in
// LastErrorText; none sends an error heading (the caller does).
#ifndef STANVEX_EXTRACT_EXTRACT_FILE_H
#define STANVEX_EXTRACT_EXTRACT_FILE_H

#include <zlib.h>

#include <cstddef>
#include <cstdio>

namespace stanvex {

// Size of a compression type field (up to 4 characters and a terminator).
constexpr size_t kCompressionTypeSize = 5;
// Chunk of the gzip copy.
constexpr size_t kGzipCopySize = 16384;

// type: in/out, the compression type, lower-cased in place (at most
// kCompressionTypeSize bytes are looked at). input: the downloaded file;
// output: the plain file to make (gzip and .Z); directory: where a zip
// archive is unpacked (its members keep their stored names).
//   "gz":  gunzip; input is deleted whatever the outcome.
//   "z":   Unix compress; input is deleted on success, kept on failure.
//   "zip": every member into directory, which is then the current
//          directory; input is deleted on success, kept on failure.
//   other: nothing is touched.
// Returns 1 on success, 0 on failure with the reason in LastErrorText.
int ExtractFile(char* type, const char* input, const char* output, const char* directory);

// Decompresses the gzip file input into output (created or replaced). A file
// that does not start with the gzip magic is refused rather than copied as
// plain data. On failure the partial output is removed. Returns 1 or 0 with
// LastErrorText set.
int GunzipFile(const char* input, const char* output);

// Copies the whole open gzip stream gz to the open file out, then closes
// both (out first). A handle that was closed is set to null, so the caller
// closes only what is still open. Returns 1, or 0 with LastErrorText set
// (a read error or damaged stream, a short write, a failed close).
int CopyGzipStream(gzFile& gz, std::FILE*& out);

}  // namespace stanvex

#endif  // STANVEX_EXTRACT_EXTRACT_FILE_H
