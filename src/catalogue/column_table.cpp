#include "catalogue/column_table.h"

#include <cctype>
#include <cstdio>

namespace stanvex {
namespace {

constexpr char kUtf8Mark[] = "\xEF\xBB\xBF";

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// A column name as names are compared: "Height (m)" -> "height".
std::string ColumnKey(const std::string& name) {
  std::string key = TrimBlanks(name);
  if (key.size() >= 2 && key.front() == '"' && key.back() == '"')
    key = TrimBlanks(key.substr(1, key.size() - 2));
  if (!key.empty() && (key.back() == ')' || key.back() == ']')) {
    size_t open = key.find_last_of(key.back() == ')' ? '(' : '[');
    if (open != std::string::npos && open > 0) key = TrimBlanks(key.substr(0, open));
  }
  for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return key;
}

}  // namespace

std::string TrimBlanks(const std::string& text) {
  size_t first = 0;
  size_t last = text.size();
  while (first < last && IsBlank(text[first])) ++first;
  while (last > first && IsBlank(text[last - 1])) --last;
  return text.substr(first, last - first);
}

TableText SplitTable(const std::string& text) {
  TableText table;
  if (text.compare(0, 2, "\xFF\xFE") == 0 || text.compare(0, 2, "\xFE\xFF") == 0) {
    table.refusal = "the list is UTF-16 text; save it as UTF-8 or plain ASCII text";
    return table;
  }
  size_t start = text.compare(0, 3, kUtf8Mark) == 0 ? 3 : 0;
  int32_t number = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    size_t length = end - start;
    if (length > 0 && text[end - 1] == '\r') --length;
    table.lines.push_back(TableLine{++number, text.substr(start, length)});
    start = end + 1;
  }
  return table;
}

std::vector<std::string> SplitFields(const std::string& line) {
  std::vector<std::string> fields;
  char separator = line.find(',') != std::string::npos   ? ','
                   : line.find(';') != std::string::npos ? ';'
                                                         : ' ';
  if (separator == ' ') {
    std::string field;
    for (char c : line) {
      if (c == ' ' || c == '\t') {
        if (!field.empty()) fields.push_back(field);
        field.clear();
      } else {
        field += c;
      }
    }
    if (!field.empty()) fields.push_back(field);
    return fields;
  }
  size_t start = 0;
  for (;;) {
    size_t end = line.find(separator, start);
    fields.push_back(TrimBlanks(line.substr(start, end == std::string::npos ? end : end - start)));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return fields;
}

NamedColumns::NamedColumns(const std::vector<std::string>& header) {
  for (const std::string& name : header) keys_.push_back(ColumnKey(name));
}

int NamedColumns::Find(const char* const* names, size_t count) const {
  for (size_t n = 0; n < count; ++n)
    for (size_t i = 0; i < keys_.size(); ++i)
      if (keys_[i] == names[n]) return static_cast<int>(i);
  return -1;
}

const std::string& FieldAt(const std::vector<std::string>& fields, int index) {
  static const std::string kEmpty;
  return index >= 0 && static_cast<size_t>(index) < fields.size()
             ? fields[static_cast<size_t>(index)]
             : kEmpty;
}

std::string Printable(const std::string& text) {
  std::string shown;
  for (char c : text) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u >= 32 && u < 127) {
      shown += c;
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", u);
      shown += escaped;
    }
  }
  return shown;
}

}  // namespace stanvex
