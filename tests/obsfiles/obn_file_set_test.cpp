#include <gtest/gtest.h>

#include <string>

#include "obsfiles/obn_file_set.h"
#include "platform/platform.h"
#include "test_support.h"

namespace stanvex {
namespace {

using testing::Exists;
using testing::ReadFile;
using testing::WriteFile;

TEST(ObnFileSet, CompanionsShareTheNameAndTooLongANameLeavesTheSetEmpty) {
  ObnFileSet set;
  ASSERT_TRUE(set.Assign("dir.d/abcd0010tmp1.obn").ok);
  EXPECT_STREQ(set.Obn(), "dir.d/abcd0010tmp1.obn");
  EXPECT_STREQ(set.Name(ObnMember::kNvb), "dir.d/abcd0010tmp1.nvb");
  EXPECT_STREQ(set.Name(ObnMember::kSta), "dir.d/abcd0010tmp1.sta");

  // The OBN member keeps the name as given, whatever its extension.
  ASSERT_TRUE(set.Assign("day.dat").ok);
  EXPECT_STREQ(set.Obn(), "day.dat");
  EXPECT_STREQ(set.Name(ObnMember::kSta), "day.sta");

  // A name whose companion would not fit is refused, not cut to another name.
  const std::string longName(kPathSize - 4, 'a');
  EXPECT_FALSE(set.Assign(longName.c_str()).ok);
  EXPECT_STREQ(set.Obn(), "");
  EXPECT_STREQ(set.Name(ObnMember::kNvb), "");
}

TEST(ObnFileSet, SuffixedNamesFollowTheBaseAndCopiesAreNewFiles) {
  testing::ScratchDir dir;
  testing::CurrentDirGuard guard;
  ASSERT_TRUE(platform::SetCurrentDir(dir.path().c_str()));
  ObnFileSet base, staged;
  ASSERT_TRUE(base.Assign("day.obn").ok);
  ASSERT_TRUE(staged.AssignSuffixed(base, ".part").ok);
  EXPECT_STREQ(staged.Obn(), "day.obn.part");
  EXPECT_STREQ(staged.Name(ObnMember::kSta), "day.sta.part");

  WriteFile("day.nvb", "ephemeris\r\n");
  EXPECT_TRUE(base.CopyMember(ObnMember::kNvb, staged).ok);
  EXPECT_EQ(ReadFile("day.nvb.part"), "ephemeris\r\n");
  EXPECT_EQ(ReadFile("day.nvb"), "ephemeris\r\n");
  // A stale staged file is replaced; a missing source copies nothing.
  WriteFile("day.sta", "station\r\n");
  WriteFile("day.sta.part", "stale\r\n");
  EXPECT_TRUE(base.CopyMember(ObnMember::kSta, staged).ok);
  EXPECT_EQ(ReadFile("day.sta.part"), "station\r\n");
  EXPECT_FALSE(base.CopyMember(ObnMember::kObn, staged).ok);
  EXPECT_FALSE(Exists("day.obn.part"));

  // A suffixed name that would not fit is refused whole.
  ObnFileSet longBase;
  ASSERT_TRUE(longBase.Assign(std::string(kPathSize - 5, 'a').c_str()).ok);
  EXPECT_FALSE(staged.AssignSuffixed(longBase, ".part").ok);
  EXPECT_STREQ(staged.Obn(), "");
  EXPECT_STREQ(staged.Name(ObnMember::kNvb), "");
}

TEST(ObnFileSet, MoveReplacesTheTargetAndNeverDeletesTheSourceUnderAnotherSpelling) {
  testing::ScratchDir dir;
  testing::CurrentDirGuard guard;
  ASSERT_TRUE(platform::SetCurrentDir(dir.path().c_str()));
  WriteFile("in.nvb", "ephemeris\r\n");
  WriteFile("out.nvb", "stale\r\n");
  ObnFileSet in, out, sameIn;
  ASSERT_TRUE(in.Assign("in.obn").ok);
  ASSERT_TRUE(out.Assign("out.obn").ok);
  ASSERT_TRUE(sameIn.Assign("./in.obn").ok);

  ASSERT_TRUE(in.MoveMember(ObnMember::kNvb, out).ok);
  EXPECT_FALSE(Exists("in.nvb"));
  EXPECT_EQ(ReadFile("out.nvb"), "ephemeris\r\n");

  // "./out.nvb" is out.nvb itself: deleting the target first would lose it.
  ObnFileSet sameOut;
  ASSERT_TRUE(sameOut.Assign("./out.obn").ok);
  EXPECT_TRUE(out.MoveMember(ObnMember::kNvb, sameOut).ok);
  EXPECT_EQ(ReadFile("out.nvb"), "ephemeris\r\n");

  // A missing source fails, also when both names are one file.
  EXPECT_FALSE(in.MoveMember(ObnMember::kSta, out).ok);
  EXPECT_FALSE(in.MoveMember(ObnMember::kSta, sameIn).ok);
  EXPECT_FALSE(Exists("out.sta"));

  out.DeleteMember(ObnMember::kNvb);
  EXPECT_FALSE(Exists("out.nvb"));
  out.DeleteMember(ObnMember::kNvb);  // already gone: no failure
}

}  // namespace
}  // namespace stanvex
