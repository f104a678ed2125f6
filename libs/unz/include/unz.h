// Unix compress (.Z) extraction: an LZW decoder for the format written by
// compress(1): the magic bytes 1F 9D, a flags byte (bits 0-4 the largest
// code width, 9 to 16; bit 7 block mode, where code 256 clears the table),
// then codes of 9 bits upwards packed least significant bit first in groups
// of eight codes.
#ifndef STANVEX_UNZ_H
#define STANVEX_UNZ_H

#include <cstdio>

#if defined(_WIN32)
#if defined(UNZ_BUILDING)
#define UNZ_API __declspec(dllexport)
#else
#define UNZ_API __declspec(dllimport)
#endif
#else
#define UNZ_API __attribute__((visibility("default")))
#endif

// The failure codes QvUnZ_Extract throws (as a plain int).
enum UnzFailure {
  UNZ_INPUT_NOT_OPENED = 1,   // the input cannot be opened (or read)
  UNZ_OUTPUT_NOT_OPENED = 2,  // the output cannot be opened for writing
  UNZ_WRITE_FAILED = 3,       // writing (or closing) the output failed
  UNZ_NOT_Z_FILE = 4,         // the input does not start with the compress magic
  UNZ_CORRUPT = 5,            // the input is damaged: a bad header or code
  UNZ_TOO_LARGE = 6           // the output would pass the size limit
};

// Largest output QvUnZ_Extract makes. A day of observations stays far
// below; a small damaged or hostile file could otherwise fill the disk.
#define UNZ_MAX_OUTPUT (4ull << 30)

extern "C" {

// Decompresses the open stream input into the open stream output. Reads input
// to its end; neither stream is closed. Returns 0 on success or one of the
// UnzFailure codes. Every code is checked against the table before it is
// used, so no input, however damaged, makes it read or write outside its
// buffers. All state is local to the call: calls on other threads with other
// streams do not interfere.
UNZ_API int UnzDecompressStream(std::FILE* input, std::FILE* output);

// UnzDecompressStream that stops with UNZ_TOO_LARGE before its output would
// pass limit bytes (UnzDecompressStream's limit is UNZ_MAX_OUTPUT); what was
// written up to then stays in output.
UNZ_API int UnzDecompressStreamLimited(std::FILE* input, std::FILE* output,
                                       unsigned long long limit);

// Decompresses the .Z file input (a path) into the file output, which is
// created or replaced. Returns normally on success. On failure it throws an
// int from UnzFailure (UNZ_TOO_LARGE past UNZ_MAX_OUTPUT bytes); an output
// that was begun is removed then, so a failed call never leaves a partial
// plain file behind. The input is never changed.
UNZ_API void QvUnZ_Extract(const char* input, const char* output);
}

#endif  // STANVEX_UNZ_H
