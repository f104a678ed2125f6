// The command-line host's rnx2obn and nvb commands, run as a program.
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

using stanvex::testing::Exists;
using stanvex::testing::OutDir;

int RunStanvex(const std::string& arguments, std::string& output) {
  const std::string command = "'" + OutDir() + "/stanvex' " + arguments + " 2>&1";
  std::FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return -1;
  char buffer[512];
  size_t got;
  output.clear();
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, got);
  const int status = pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(ConverterCommands, ConvertPrintsTheCountsAndNvbListsTheEphemerides) {
  if (!Exists(OutDir() + "/stanvex")) GTEST_SKIP() << "no stanvex program";
  ASSERT_TRUE(stanvex::testing::HaveSharedData());
  stanvex::testing::ScratchDir dir;
  const std::string obs = dir.File("30400920.05o");
  stanvex::testing::WriteFile(
      obs, stanvex::testing::ReadFile(stanvex::testing::SharedData("rinex/30400920.05o")));
  const std::string nav = stanvex::testing::SharedData("rinex/30400920.05n");
  std::string out;
  ASSERT_EQ(RunStanvex("rnx2obn '" + obs + "' '" + nav + "' --drop-unsolved", out), 0) << out;
  EXPECT_NE(out.find(dir.File("30400920.obn")), std::string::npos) << out;
  EXPECT_NE(out.find("epochs read:      120\n"), std::string::npos) << out;
  EXPECT_NE(out.find("epochs solved:    120\n"), std::string::npos) << out;

  ASSERT_EQ(RunStanvex("nvb '" + dir.File("30400920.nvb") + "'", out), 0) << out;
  EXPECT_NE(out.find(" ephemerides\n"), std::string::npos) << out;
  EXPECT_NE(out.find("reference: week 1316,"), std::string::npos) << out;

  EXPECT_EQ(RunStanvex("rnx2obn '" + dir.File("none.05o") + "' '" + nav + "'", out), 1);
  EXPECT_NE(out.find("unable to open the observation file"), std::string::npos) << out;
  EXPECT_EQ(RunStanvex("nvb '" + obs + "'", out), 1);
  EXPECT_NE(out.find("is not a tagged NVB file"), std::string::npos) << out;
}

}  // namespace
