#include "crinex/crx_line_reader.h"

#include <cstring>

namespace stanvex {

void CrxInput::Attach(FILE* file) {
  file_ = file;
  ended_ = false;
  maxLine_ = kCrxMaxLineLength;
  next_ = 0;
  end_ = 0;
}

void CrxInput::Detach() {
  file_ = nullptr;
  ended_ = true;
  next_ = end_ = 0;
}

void CrxInput::SetMaxLineLength(size_t maxLength) {
  maxLine_ = maxLength < kCrx3MaxLineLength ? maxLength : kCrx3MaxLineLength;
}

void CrxInput::Fill(size_t want) {
  if (ended_ || Available() >= want) return;
  if (next_ > 0) {
    std::memmove(block_, block_ + next_, Available());
    end_ -= next_;
    next_ = 0;
  }
  while (!ended_ && end_ < want) {
    size_t got = file_ ? std::fread(block_ + end_, 1, kBlockSize - end_, file_) : 0;
    // A read error ends the input like its end does: what was read stays.
    if (got == 0) ended_ = true;
    end_ += got;
  }
}

bool CrxInput::ReadPlainLine(char* line, size_t* length) {
  // The longest plain line, an optional carriage return and the line feed:
  // anything that decides a line's fate lies within these bytes.
  const size_t plain = maxLine_ + 1;
  const size_t lookahead = plain + 2;
  Fill(lookahead);
  size_t window = Available() < lookahead ? Available() : lookahead;
  if (window == 0) return false;
  const char* start = block_ + next_;
  const char* feed = static_cast<const char*>(std::memchr(start, '\n', window));
  size_t taken;    // characters of the line
  size_t consumed; // bytes used up
  if (feed) {
    size_t physical = static_cast<size_t>(feed - start);
    size_t text = (physical > 0 && start[physical - 1] == '\r') ? physical - 1 : physical;
    if (text <= plain - 1) {
      taken = text;
      consumed = physical + 1;
    } else {
      taken = consumed = plain;
    }
  } else {
    taken = consumed = window < plain ? window : plain;
  }
  std::memcpy(line, start, taken);
  line[taken] = '\0';
  next_ += consumed;
  // Text functions see the line up to its first NUL byte.
  *length = std::strlen(line);
  return true;
}

CrxInput::LineResult CrxInput::ReadLine(char* line, size_t* length) {
  const size_t plain = maxLine_ + 1;
  const size_t lookahead = plain + 2;
  Fill(lookahead);
  size_t window = Available() < lookahead ? Available() : lookahead;
  const char* start = block_ + next_;
  const char* feed =
      window ? static_cast<const char*>(std::memchr(start, '\n', window)) : nullptr;
  if (!feed) {
    // Without a line feed the input either ends within 255 characters or the
    // line runs on past what a line may hold.
    return window <= plain ? LineResult::kTruncated : LineResult::kTooLong;
  }
  size_t physical = static_cast<size_t>(feed - start);
  size_t text = (physical > 0 && start[physical - 1] == '\r') ? physical - 1 : physical;
  if (text > maxLine_) return LineResult::kTooLong;
  next_ += physical + 1;
  if (text > 0 && start[text - 1] == '\r') --text;
  std::memcpy(line, start, text);
  line[text] = '\0';
  *length = std::strlen(line);
  return LineResult::kLine;
}

Result ReadCrxLine(CrxInput& input, char* line, char** end) {
  size_t length = 0;
  switch (input.ReadLine(line, &length)) {
    case CrxInput::LineResult::kLine:
      *end = line + length;
      return Result::Success();
    case CrxInput::LineResult::kTruncated:
      return Result::Failure(
          nullptr, "Error in compressed rinex file:  The file is trancated in the middle");
    case CrxInput::LineResult::kTooLong:
      break;
  }
  return Result::Failure(nullptr, "Error in compressed rinex file:  Invalid line in file");
}

char* TrimTrailingBlanks(char* text, char* end) {
  while (end > text && end[-1] == ' ') --end;
  *end = '\0';
  return end;
}

}  // namespace stanvex
