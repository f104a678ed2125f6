// The RINEX join on small observation texts: overlapping edges, other
// observation types, another version and a damaged epoch.
#include "crinex/rinex_join.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "test_support.h"

namespace stanvex {
namespace {

using testing::ReadFile;
using testing::ScratchDir;
using testing::WriteFile;

std::string Record(std::string text, const char* label) {
  text.resize(60, ' ');
  return text + label + "\n";
}

std::string Header(bool rinex3, const std::string& types) {
  return Record(rinex3 ? "     3.04           OBSERVATION DATA    M"
                       : "     2.11           OBSERVATION DATA    G",
                "RINEX VERSION / TYPE") +
         types + Record("", "END OF HEADER");
}

// Observations of 16 characters: the value, blank flags.
std::string Obs(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%14.3f  ", value);
  return text;
}

std::string Epoch2(int minute, const char* satellites) {
  char text[64];
  std::snprintf(text, sizeof text, " 21  1  1 10 %2d  0.0000000  0%s\n", minute, satellites);
  return text;
}

std::string Epoch3(int minute, int count) {
  char text[64];
  std::snprintf(text, sizeof text, "> 2023 01 01 10 %02d  0.0000000  0%3d\n", minute, count);
  return text;
}

TEST(RinexJoin, WritesEachEpochOnceInTheFirstFilesTypes) {
  const std::string types2 = Record("     6    L1    C1    P2    L2    S1    S2", "# / TYPES OF OBSERV");
  const std::string other2 = Record("     2    S1    L1", "# / TYPES OF OBSERV");
  const std::string types3 = Record("G    2 C1C L1C", "SYS / # / OBS TYPES") +
                             Record("E    1 C1X", "SYS / # / OBS TYPES");
  const std::string other3 = Record("G    2 L1C C1C", "SYS / # / OBS TYPES") +
                             Record("R    1 C1C", "SYS / # / OBS TYPES");
  // RINEX 2: six values are two lines a satellite.
  const std::string a2 = Obs(1) + Obs(2) + Obs(3) + Obs(4) + Obs(5) + "\n" + Obs(6) + "\n";
  const struct {
    const char* name;
    std::vector<std::string> inputs;
    std::string joined;
    std::vector<std::string> problems;
  } cases[] = {
      {"RINEX 2 overlap and other types",
       {Header(false, types2) + Epoch2(0, "  1G01") + a2 + Epoch2(1, "  1G01") + a2,
        Header(false, other2) + Epoch2(1, "  1G01") + Obs(9) + Obs(8) + "\n" +
            Epoch2(2, "  1G01") + Obs(5) + Obs(1) + "\n"},
       Header(false, types2) + Epoch2(0, "  1G01") + a2 + Epoch2(1, "  1G01") + a2 +
           Epoch2(2, "  1G01") + Obs(1) + std::string(48, ' ') + Obs(5).substr(0, 14) + "\n\n",
       {"", ""}},
      {"RINEX 3 other types, a system the first file lacks",
       {Header(true, types3) + Epoch3(0, 1) + "G01" + Obs(1) + Obs(2) + "\n",
        Header(true, other3) + Epoch3(1, 2) + "G01" + Obs(2) + Obs(1) + "\n" + "R05" + Obs(7) +
            "\n"},
       Header(true, types3) + Epoch3(0, 1) + "G01" + Obs(1) + Obs(2) + "\n" + Epoch3(1, 1) +
           "G01" + Obs(1) + Obs(2).substr(0, 14) + "\n",
       {"", ""}},
      {"another version, a damaged epoch",
       {Header(false, types2) + Epoch2(0, "  1G01") + a2 + " 21  1  1 1x  1  0.0000000  0  1G01\n",
        Header(true, types3) + Epoch3(2, 1) + "G01" + Obs(1) + Obs(2) + "\n"},
       Header(false, types2) + Epoch2(0, "  1G01") + a2,
       {"has a damaged epoch at line 7, the rest is left out", "is RINEX 3, the first file RINEX 2"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDir dir;
    std::vector<std::string> paths;
    std::vector<JoinInput> inputs(c.inputs.size());
    for (size_t i = 0; i < c.inputs.size(); ++i) paths.push_back(dir.File(std::to_string(i)));
    for (size_t i = 0; i < c.inputs.size(); ++i) {
      WriteFile(paths[i], c.inputs[i]);
      inputs[i].path = paths[i].c_str();
    }
    Result result = JoinRinexObservations(inputs.data(), static_cast<int32_t>(inputs.size()),
                                          dir.File("out").c_str());
    ASSERT_TRUE(result.ok) << result.message;
    EXPECT_EQ(ReadFile(dir.File("out")), c.joined);
    for (size_t i = 0; i < inputs.size(); ++i) EXPECT_EQ(inputs[i].problem, c.problems[i]);
  }
}

}  // namespace
}  // namespace stanvex
