// Builders of small compact RINEX files and a runner that decodes them.
#ifndef STANVEX_TESTS_CRINEX_CRX_TEST_FILES_H
#define STANVEX_TESTS_CRINEX_CRX_TEST_FILES_H

#include <string>
#include <vector>

namespace stanvex::testing {

// The decoder's text for a file that is not compact RINEX.
constexpr char kNotCompact[] = "ERROR : format is not valid compressed rinex format";

// text padded with blanks to 60 columns, then label.
std::string Labelled(const std::string& text, const std::string& label);

// The two compact lines and a RINEX header announcing types observation
// types ("# / TYPES OF OBSERV" lines of nine types each), ending with
// END OF HEADER; every line ends with "\n".
std::string CompactHeader(int types);

// The RINEX header of CompactHeader as the decoder writes it.
std::string RinexHeader(int types);

// An epoch line " 21  1  1  0  0  0.0000000" + flag (I3) + count (I3) +
// identifiers, without line end. first replaces column 1 ('&' for an
// initialization epoch).
std::string EpochLine(const std::vector<std::string>& satellites, int flag = 0,
                      char first = ' ', int seconds = 0);

// Data record lines as the decoder writes them: each value right-aligned in
// 14 columns followed by two blank flag characters, five per line, trailing
// blanks removed. An empty value is a blank field.
std::string Fields(const std::vector<std::string>& values);

// ---- compact RINEX 3.0 ------------------------------------------------------

// "SYS / # / OBS TYPES" lines of one system: its letter, the count, 13 types a
// line (types named by their number: "C01", "C02", ...).
std::string SystemTypes(char system, int types);

// The two compact lines (version 3.0) and a RINEX 3.04 header holding
// typeLines, ending with END OF HEADER.
std::string CompactHeader3(const std::string& typeLines);
// The RINEX header of CompactHeader3 as the decoder writes it.
std::string RinexHeader3(const std::string& typeLines);

// A RINEX 3 epoch line as compact RINEX 3.0 stores it: "> 2022 01 01  0  0"
// + seconds (F11.7) + flag (col 32) + count (I3), six blanks, then the
// identifiers from column 42; without line end.
std::string Epoch3Line(const std::vector<std::string>& satellites, int flag = 0,
                       int seconds = 0);

// A RINEX 3 record line: the satellite, then each value right-aligned in 14
// columns with the two flag characters of flags (blanks when flags is short),
// trailing blanks removed, with its line end.
std::string Record3(const std::string& satellite, const std::vector<std::string>& values,
                    const std::string& flags = "");

struct Decoded {
  int result = 0;       // 0 when decoded, -1 when the decoding failed
  std::string output;  // the RINEX file as written
  std::string error;   // the failure's message
};

// Writes compact to a scratch file, decodes it and reads back the output.
Decoded Decode(const std::string& compact);

// The output without the header of RinexHeader(types).
std::string Body(const Decoded& decoded, int types);

// The output after its END OF HEADER line.
std::string BodyAfterHeader(const Decoded& decoded);

}  // namespace stanvex::testing

#endif  // STANVEX_TESTS_CRINEX_CRX_TEST_FILES_H
