// The command-line host's OBN commands, run as a program.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "obn_test_util.h"
#include "test_support.h"

namespace stanvex {
namespace {

// Runs the stanvex program with arguments; returns its exit status and output.
int RunStanvex(const std::string& arguments, std::string* output) {
  const std::string command = "'" + testing::OutDir() + "/stanvex' " + arguments + " 2>&1";
  std::FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return -1;
  char buffer[512];
  size_t got;
  output->clear();
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output->append(buffer, got);
  const int status = pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(ObnCommands, JoinSpliceInfoAndAveragePosition) {
  if (!testing::Exists(testing::OutDir() + "/stanvex")) GTEST_SKIP() << "no stanvex program";
  testing::ScratchDir dir;
  const std::string a = dir.File("a.obn"), b = dir.File("b.obn"), joined = dir.File("j.obn");
  std::vector<testing::TestEpoch> first, second;
  for (int i = 0; i < 3; ++i) first.push_back(testing::MakeEpoch(100 + i, 5));
  for (int i = 0; i < 5; ++i) second.push_back(testing::MakeEpoch(103 + i, 5));
  ASSERT_TRUE(testing::WriteObnFile(a, first, 1.0f));
  ASSERT_TRUE(testing::WriteObnFile(b, second, 1.0f));

  std::string out;
  ASSERT_EQ(RunStanvex("obn join '" + joined + "' '" + a + "' '" + b + "'", &out), 0) << out;
  EXPECT_EQ(testing::EpochTimes(joined).size(), 8u);
  EXPECT_TRUE(testing::Exists(a));  // the command keeps its inputs

  ASSERT_EQ(RunStanvex("obn splice '" + joined + "' 102 104", &out), 0) << out;
  EXPECT_EQ(testing::EpochTimes(dir.File("j1.obn")), (std::vector<double>{102, 103, 104}));

  ASSERT_EQ(RunStanvex("obn info '" + joined + "'", &out), 0) << out;
  EXPECT_NE(out.find("epochs:       8"), std::string::npos) << out;
  EXPECT_NE(out.find("100.000 .. 107.000"), std::string::npos) << out;

  ASSERT_EQ(RunStanvex("obn dump '" + a + "'", &out), 0) << out;
  EXPECT_NE(out.find("epoch 102.000"), std::string::npos) << out;

  testing::WriteFile(dir.File("j.nvb"), "1 2138\nx\nx\nx\n100\nx\n");
  ASSERT_EQ(RunStanvex("avgpos '" + joined + "'", &out), 0) << out;
  EXPECT_NE(out.find("valid: 1"), std::string::npos) << out;

  EXPECT_EQ(RunStanvex("obn info '" + dir.File("missing.obn") + "'", &out), 1);
  EXPECT_NE(out.find("Error: File"), std::string::npos) << out;

  // Without a solved epoch there is no average position to print.
  for (testing::TestEpoch& epoch : first) epoch.position.flags = 0;
  ASSERT_TRUE(testing::WriteObnFile(dir.File("u.obn"), first, 1.0f));
  EXPECT_EQ(RunStanvex("avgpos '" + dir.File("u.obn") + "'", &out), 1);
  EXPECT_NE(out.find("holds no epoch with a position solution"), std::string::npos) << out;
}

// Commands that take an OBN file keep it with its companions, and the file
// each writes gets the companions beside it.
TEST(ObnCommands, InputsAreKeptAndOutputsGetTheirCompanions) {
  if (!testing::Exists(testing::OutDir() + "/stanvex")) GTEST_SKIP() << "no stanvex program";
  testing::ScratchDir dir;
  std::vector<testing::TestEpoch> first, second;
  for (int i = 0; i < 10; ++i) first.push_back(testing::MakeEpoch(100 + i, 5));
  for (int i = 0; i < 4; ++i) second.push_back(testing::MakeEpoch(110 + i, 5));
  ASSERT_TRUE(testing::WriteObnFile(dir.File("a.obn"), first, 1.0f));
  ASSERT_TRUE(testing::WriteObnFile(dir.File("b.obn"), second, 1.0f));
  const std::string nvb = "$EPHREC\r\nGpsEph { El1: 2138 }\r\n";
  testing::WriteFile(dir.File("a.nvb"), nvb);
  testing::WriteFile(dir.File("a.sta"), "Marker: SIMA\r\n");
  testing::WriteFile(dir.File("b.sta"), "Marker: SIMA\r\n");
  const std::string a = "'" + dir.File("a.obn") + "' ";

  std::string out;
  ASSERT_EQ(RunStanvex("obn resample " + a + "'" + dir.File("r.obn") + "' 2", &out), 0) << out;
  EXPECT_EQ(testing::EpochTimes(dir.File("r.obn")),
            (std::vector<double>{100, 102, 104, 106, 108}));
  EXPECT_EQ(testing::ReadFile(dir.File("r.nvb")), nvb);
  EXPECT_TRUE(testing::Exists(dir.File("r.sta")));
  // The interval it already has: a copy, not a move.
  ASSERT_EQ(RunStanvex("obn resample " + a + "'" + dir.File("same.obn") + "' 1", &out), 0) << out;
  EXPECT_EQ(testing::EpochTimes(dir.File("same.obn")).size(), 10u);
  EXPECT_TRUE(testing::Exists(dir.File("same.nvb")));
  EXPECT_EQ(testing::EpochTimes(dir.File("a.obn")).size(), 10u);
  EXPECT_EQ(testing::ReadFile(dir.File("a.nvb")), nvb);
  EXPECT_TRUE(testing::Exists(dir.File("a.sta")));
  EXPECT_EQ(RunStanvex("obn resample " + a + "'" + dir.File("n.obn") + "' nan", &out), 1);
  EXPECT_NE(out.find("invalid INTERVAL nan"), std::string::npos) << out;

  ASSERT_EQ(RunStanvex("obn splice " + a + "102 104 -o '" + dir.File("cut.obn") + "'", &out), 0)
      << out;
  EXPECT_EQ(testing::EpochTimes(dir.File("cut.obn")), (std::vector<double>{102, 103, 104}));
  EXPECT_EQ(testing::ReadFile(dir.File("cut.nvb")), nvb);
  EXPECT_EQ(testing::ReadFile(dir.File("cut.sta")), "Marker: SIMA\r\n");
  EXPECT_EQ(testing::EpochTimes(dir.File("a.obn")).size(), 10u);

  ASSERT_EQ(RunStanvex("obn join '" + dir.File("j.obn") + "' " + a + "'" + dir.File("b.obn") + "'",
                       &out),
            0)
      << out;
  EXPECT_EQ(testing::ReadFile(dir.File("j.nvb")), nvb);
  EXPECT_EQ(testing::ReadFile(dir.File("j.sta")), "Marker: SIMA\r\nMarker: SIMA\r\n");
}

// A link planted under the temporary name of a joined companion is replaced,
// never written through.
TEST(ObnCommands, JoinedCompanionIsNotWrittenThroughAPlantedLink) {
  if (!testing::Exists(testing::OutDir() + "/stanvex")) GTEST_SKIP() << "no stanvex program";
  testing::ScratchDir dir;
  ASSERT_TRUE(testing::WriteObnFile(dir.File("a.obn"), {testing::MakeEpoch(100, 5)}, 1.0f));
  ASSERT_TRUE(testing::WriteObnFile(dir.File("b.obn"), {testing::MakeEpoch(101, 5)}, 1.0f));
  testing::WriteFile(dir.File("a.sta"), "Marker: SIMA\r\n");
  testing::WriteFile(dir.File("b.sta"), "Marker: SIMA\r\n");
  testing::WriteFile(dir.File("victim.txt"), "keep");
  std::error_code error;
  std::filesystem::create_symlink(dir.File("victim.txt"), dir.File("j.sta.part"), error);
  if (error) GTEST_SKIP() << "no symbolic links here";

  std::string out;
  ASSERT_EQ(RunStanvex("obn join '" + dir.File("j.obn") + "' '" + dir.File("a.obn") + "' '" +
                           dir.File("b.obn") + "'",
                       &out),
            0)
      << out;
  EXPECT_EQ(testing::ReadFile(dir.File("j.sta")), "Marker: SIMA\r\nMarker: SIMA\r\n");
  EXPECT_EQ(testing::ReadFile(dir.File("victim.txt")), "keep");
  EXPECT_FALSE(std::filesystem::is_symlink(dir.File("j.sta"), error));
}

}  // namespace
}  // namespace stanvex
