// Reader of keyword-block text files (catalogue files, tagged ephemeris
// files):
//
//   Station {            ; a block opens with a keyword and a brace
//     sName: abcd        ; "key: values", ';' starts a comment
//     lat: 34 15 22.5 S
//     name: "Big Bear"   ; quoted blanks keep a value in one token
//   }
//
// A block opens on a line with a '{' among its first 16 characters that has
// at least one blank and one other character before it; its keyword is the
// first word of that line. The rest of that line after '{' and the following
// lines are entries until a line containing '}' (dropped whole), end of file,
// or 32 entries. Lines are read 254 characters at a time; the rest of a
// longer line is read as the next line, and the block notes the first such
// line (TextBlock::longLine) so that a caller can refuse what it may have
// split. Keys compare without regard to case.
#ifndef STANVEX_BASE_BLOCK_READER_H
#define STANVEX_BASE_BLOCK_READER_H

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "base/result.h"

namespace stanvex {

constexpr int kBlockMaxEntries = 32;
constexpr int kBlockMaxValues = 15;
constexpr size_t kBlockKeySize = 32;
constexpr size_t kBlockValueSize = 256;
constexpr size_t kBlockLineLength = 254;  // characters read per line

struct BlockEntry {
  char key[kBlockKeySize];  // first token of the line, colon included
  int16_t valueCount;       // tokens after the key, 0..15
  int16_t used;             // set by GetBlockField
  char values[kBlockMaxValues][kBlockValueSize];
};

struct TextBlock {
  char name[kBlockKeySize];  // keyword, e.g. "Station"
  int32_t count;             // entries, 0..32
  BlockEntry entries[kBlockMaxEntries];
  int32_t line;  // the line the block opens on (counted by its BlockSource)
  // The first line of the block (the opening line included) longer than 254
  // characters whose rest holds more than blanks, 0 when none. The block's
  // entries may then hold pieces of that line, or the block may have opened
  // on one.
  int32_t longLine;
};

// A file read block by block, counting its lines from where reading started
// (the first line read is line 1). Not owned: the caller opens and closes
// file, and reads it only through this source while line numbers matter.
struct BlockSource {
  explicit BlockSource(FILE* f) : file(f) {}
  FILE* file;
  int32_t line = 0;      // the line of the piece read last
  bool midLine = false;  // that piece did not end its line
};

// Reads the next block of file into block (provided by the caller; about
// 123 KB, so keep it off small stacks). ok with a block; AtEnd() at end of
// file before a block opened (also when the opening line is the last line of
// a file without final newline); a failure of kind kDamaged when the keyword
// cannot be read (the next call reads on after it), of kind kNone when
// reading the file fails.
Result ReadBlock(BlockSource* source, TextBlock* block);
// The same from the current position of file, with lines counted afresh by
// each call.
Result ReadBlock(FILE* file, TextBlock* block);

// Finds the first unused entry of block whose key equals key (no case),
// joins its values (each with every '"' removed, each followed by a blank),
// converts them with ScanFields into the destinations and marks the entry
// used, so that a second fetch finds the next entry with that key.
// Returns the number of values converted, 0 for a bad format, -1 when no
// unused entry has the key.
int GetBlockField(const char* key, TextBlock* block, const char* format, ...);

// sscanf-like conversion of blank/comma/tab separated tokens of text.
// Characters of format other than conversions are ignored. Conversions:
//   %c char*      first character of the token
//   %d int*       (a token starting with '.' ends the scan)
//   %e %f float*  %le %lf double*   %ld or a final %l: long*
//   %s char*      the token; %S char*: all the remaining text (ends the scan)
// %s and %S copy at most 255 characters and a NUL unless a width is given
// ("%7s" copies at most 7 and a NUL): destinations must hold width + 1 bytes.
// The scan stops when text is used up. Returns the number of conversions, or
// -1 for an unknown conversion letter.
int ScanFields(const char* text, const char* format, ...);
int ScanFieldsV(const char* text, const char* format, va_list args);

}  // namespace stanvex

#endif  // STANVEX_BASE_BLOCK_READER_H
