#include "fields.h"

#include <cmath>

namespace rin2obn {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

bool ParseReal(const std::string& line, size_t start, size_t width, double& value) {
  value = 0.0;
  if (start >= line.size()) return false;
  size_t end = start + width < line.size() ? start + width : line.size();
  size_t i = start;
  while (i < end && IsBlank(line[i])) ++i;
  while (end > i && IsBlank(line[end - 1])) --end;
  if (i == end) return false;
  bool negative = false;
  if (line[i] == '+' || line[i] == '-') {
    negative = line[i] == '-';
    ++i;
  }
  // Mantissa digits are gathered as an integer with a decimal scale, which
  // keeps the text's own digits exact up to 18 of them.
  unsigned long long mantissa = 0;
  int digits = 0;
  int scale = 0;
  bool seenPoint = false;
  bool any = false;
  for (; i < end; ++i) {
    char c = line[i];
    if (c >= '0' && c <= '9') {
      any = true;
      if (digits < 18) {
        mantissa = mantissa * 10 + static_cast<unsigned>(c - '0');
        if (mantissa != 0) ++digits;
        if (seenPoint) --scale;
      } else if (!seenPoint) {
        ++scale;
      }
    } else if (c == '.' && !seenPoint) {
      seenPoint = true;
    } else {
      break;
    }
  }
  if (!any) return false;
  int exponent = 0;
  if (i < end) {
    char c = line[i];
    if (c != 'D' && c != 'd' && c != 'E' && c != 'e') return false;
    ++i;
    bool negativeExponent = false;
    if (i < end && (line[i] == '+' || line[i] == '-')) {
      negativeExponent = line[i] == '-';
      ++i;
    }
    if (i == end) return false;
    for (; i < end; ++i) {
      if (line[i] < '0' || line[i] > '9') return false;
      if (exponent < 1000) exponent = exponent * 10 + (line[i] - '0');
    }
    if (negativeExponent) exponent = -exponent;
  }
  int power = scale + exponent;
  double result = static_cast<double>(mantissa);
  // Dividing by an exact power of ten rounds once, so the printed digits of
  // the field come back unchanged.
  if (power < 0 && power >= -22)
    result /= std::pow(10.0, -power);
#if defined(_WIN64)
  // MinGW-w64's x86-64 pow() is several units in the last place off for
  // negative exponents (pow(10, -24) gives 1.0000000000000025e-24) and exact
  // for positive ones: divide there too.
  else if (power < 0 && power >= -308)
    result /= std::pow(10.0, -power);
#endif
  else if (power != 0)
    result *= std::pow(10.0, power);
  value = negative ? -result : result;
  if (!std::isfinite(value)) {
    value = 0.0;  // an exponent out of range is no number
    return false;
  }
  return true;
}

bool ParseInt(const std::string& line, size_t start, size_t width, int& value) {
  value = 0;
  if (start >= line.size()) return false;
  size_t end = start + width < line.size() ? start + width : line.size();
  size_t i = start;
  while (i < end && IsBlank(line[i])) ++i;
  while (end > i && IsBlank(line[end - 1])) --end;
  if (i == end) return false;
  bool negative = false;
  if (line[i] == '+' || line[i] == '-') {
    negative = line[i] == '-';
    ++i;
  }
  if (i == end) return false;
  long result = 0;
  for (; i < end; ++i) {
    if (line[i] < '0' || line[i] > '9') return false;
    if (result < 100000000) result = result * 10 + (line[i] - '0');
  }
  value = static_cast<int>(negative ? -result : result);
  return true;
}

std::string FieldText(const std::string& line, size_t start, size_t width) {
  if (start >= line.size()) return std::string();
  size_t end = start + width < line.size() ? start + width : line.size();
  while (start < end && IsBlank(line[start])) ++start;
  while (end > start && IsBlank(line[end - 1])) --end;
  return line.substr(start, end - start);
}

std::string HeaderLabel(const std::string& line) { return FieldText(line, 60, 20); }

}  // namespace rin2obn
