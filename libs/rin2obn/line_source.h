// Where the RINEX readers get their text: one line at a time, with the line
// end (LF or CR LF) and trailing blanks removed.
#ifndef STANVEX_RIN2OBN_LINE_SOURCE_H
#define STANVEX_RIN2OBN_LINE_SOURCE_H

#include <cstdio>
#include <string>

namespace rin2obn {

class LineSource {
 public:
  virtual ~LineSource() = default;
  // Puts the next line into line (without its end and trailing blanks).
  // Returns false at the end of the text; line is then empty.
  virtual bool Next(std::string& line) = 0;
  // 1-based number of the line last returned (for messages).
  long LineNumber() const { return lineNumber_; }
  // Fraction of the text consumed, 0..1 (for progress reports).
  virtual double Fraction() const = 0;

 protected:
  long lineNumber_ = 0;
};

// Lines of a text held in memory (tests, fuzzing).
class TextLineSource : public LineSource {
 public:
  explicit TextLineSource(std::string text) : text_(std::move(text)) {}
  bool Next(std::string& line) override;
  double Fraction() const override;

 private:
  std::string text_;
  size_t position_ = 0;
};

// Lines of an open file. The source does not own the stream.
class FileLineSource : public LineSource {
 public:
  // size: the file's length in bytes (for Fraction), or 0 when unknown.
  FileLineSource(std::FILE* stream, long long size) : stream_(stream), size_(size) {}
  bool Next(std::string& line) override;
  double Fraction() const override;
  // True when a read error (not the end of the file) stopped the source.
  bool Failed() const { return failed_; }

 private:
  std::FILE* stream_;
  long long size_;
  long long consumed_ = 0;
  bool failed_ = false;
};

// Removes a trailing CR and trailing blanks from line.
void TrimLineEnd(std::string& line);

}  // namespace rin2obn

#endif  // STANVEX_RIN2OBN_LINE_SOURCE_H
