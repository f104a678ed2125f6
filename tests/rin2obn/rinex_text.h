// Builders of RINEX 2 text for the reader tests: each puts fields in the
// columns the format fixes, so a test states values, not column counts.
#ifndef STANVEX_TESTS_RIN2OBN_RINEX_TEXT_H
#define STANVEX_TESTS_RIN2OBN_RINEX_TEXT_H

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace rinex_text {

// A header record: content padded to 60 columns, then the label.
inline std::string Header(const std::string& content, const std::string& label) {
  std::string line = content;
  line.resize(60, ' ');
  return line + label + "\n";
}

inline std::string ObsHeaderText(const std::vector<std::string>& types,
                                 const std::string& system = "G") {
  std::string text = Header("     2.11           OBSERVATION DATA    " + system, "RINEX VERSION / TYPE");
  text += Header("TEST", "MARKER NAME");
  text += Header("  4331297.3480   567555.6390  4633133.7280", "APPROX POSITION XYZ");
  for (size_t i = 0; i < types.size() || i == 0; i += 9) {
    char count[24];
    std::snprintf(count, sizeof count, "%6zu", types.size());
    std::string line = i == 0 ? count : "      ";
    for (size_t k = i; k < types.size() && k < i + 9; ++k) line += "    " + types[k];
    text += Header(line, "# / TYPES OF OBSERV");
  }
  text += Header("    30.000", "INTERVAL");
  text += Header("", "END OF HEADER");
  return text;
}

// An epoch record with its satellite list ("G05", "R12", ...), continued on
// further lines after 12 satellites.
inline std::string EpochLine(int minute, double second, int flag,
                             const std::vector<std::string>& satellites) {
  char head[40];
  std::snprintf(head, sizeof head, " 21  1  1  0%3d%11.7f  %d%3zu", minute, second, flag,
                satellites.size());
  std::string text = head;
  for (size_t i = 0; i < satellites.size(); ++i) {
    if (i > 0 && i % 12 == 0) text += "\n" + std::string(32, ' ');
    text += satellites[i];
  }
  return text + "\n";
}

struct Value {
  double value;  // 0 writes a blank field
  char lli;
  char ssi;
};

// The observation lines of one satellite, five values a line.
inline std::string ObservationLines(const std::vector<Value>& values) {
  std::string text;
  for (size_t i = 0; i < values.size(); ++i) {
    char field[20];
    if (values[i].value == 0.0)
      std::snprintf(field, sizeof field, "%14s%c%c", "", values[i].lli, values[i].ssi);
    else
      std::snprintf(field, sizeof field, "%14.3f%c%c", values[i].value, values[i].lli,
                    values[i].ssi);
    text += field;
    if (i % 5 == 4 || i + 1 == values.size()) text += "\n";
  }
  return text;
}

// A RINEX 3 or 4 observation header with one "SYS / # / OBS TYPES" list per
// system (13 codes a line).
inline std::string Obs3HeaderText(
    const std::vector<std::pair<char, std::vector<std::string>>>& systems,
    const std::string& version = "3.04") {
  std::string text = Header("     " + version + "           OBSERVATION DATA    M",
                            "RINEX VERSION / TYPE");
  text += Header("TEST", "MARKER NAME");
  text += Header("  4627853.3468   119640.2373  4372995.2492", "APPROX POSITION XYZ");
  for (const auto& system : systems) {
    const std::vector<std::string>& types = system.second;
    for (size_t i = 0; i < types.size(); i += 13) {
      char count[24];
      std::snprintf(count, sizeof count, "%c  %3zu", system.first, types.size());
      std::string line = i == 0 ? count : "      ";
      for (size_t k = i; k < types.size() && k < i + 13; ++k) line += " " + types[k];
      text += Header(line, "SYS / # / OBS TYPES");
    }
  }
  text += Header("    30.000", "INTERVAL");
  text += Header("", "END OF HEADER");
  return text;
}

// A RINEX 3 epoch record with the receiver clock offset when not 0.
inline std::string Epoch3Line(int minute, double second, int flag, int count,
                              double clock = 0.0) {
  char line[80];
  std::snprintf(line, sizeof line, "> 2022 01 01 00 %02d%11.7f  %d%3d", minute, second, flag,
                count);
  std::string text = line;
  if (clock != 0.0) {
    std::snprintf(line, sizeof line, "      %15.12f", clock);
    text += line;
  }
  return text + "\n";
}

// One RINEX 3 satellite line: its identifier, then 16 columns per value.
inline std::string Satellite3Line(const std::string& id, const std::vector<Value>& values) {
  std::string text = id;
  for (const Value& v : values) {
    char field[20];
    if (v.value == 0.0)
      std::snprintf(field, sizeof field, "%14s%c%c", "", v.lli, v.ssi);
    else
      std::snprintf(field, sizeof field, "%14.3f%c%c", v.value, v.lli, v.ssi);
    text += field;
  }
  return text + "\n";
}

}  // namespace rinex_text

#endif  // STANVEX_TESTS_RIN2OBN_RINEX_TEXT_H
