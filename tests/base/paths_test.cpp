#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base/last_error.h"
#include "base/paths.h"
#include "base/request_state.h"
#include "base/text.h"
#include "platform/platform.h"
#include "test_support.h"

namespace stanvex {
namespace {

const std::string kSep(1, platform::PathSeparator());

TEST(JoinPathTest, AppendsOneSeparatorToTheDirectoryItself) {
  char directory[kPathSize] = "data";
  char name[kPathSize] = "user.dwn";
  ASSERT_TRUE(JoinPath(directory, name).ok);
  EXPECT_EQ(std::string(name), "data" + kSep + "user.dwn");
  EXPECT_EQ(std::string(directory), "data" + kSep);
  char second[kPathSize] = "manufact.dwn";
  ASSERT_TRUE(JoinPath(directory, second).ok);
  EXPECT_EQ(std::string(second), "data" + kSep + "manufact.dwn");
  EXPECT_EQ(std::string(directory), "data" + kSep);
}

TEST(JoinPathTest, EmptyDirectoryLeavesNameAlone) {
  char directory[kPathSize] = "";
  char name[kPathSize] = "x.obn";
  ASSERT_TRUE(JoinPath(directory, name).ok);
  EXPECT_STREQ(name, "x.obn");
}

TEST(JoinPathTest, DirectoryLengthLimitIs239) {
  ResetLibraryStateForTesting();
  char directory[kPathSize + 8];
  std::memset(directory, 'd', 239);
  directory[239] = '\0';
  char name[kPathSize] = "n";
  EXPECT_TRUE(JoinPath(directory, name).ok);
  std::memset(directory, 'd', 240);
  directory[240] = '\0';
  char untouched[kPathSize] = "n";
  Result tooLong = JoinPath(directory, untouched);
  EXPECT_FALSE(tooLong.ok);
  EXPECT_STREQ(untouched, "n");
  EXPECT_EQ(std::string(tooLong.message), "Path is too long " + std::string(240, 'd'));
}

TEST(ReplaceExtensionTest, BlanksGoAndDirectoryDotsAreNotExtensions) {
  std::string input = "  a.b" + kSep + "c";
  char name[kPathSize];
  CopyText(name, sizeof name, input.c_str());
  ReplaceExtension(name, ".nvb");
  EXPECT_EQ(std::string(name), "a.b" + kSep + "c.nvb");
  char plain[kPathSize] = "x.obn";
  ReplaceExtension(plain, ".sta");
  EXPECT_STREQ(plain, "x.sta");
  char empty[kPathSize] = "";
  ReplaceExtension(empty, ".obn");
  EXPECT_STREQ(empty, ".obn");
}

TEST(StripTrailingBackslashTest, RemovesOnlyOne) {
  std::string two = "out" + kSep + kSep;
  char text[kPathSize];
  CopyText(text, sizeof text, two.c_str());
  StripTrailingBackslash(text);
  EXPECT_EQ(std::string(text), "out" + kSep);
  char empty[kPathSize] = "";
  StripTrailingBackslash(empty);
  EXPECT_STREQ(empty, "");
}

TEST(CheckDirectoryTest, MissingDirectoryIsReportedAndCurrentDirectoryKept) {
  ResetLibraryStateForTesting();
  testing::ScratchDir scratch;
  char before[kPathSize], after[kPathSize];
  platform::GetCurrentDir(before, sizeof before);
  EXPECT_TRUE(CheckDirectory(scratch.path().c_str()).ok);
  std::string missing = scratch.File("nope");
  Result checked = CheckDirectory(missing.c_str());
  EXPECT_FALSE(checked.ok);
  EXPECT_EQ(std::string(checked.message), "Error: the directory " + missing + " does not exist");
  platform::GetCurrentDir(after, sizeof after);
  EXPECT_STREQ(before, after);
}

TEST(ChangeTempDirTest, MissingDirectoryLeavesWorkingDirectory) {
  ResetLibraryStateForTesting();
  testing::ScratchDir scratch;
  ASSERT_EQ(ChangeTempDir(scratch.path().c_str()), 0);
  EXPECT_EQ(std::string(WorkingDirectory), scratch.path());
  EXPECT_EQ(ChangeTempDir(scratch.File("missing").c_str()), -1);
  EXPECT_EQ(std::string(WorkingDirectory), scratch.path());
}

}  // namespace
}  // namespace stanvex
