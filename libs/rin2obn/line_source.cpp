#include "line_source.h"

#include <cstring>

namespace rin2obn {

void TrimLineEnd(std::string& line) {
  size_t end = line.size();
  while (end > 0 && (line[end - 1] == '\r' || line[end - 1] == ' ' || line[end - 1] == '\t' ||
                     line[end - 1] == '\0'))
    --end;
  line.resize(end);
}

bool TextLineSource::Next(std::string& line) {
  line.clear();
  if (position_ >= text_.size()) return false;
  size_t end = text_.find('\n', position_);
  if (end == std::string::npos) end = text_.size();
  line.assign(text_, position_, end - position_);
  position_ = end < text_.size() ? end + 1 : end;
  TrimLineEnd(line);
  ++lineNumber_;
  return true;
}

double TextLineSource::Fraction() const {
  return text_.empty() ? 1.0 : static_cast<double>(position_) / static_cast<double>(text_.size());
}

bool FileLineSource::Next(std::string& line) {
  line.clear();
  char chunk[512];
  bool any = false;
  while (std::fgets(chunk, sizeof chunk, stream_) != nullptr) {
    any = true;
    size_t length = std::strlen(chunk);
    consumed_ += static_cast<long long>(length);
    if (length > 0 && chunk[length - 1] == '\n') {
      line.append(chunk, length - 1);
      break;
    }
    line.append(chunk, length);
  }
  if (!any) {
    if (std::ferror(stream_)) failed_ = true;
    return false;
  }
  TrimLineEnd(line);
  ++lineNumber_;
  return true;
}

double FileLineSource::Fraction() const {
  if (size_ <= 0) return 0.0;
  double f = static_cast<double>(consumed_) / static_cast<double>(size_);
  return f > 1.0 ? 1.0 : f;
}

}  // namespace rin2obn
