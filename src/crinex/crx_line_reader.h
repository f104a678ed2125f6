// Line reading of compact RINEX input.
//
// The input is read in large blocks and split into lines here, with the
// text-mode rule that a carriage return right before a line feed is not part
// of the line, on every platform. Lines are copied into buffers of
// kCrxLineSize characters given by the caller.
//
// Compact RINEX 1.0 lines hold at most 254 characters (255 for the plain
// reads of epoch lines). Compact RINEX 3.0 lines carry every observation type
// of a satellite and the whole satellite list of an epoch on one line, which
// outgrows that; they may hold up to kCrx3MaxLineLength characters.
#ifndef STANVEX_CRINEX_CRX_LINE_READER_H
#define STANVEX_CRINEX_CRX_LINE_READER_H

#include <cstddef>
#include <cstdio>

#include "base/result.h"

namespace stanvex {

constexpr size_t kCrxMaxLineLength = 254;  // characters before the line feed
constexpr size_t kCrxPlainReadLength = 255;
constexpr size_t kCrx3MaxLineLength = 2046;
constexpr size_t kCrxLineSize = kCrx3MaxLineLength + 2;  // every line buffer

class CrxInput {
 public:
  // file: opened for binary reading, owned by the caller, read until closed
  // with Detach.
  // Lines may hold kCrxMaxLineLength characters until SetMaxLineLength.
  void Attach(FILE* file);
  void Detach();

  // maxLength: characters a line may hold before its line feed, at most
  // kCrx3MaxLineLength. Plain reads take one character more.
  void SetMaxLineLength(size_t maxLength);

  // Reads at most max + 1 characters up to a line feed into line (a
  // kCrxLineSize buffer), without the line feed, NUL-ended. A longer line
  // gives its first max + 1 characters now and the rest at the next read.
  // Returns false only when nothing is left to read.
  bool ReadPlainLine(char* line, size_t* length);

  enum class LineResult { kLine, kTruncated, kTooLong };
  // Reads one complete line of at most max characters into line, dropping the
  // line feed and a carriage return right before it. kTruncated: the input
  // ended before a line feed; kTooLong: the line has more than max.
  LineResult ReadLine(char* line, size_t* length);

 private:
  // Makes at least want bytes available from next_ unless the input ends.
  void Fill(size_t want);
  size_t Available() const { return end_ - next_; }

  static constexpr size_t kBlockSize = 65536;
  FILE* file_ = nullptr;
  bool ended_ = false;
  size_t maxLine_ = kCrxMaxLineLength;
  size_t next_ = 0;
  size_t end_ = 0;
  char block_[kBlockSize];
};

// Reads one line with input.ReadLine into line (a kCrxLineSize buffer); end
// receives the position just past the line's last character. Fails with
// "Error in compressed rinex file:  The file is trancated in the middle" or
// "... Invalid line in file".
Result ReadCrxLine(CrxInput& input, char* line, char** end);

// Steps back from end over blanks and cuts the text there; returns the new end.
char* TrimTrailingBlanks(char* text, char* end);

}  // namespace stanvex

#endif  // STANVEX_CRINEX_CRX_LINE_READER_H
