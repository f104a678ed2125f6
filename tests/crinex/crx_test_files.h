// Builders of small compact RINEX files and a runner that decodes them.
#ifndef STANVEX_TESTS_CRINEX_CRX_TEST_FILES_H
#define STANVEX_TESTS_CRINEX_CRX_TEST_FILES_H

#include <string>
#include <vector>

namespace stanvex::testing {

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

struct Decoded {
  int result = 0;
  std::string output;  // the RINEX file as written
  std::string error;   // LastErrorText
};

// Writes compact to a scratch file, decodes it and reads back the output.
Decoded Decode(const std::string& compact);

// The output without the header of RinexHeader(types).
std::string Body(const Decoded& decoded, int types);

}  // namespace stanvex::testing

#endif  // STANVEX_TESTS_CRINEX_CRX_TEST_FILES_H
