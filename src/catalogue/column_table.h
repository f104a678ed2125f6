// Text tables of one record a line, as station lists and coordinate files
// come (CSV, semicolon- or blank-separated), whose first line may name the
// columns: the lines of such a text, the fields of a line, and the columns a
// header line names, found by their names in any order. Each reader of a
// format (stanvex catalogue import's station lists) says which columns it
// wants and the names each goes by.
#ifndef STANVEX_CATALOGUE_COLUMN_TABLE_H
#define STANVEX_CATALOGUE_COLUMN_TABLE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace stanvex {

struct TableLine {
  int32_t number;    // from 1
  std::string text;  // without its line end
};

struct TableText {
  std::vector<TableLine> lines;
  std::string refusal;  // why the text cannot be read as a table; empty when it can
};

// The lines of text, split at '\n' with a '\r' before it dropped. A UTF-8
// byte-order mark at the start is skipped; UTF-16 text (a UTF-16 byte-order
// mark) is refused.
TableText SplitTable(const std::string& text);

// The fields of line: split at commas when it has one, else at semicolons,
// else at runs of blanks and tabs; each field trimmed of blanks.
std::vector<std::string> SplitFields(const std::string& line);

// text without the blanks (spaces, tabs, line ends) around it.
std::string TrimBlanks(const std::string& text);

// The columns a header line names. A column's name compares without regard
// to case, to blanks or quotes around it and to a unit in brackets after it:
// "Height (m)", "\"HEIGHT\"" and "height[m]" all name "height".
class NamedColumns {
 public:
  explicit NamedColumns(const std::vector<std::string>& header);

  // The position of the first column that has one of names (lower case),
  // tried in their order; -1 when none has.
  template <size_t N>
  int Find(const char* const (&names)[N]) const {
    return Find(names, N);
  }
  int Find(const char* const* names, size_t count) const;

 private:
  std::vector<std::string> keys_;
};

// The field at index, or "" when index is -1 or past the line's last field.
const std::string& FieldAt(const std::vector<std::string>& fields, int index);

// text for a message: each byte outside printable ASCII written as \xNN.
std::string Printable(const std::string& text);

}  // namespace stanvex

#endif  // STANVEX_CATALOGUE_COLUMN_TABLE_H
