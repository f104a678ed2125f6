#include "rinex_text.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>

namespace stanvex::sim {

std::string HeaderLine(const std::string& content, const char* label) {
  std::string line = content.substr(0, 60);
  line.resize(60, ' ');
  line += label;
  TrimRight(&line);
  return line + "\n";
}

std::string FortranFixed(double value, int width, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  std::string s = text;
  // "-0.000" and the like: print zero without its sign.
  bool allZero = true;
  for (char c : s)
    if (c >= '1' && c <= '9') allZero = false;
  if (allZero && !s.empty() && s[0] == '-') s.erase(0, 1);
  if (s.compare(0, 2, "0.") == 0) s.erase(0, 1);
  else if (s.compare(0, 3, "-0.") == 0) s.erase(1, 1);
  if (static_cast<int>(s.size()) < width) s.insert(0, static_cast<size_t>(width) - s.size(), ' ');
  return s;
}

std::string FormatText(const char* format, ...) {
  char text[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return text;
}

void TrimRight(std::string* line) {
  size_t end = line->size();
  while (end > 0 && (*line)[end - 1] == ' ') --end;
  line->resize(end);
}

}  // namespace stanvex::sim
