#include "crx_test_files.h"

#include <cstdio>

#include "base/last_error.h"
#include "base/text.h"
#include "crinex/crx2rnx.h"
#include "test_support.h"

namespace stanvex::testing {

std::string Labelled(const std::string& text, const std::string& label) {
  std::string line = text;
  if (line.size() < 60) line.append(60 - line.size(), ' ');
  return line + label;
}

namespace {

std::string TypeLines(int types) {
  static const char* kNames[] = {"L1", "L2", "C1", "P2", "P1", "S1", "S2", "C2", "P5"};
  std::string lines;
  for (int first = 0; first < types || (types == 0 && first == 0); first += 9) {
    char count[16];
    std::snprintf(count, sizeof count, "%6d", types);
    std::string text = first == 0 ? count : "      ";
    for (int i = first; i < types && i < first + 9; ++i) text += std::string("    ") + kNames[i % 9];
    lines += Labelled(text, "# / TYPES OF OBSERV") + "\n";
  }
  return lines;
}

}  // namespace

std::string RinexHeader(int types) {
  return Labelled("     2.11           OBSERVATION DATA    G (GPS)", "RINEX VERSION / TYPE") +
         "\n" + TypeLines(types) + Labelled("", "END OF HEADER") + "\n";
}

std::string CompactHeader(int types) {
  return Labelled("1.0                 COMPACT RINEX FORMAT", "CRINEX VERS   / TYPE") + "\n" +
         Labelled("RNX2CRX ver.4.0.7                       02-Jan-21 00:02",
                  "CRINEX PROG / DATE") +
         "\n" + RinexHeader(types);
}

std::string EpochLine(const std::vector<std::string>& satellites, int flag, char first,
                      int seconds) {
  char text[64];
  std::snprintf(text, sizeof text, "%c21  1  1  0  0 %2d.0000000%3d%3d", first, seconds, flag,
                static_cast<int>(satellites.size()));
  std::string line = text;
  for (const std::string& satellite : satellites) line += satellite;
  return line;
}

std::string Fields(const std::vector<std::string>& values) {
  std::string lines, line;
  for (size_t i = 0; i < values.size(); ++i) {
    line += std::string(14 - values[i].size(), ' ') + values[i] + "  ";
    if ((i + 1) % 5 == 0 || i + 1 == values.size()) {
      line.erase(line.find_last_not_of(' ') + 1);
      lines += line + "\n";
      line.clear();
    }
  }
  return lines;
}

std::string SystemTypes(char system, int types) {
  std::string lines;
  for (int first = 0; first < types || (types == 0 && first == 0); first += 13) {
    char text[16];
    std::snprintf(text, sizeof text, "%c  %3d", first == 0 ? system : ' ', types);
    std::string line = first == 0 ? text : "      ";
    for (int i = first; i < types && i < first + 13; ++i) {
      std::snprintf(text, sizeof text, " C%02d", i + 1);
      line += text;
    }
    lines += Labelled(line, "SYS / # / OBS TYPES") + "\n";
  }
  return lines;
}

std::string RinexHeader3(const std::string& typeLines) {
  return Labelled("     3.04           OBSERVATION DATA    M (MIXED)", "RINEX VERSION / TYPE") +
         "\n" + typeLines + Labelled("", "END OF HEADER") + "\n";
}

std::string CompactHeader3(const std::string& typeLines) {
  return Labelled("3.0                 COMPACT RINEX FORMAT", "CRINEX VERS   / TYPE") + "\n" +
         Labelled("RNX2CRX ver.4.1.0                       02-Jan-22 00:02",
                  "CRINEX PROG / DATE") +
         "\n" + RinexHeader3(typeLines);
}

std::string Epoch3Line(const std::vector<std::string>& satellites, int flag, int seconds) {
  char text[64];
  std::snprintf(text, sizeof text, "> 2022 01 01  0  0 %2d.0000000  %d%3d      ", seconds, flag,
                static_cast<int>(satellites.size()));
  std::string line = text;
  for (const std::string& satellite : satellites) line += satellite;
  return line;
}

std::string Record3(const std::string& satellite, const std::vector<std::string>& values,
                    const std::string& flags) {
  std::string line = satellite;
  for (size_t i = 0; i < values.size(); ++i) {
    std::string pair = 2 * i + 2 <= flags.size() ? flags.substr(2 * i, 2) : "  ";
    line += std::string(14 - values[i].size(), ' ') + values[i] + pair;
  }
  line.erase(line.find_last_not_of(' ') + 1);
  return line + "\n";
}

Decoded Decode(const std::string& compact) {
  ScratchDir dir;
  WriteFile(dir.File("in.21d"), compact);
  Decoded decoded;
  const Result result = Crx2Rnx(dir.File("in.21d").c_str(), dir.File("out.21o").c_str());
  decoded.result = result.ok ? 0 : -1;
  decoded.error = result.message;
  if (Exists(dir.File("out.21o"))) decoded.output = ReadFile(dir.File("out.21o"));
  return decoded;
}

std::string Body(const Decoded& decoded, int types) {
  std::string header = RinexHeader(types);
  if (decoded.output.compare(0, header.size(), header) != 0) return "<header differs>";
  return decoded.output.substr(header.size());
}

std::string BodyAfterHeader(const Decoded& decoded) {
  std::string end = Labelled("", "END OF HEADER") + "\n";
  size_t at = decoded.output.find(end);
  return at == std::string::npos ? "<no header>" : decoded.output.substr(at + end.size());
}

}  // namespace stanvex::testing
