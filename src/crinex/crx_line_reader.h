// Line reading of compact RINEX input.
//
// The input is read in large blocks and split into lines here, with the
// text-mode rule that a carriage return right before a line feed is not part
// of the line, on every platform. Lines are copied into 256-character buffers
// given by the caller.
#ifndef STANVEX_CRINEX_CRX_LINE_READER_H
#define STANVEX_CRINEX_CRX_LINE_READER_H

#include <cstddef>
#include <cstdio>

namespace stanvex {

constexpr size_t kCrxLineSize = 256;       // every line buffer
constexpr size_t kCrxMaxLineLength = 254;  // characters before the line feed
constexpr size_t kCrxPlainReadLength = 255;

class CrxInput {
 public:
  // file: opened for binary reading, owned by the caller, read until closed
  // with Detach.
  void Attach(FILE* file);
  void Detach();

  // Reads at most 255 characters up to a line feed into line (a kCrxLineSize
  // buffer), without the line feed, NUL-ended. A longer line gives its first
  // 255 characters now and the rest at the next read. Returns false only when
  // nothing is left to read.
  bool ReadPlainLine(char* line, size_t* length);

  enum class LineResult { kLine, kTruncated, kTooLong };
  // Reads one complete line of at most 254 characters into line, dropping the
  // line feed and a carriage return right before it. kTruncated: the input
  // ended before a line feed; kTooLong: the line has more than 254.
  LineResult ReadLine(char* line, size_t* length);

 private:
  // Makes at least want bytes available from next_ unless the input ends.
  void Fill(size_t want);
  size_t Available() const { return end_ - next_; }

  static constexpr size_t kBlockSize = 65536;
  FILE* file_ = nullptr;
  bool ended_ = false;
  size_t next_ = 0;
  size_t end_ = 0;
  char block_[kBlockSize];
};

// Reads one line with input.ReadLine into line. Returns the position just past
// the line's last character, or null with "Error in compressed rinex file:  The
// file is trancated in the middle" or "... Invalid line in file" in
// LastErrorText.
char* ReadCrxLine(CrxInput& input, char* line);

// Steps back from end over blanks and cuts the text there; returns the new end.
char* TrimTrailingBlanks(char* text, char* end);

}  // namespace stanvex

#endif  // STANVEX_CRINEX_CRX_LINE_READER_H
