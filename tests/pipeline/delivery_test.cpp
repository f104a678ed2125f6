#include "pipeline/delivery.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <set>
#include <string>

#include "base/last_error.h"
#include "base/paths.h"
#include "base/request_state.h"
#include "base/text.h"
#include "failing_files.h"
#include "platform/platform.h"
#include "result_codes.h"
#include "test_support.h"

namespace stanvex {
namespace {

using testing::ZeroOrMinusOne;

using testing::Exists;
using testing::ReadFile;
using testing::ScratchDir;
using testing::WriteFile;

constexpr char kStillInWork[] =
    "Error unable to move files to destination directory. Files are still in the temp directory ";

class DeliveryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetLibraryStateForTesting();
    CopyText(WorkingDirectory, sizeof WorkingDirectory, work.path().c_str());
  }
  // Writes the three result files into the working directory, each holding
  // its own name and a tag.
  void MakeResult(const std::string& base, const std::string& tag = "new") {
    for (const char* ext : {".obn", ".nvb", ".sta"}) WriteFile(work.File(base + ext), tag + ext);
  }
  std::string Error() { return LastErrorText; }
  // True when the destination holds exactly these names (no temporary left).
  bool DestinationHolds(std::set<std::string> names) {
    std::set<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator(dest.path()))
      found.insert(entry.path().filename().string());
    return found == names;
  }
  int CopyOver(const std::string& name) {
    CopyText(buffer, sizeof buffer, name.c_str());
    return ZeroOrMinusOne(
        DeliverCopyOver(buffer, WorkingDirectory, dest.path().c_str(), delivered));
  }
  int Append(const std::string& name) {
    CopyText(buffer, sizeof buffer, name.c_str());
    return ZeroOrMinusOne(DeliverAppend(buffer, WorkingDirectory, dest.path().c_str(), delivered));
  }

  ScratchDir work;
  ScratchDir dest;
  char buffer[kPathSize] = {};
  char delivered[kPathSize] = {};
};

TEST_F(DeliveryTest, CopyOverReplacesAllThreeAndEmptiesTheWorkingDirectory) {
  MakeResult("abcd0050");
  for (const char* ext : {".obn", ".nvb", ".sta"})
    WriteFile(dest.File(std::string("abcd0050") + ext), "old");
  ASSERT_EQ(CopyOver("abcd0050.sta"), 0) << Error();  // any companion's name will do
  for (const char* ext : {".obn", ".nvb", ".sta"}) {
    EXPECT_EQ(ReadFile(dest.File(std::string("abcd0050") + ext)), std::string("new") + ext);
    EXPECT_FALSE(Exists(work.File(std::string("abcd0050") + ext)));
  }
  EXPECT_EQ(std::string(delivered), dest.File("abcd0050.obn"));
  EXPECT_STREQ(buffer, "abcd0050.obn");
}

TEST_F(DeliveryTest, CopyOverOfAMissingFileDeliversNothing) {
  EXPECT_EQ(CopyOver("none.obn"), -1);
  EXPECT_EQ(Error(), std::string(kStillInWork) + work.path() + " (missing: " +
                         work.File("none.obn") + ")");

  // A missing companion keeps the OBN file back too: a delivery is whole.
  MakeResult("nonv");
  std::remove(work.File("nonv.nvb").c_str());
  EXPECT_EQ(CopyOver("nonv.obn"), -1);
  EXPECT_EQ(Error(), std::string(kStillInWork) + work.path() + " (missing: " +
                         work.File("nonv.nvb") + ")");
  EXPECT_TRUE(DestinationHolds({}));
  EXPECT_TRUE(Exists(work.File("nonv.obn")));
  EXPECT_TRUE(Exists(work.File("nonv.sta")));
}

// A delivery that fails at any step leaves the destination as it was and all
// three files in the working directory, and says so.
TEST_F(DeliveryTest, FailedDeliveryIsUndoneWhole) {
  for (const char* failing : {"abcd0050.sta.part", "abcd0050.nvb.old.part", "abcd0050.sta"}) {
    SCOPED_TRACE(failing);
    MakeResult("abcd0050");
    for (const char* ext : {".obn", ".nvb", ".sta"})
      WriteFile(dest.File(std::string("abcd0050") + ext), "old");
    {
      testing::FailingFiles full(failing, testing::FailingFiles::kRefuseName);
      EXPECT_EQ(CopyOver("abcd0050.obn"), -1);
    }
    EXPECT_EQ(Error().rfind(std::string(kStillInWork) + work.path() + " (", 0), 0u) << Error();
    for (const char* ext : {".obn", ".nvb", ".sta"}) {
      EXPECT_EQ(ReadFile(dest.File(std::string("abcd0050") + ext)), "old");
      EXPECT_EQ(ReadFile(work.File(std::string("abcd0050") + ext)), std::string("new") + ext);
    }
    EXPECT_TRUE(DestinationHolds({"abcd0050.obn", "abcd0050.nvb", "abcd0050.sta"}));
    EXPECT_STREQ(delivered, "");
  }

  // An append whose OBN name is free: nothing of it stays in the destination.
  MakeResult("efgh0050");
  {
    testing::FailingFiles full("efgh0050.sta", testing::FailingFiles::kRefuseName);
    EXPECT_EQ(Append("efgh0050.obn"), -1);
  }
  EXPECT_FALSE(Exists(dest.File("efgh0050.obn")));
  EXPECT_TRUE(Exists(work.File("efgh0050.obn")));
}

// An earlier file that cannot be put back under its name is named in the
// failure, where it is kept.
TEST_F(DeliveryTest, FailedUndoNamesWhereTheEarlierFileIsKept) {
  MakeResult("abcd0050");
  for (const char* ext : {".obn", ".nvb", ".sta"})
    WriteFile(dest.File(std::string("abcd0050") + ext), "old");
  {
    // The renames of the new .sta into place and of the old one back fail.
    testing::FailingFiles full("abcd0050.sta", testing::FailingFiles::kRefuseName, 2);
    EXPECT_EQ(CopyOver("abcd0050.obn"), -1);
  }
  const std::string kept = dest.File("abcd0050.sta.old.part");
  const std::string start =
      kStillInWork + work.path() + " (unable to rename " + dest.File("abcd0050.sta.part") + ": ";
  const std::string end = "; an earlier file of the destination is kept as " + kept + ")";
  EXPECT_EQ(Error().rfind(start, 0), 0u) << Error();
  ASSERT_GE(Error().size(), end.size()) << Error();
  EXPECT_EQ(Error().substr(Error().size() - end.size()), end) << Error();
  EXPECT_EQ(ReadFile(kept), "old");
  EXPECT_EQ(ReadFile(dest.File("abcd0050.obn")), "old");
  EXPECT_EQ(ReadFile(work.File("abcd0050.sta")), "new.sta");
}

TEST_F(DeliveryTest, AppendTakesTheFirstFreeLetteredName) {
  WriteFile(dest.File("abcd0050.obn"), "first");
  MakeResult("abcd0050", "second");
  ASSERT_EQ(Append("abcd0050.obn"), 0) << Error();
  EXPECT_EQ(ReadFile(dest.File("abcd0050.obn")), "first");
  EXPECT_EQ(ReadFile(dest.File("abcd0050A.obn")), "second.obn");
  EXPECT_EQ(ReadFile(dest.File("abcd0050A.nvb")), "second.nvb");
  EXPECT_EQ(ReadFile(dest.File("abcd0050A.sta")), "second.sta");
  EXPECT_EQ(std::string(delivered), dest.File("abcd0050A.obn"));

  MakeResult("abcd0050", "third");
  ASSERT_EQ(Append("abcd0050.obn"), 0) << Error();
  EXPECT_EQ(ReadFile(dest.File("abcd0050B.obn")), "third.obn");
  EXPECT_EQ(ReadFile(dest.File("abcd0050B.sta")), "third.sta");
  EXPECT_FALSE(Exists(work.File("abcd0050.obn")));
}

TEST_F(DeliveryTest, AppendReplacesCompanionsOfAFreeName) {
  WriteFile(dest.File("abcd0050.nvb"), "old");
  MakeResult("abcd0050");
  ASSERT_EQ(Append("abcd0050.obn"), 0) << Error();
  EXPECT_EQ(ReadFile(dest.File("abcd0050.obn")), "new.obn");
  EXPECT_EQ(ReadFile(dest.File("abcd0050.nvb")), "new.nvb");
}

TEST_F(DeliveryTest, AppendWithNoFreeNameLeavesEverythingInPlace) {
  WriteFile(dest.File("abcd0050.obn"), "taken");
  for (char letter = 'A'; letter <= 'Y'; ++letter)
    WriteFile(dest.File(std::string("abcd0050") + letter + ".obn"), "taken");
  MakeResult("abcd0050");
  EXPECT_EQ(Append("abcd0050.obn"), -1);
  EXPECT_EQ(Error(),
            "Error unable to move files to destination directory. "
            "No free file name for abcd0050.obn");
  EXPECT_TRUE(Exists(work.File("abcd0050.obn")));
  EXPECT_TRUE(Exists(work.File("abcd0050.nvb")));
  EXPECT_FALSE(Exists(dest.File("abcd0050Z.obn")));
  EXPECT_FALSE(Exists(dest.File("abcd0050Z.nvb")));
  EXPECT_STREQ(delivered, "");
}

TEST_F(DeliveryTest, AppendOfAMissingFileDeliversNothing) {
  EXPECT_EQ(Append("none.obn"), -1);
  EXPECT_EQ(Error(), std::string(kStillInWork) + work.path() + " (missing: " +
                         work.File("none.obn") + ")");
  EXPECT_FALSE(Exists(dest.File("noneA.obn")));

  MakeResult("nonv");
  std::remove(work.File("nonv.nvb").c_str());
  EXPECT_EQ(Append("nonv.obn"), -1);
  EXPECT_TRUE(DestinationHolds({}));
  EXPECT_TRUE(Exists(work.File("nonv.obn")));
}

TEST(MakeAlternateName, LettersBeforeTheDot) {
  char name[kPathSize] = "dir.x/abcd0050.obn";
  MakeAlternateName(name, 0);
  EXPECT_STREQ(name, "dir.x/abcd0050A.obn");
  MakeAlternateName(name, 1);
  EXPECT_STREQ(name, "dir.x/abcd0050B.obn");
  MakeAlternateName(name, 25);
  EXPECT_STREQ(name, "dir.x/abcd0050Z.obn");
  char plain[kPathSize] = "nodot";
  MakeAlternateName(plain, 0);
  EXPECT_STREQ(plain, "nodot");
}

TEST(MakeAlternateName, StaysWithinItsBuffer) {
  // A dot so late that "A.obn" would not fit leaves the name unchanged.
  char name[kPathSize];
  std::string text = std::string(252, 'n') + ".o";
  CopyText(name, sizeof name, text.c_str());
  MakeAlternateName(name, 0);
  EXPECT_EQ(std::string(name), text);
}

}  // namespace
}  // namespace stanvex
