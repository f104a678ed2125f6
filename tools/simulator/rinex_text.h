// Column formatting shared by the RINEX writers.
#ifndef STANVEX_SIM_RINEX_TEXT_H
#define STANVEX_SIM_RINEX_TEXT_H

#include <string>

namespace stanvex::sim {

// A header line: content left-justified in 60 columns, then the label.
std::string HeaderLine(const std::string& content, const char* label);

// A fixed-point field as Fortran writes it: right-aligned in width columns
// with decimals places, without the leading zero of values below one
// (".500", "-.500"). Values that round to zero print as positive zero.
std::string FortranFixed(double value, int width, int decimals);

// printf into a string (at most 255 characters).
std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Removes trailing blanks.
void TrimRight(std::string* line);

}  // namespace stanvex::sim

#endif  // STANVEX_SIM_RINEX_TEXT_H
