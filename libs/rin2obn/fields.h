// Fixed-column field parsing for RINEX lines. Every function takes the line
// and a column range and never reads past the line's end: columns beyond it
// read as blank.
#ifndef STANVEX_RIN2OBN_FIELDS_H
#define STANVEX_RIN2OBN_FIELDS_H

#include <string>

namespace rin2obn {

// Parses the real number in line[start, start+width): blanks around it,
// optional sign, digits with an optional point, an optional exponent written
// with D, d, E or e. Returns false for an all-blank field (value 0) or for
// text that is not a number.
bool ParseReal(const std::string& line, size_t start, size_t width, double& value);

// Parses an integer field in line[start, start+width). Returns false for a
// blank field (value 0) or non-numeric text.
bool ParseInt(const std::string& line, size_t start, size_t width, int& value);

// The text of line[start, start+width) with surrounding blanks removed.
std::string FieldText(const std::string& line, size_t start, size_t width);

// The header label of a RINEX header line (columns 61-80), trimmed.
std::string HeaderLabel(const std::string& line);

}  // namespace rin2obn

#endif  // STANVEX_RIN2OBN_FIELDS_H
