#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "base/request_state.h"
#include "failing_files.h"
#include "obn_test_util.h"
#include "obsfiles/concatenate.h"
#include "obsfiles/obs_status.h"
#include "obsfiles/splice.h"
#include "platform/platform.h"
#include "test_support.h"

namespace stanvex {
namespace {

using testing::Exists;
using testing::MakeEpoch;
using testing::RawEpoch;
using testing::RawHeader;
using testing::ReadFile;
using testing::TestEpoch;
using testing::WriteFile;

std::vector<StatusRecord> g_seen;
void STANVEX_CALL Record(StatusRecord* record) { g_seen.push_back(*record); }

// Runs each case inside a scratch directory, as the library works on bare
// names in its working directory.
class ObsFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetLibraryStateForTesting();
    ResetObsStatusForTesting();
    g_seen.clear();
    SetCallBack(Record);
    ASSERT_TRUE(platform::SetCurrentDir(dir_.path().c_str()));
  }
  void TearDown() override {
    SetCallBack(nullptr);
    ResetObsStatusForTesting();
  }
  static std::vector<TestEpoch> Epochs(double first, double step, int n, int count = 6) {
    std::vector<TestEpoch> epochs;
    for (int i = 0; i < n; ++i) epochs.push_back(MakeEpoch(first + step * i, count));
    return epochs;
  }
  static std::string Concat(const std::vector<TestEpoch>& epochs) {
    std::string bytes;
    for (const TestEpoch& e : epochs) bytes += RawEpoch(e);
    return bytes;
  }

  // Keeps result for Error(); 0 for a success, -1 for a failure.
  int Keep(const Result& result) {
    last_ = result;
    return result.ok ? 0 : -1;
  }
  const char* Error() const { return last_.message; }

  testing::CurrentDirGuard guard_;
  testing::ScratchDir dir_;
  Result last_;
};

using ConcatenateTest = ObsFilesTest;

TEST_F(ConcatenateTest, ThreeAndFiveEpochsJoinInDayOrderWithFirstHeader) {
  const auto day1 = Epochs(86370, 10, 3);
  const auto day2 = Epochs(0, 10, 5, 12);
  ASSERT_TRUE(testing::WriteObnFile("abcd0010.obn", day1, 10.0f, 3));
  ASSERT_TRUE(testing::WriteObnFile("abcd0020.obn", day2, 30.0f, 9));
  WriteFile("abcd0010.nvb", "$EPHREC\r\nday1 a\r\n\r\nday1 b\r\n");
  WriteFile("abcd0020.nvb", "$EPHREC\nday2 a\n\nday2 b");  // LF only, last line unended
  WriteFile("abcd0010.sta", "Marker: abcd\r\n");
  // no STA for the second day
  const char names[2][kDailyNameSize] = {"abcd0010.obn", "abcd0020.obn"};

  ASSERT_EQ(Keep(ConcatenateDailyFiles(names, "joined.obn", 2)), 0) << Error();

  const std::string bytes = ReadFile("joined.obn");
  ObnHeader header;
  ASSERT_GE(bytes.size(), sizeof header);
  std::memcpy(&header, bytes.data(), sizeof header);
  EXPECT_EQ(+header.interval, 10.0f);
  EXPECT_EQ(+header.carriedByte, 3);
  EXPECT_EQ(+header.maxChannels, 12);
  EXPECT_STREQ(header.fileName, "joined.obn");
  EXPECT_EQ(bytes.substr(202), Concat(day1) + Concat(day2));  // carried bytes unchanged

  EXPECT_EQ(ReadFile("joined.nvb"), "$EPHREC\r\nday1 a\r\nday1 b\r\n$EPHREC\r\nday2 a\r\nday2 b\r\n");
  EXPECT_EQ(ReadFile("joined.sta"), "Marker: abcd\r\n");
  for (const char* gone : {"abcd0010.obn", "abcd0010.nvb", "abcd0010.sta", "abcd0020.obn",
                           "abcd0020.nvb"})
    EXPECT_FALSE(Exists(gone)) << gone;
  ASSERT_FALSE(g_seen.empty());
  EXPECT_EQ(g_seen[0].code, STATUS_CONCAT_START);
  EXPECT_STREQ(g_seen[0].text, "");
}

TEST_F(ConcatenateTest, CompanionThatCannotBeJoinedKeepsItsDailyFiles) {
  ASSERT_TRUE(testing::WriteObnFile("d1.obn", Epochs(0, 1, 2)));
  ASSERT_TRUE(testing::WriteObnFile("d2.obn", Epochs(2, 1, 2)));
  WriteFile("d1.nvb", "$EPHREC\r\n");
  WriteFile("d1.sta", "Marker: d1\r\n");
  // A directory where the joined station file should go: it cannot be created.
  ASSERT_TRUE(platform::MakeDirectory("out.sta"));
  const char names[2][kDailyNameSize] = {"d1.obn", "d2.obn"};
  ASSERT_EQ(Keep(ConcatenateDailyFiles(names, "out.obn", 2)), 0);
  EXPECT_EQ(testing::EpochTimes("out.obn"), (std::vector<double>{0, 1, 2, 3}));
  EXPECT_FALSE(Exists("d1.obn"));
  EXPECT_FALSE(Exists("d1.nvb"));
  EXPECT_EQ(ReadFile("d1.sta"), "Marker: d1\r\n");
}

TEST_F(ConcatenateTest, FailuresLeaveDailyFilesInPlace) {
  ASSERT_TRUE(testing::WriteObnFile("d1.obn", Epochs(0, 1, 2)));
  const char four[4][kDailyNameSize] = {"d1.obn", "d1.obn", "d1.obn", "d1.obn"};
  EXPECT_EQ(Keep(ConcatenateDailyFiles(four, "out.obn", 4)), -1);
  EXPECT_STREQ(Error(), "Error more then 3 days of data being converted");
  EXPECT_FALSE(Exists("out.obn"));

  EXPECT_EQ(Keep(ConcatenateDailyFiles(nullptr, "out.obn", 2)), -1);
  EXPECT_STREQ(Error(), "Error pointer cFileNameOut, cFileName Not initalized");
  EXPECT_EQ(Keep(ConcatenateDailyFiles(four, nullptr, 2)), -1);
  EXPECT_EQ(Keep(ConcatenateDailyFiles(four, "out.obn", 0)), -1);

  const char missing[2][kDailyNameSize] = {"d1.obn", "d2.obn"};
  EXPECT_EQ(Keep(ConcatenateDailyFiles(missing, "out.obn", 2)), -1);
  EXPECT_STREQ(Error(), "Error: File d2.obn not found");
  EXPECT_FALSE(Exists("out.obn"));

  // A damaged epoch in the second day: the reader's message, daily files kept.
  TestEpoch bad = MakeEpoch(7, 2);
  bad.measurements[0].size = 3;  // first measurement record size
  WriteFile("d2.obn", RawHeader() + RawEpoch(MakeEpoch(6, 1)) + RawEpoch(bad));
  EXPECT_EQ(Keep(ConcatenateDailyFiles(missing, "out.obn", 2)), -1);
  EXPECT_STREQ(Error(), "Error: Bad measurement record (1) in d2.obn");
  EXPECT_TRUE(Exists("d1.obn"));
  EXPECT_TRUE(Exists("d2.obn"));

  // The output may not be one of the daily files: creating it would empty it.
  const char self[2][kDailyNameSize] = {"d1.obn", "out.obn"};
  const std::string before = ReadFile("d1.obn");
  EXPECT_EQ(Keep(ConcatenateDailyFiles(self, "d1.obn", 2)), -1);
  EXPECT_EQ(ReadFile("d1.obn"), before);
}

// A disk that fills while the output is written: the join fails with the
// writer's text, the daily files stay and no cut output is left.
TEST_F(ConcatenateTest, FullDiskWhileJoiningKeepsTheDailyFiles) {
  ASSERT_TRUE(testing::WriteObnFile("d1.obn", Epochs(0, 1, 2)));
  ASSERT_TRUE(testing::WriteObnFile("d2.obn", Epochs(2, 1, 2)));
  const char names[2][kDailyNameSize] = {"d1.obn", "d2.obn"};
  {
    testing::FailingFiles full("out.obn", testing::FailingFiles::kRefuseContent);
    EXPECT_EQ(Keep(ConcatenateDailyFiles(names, "out.obn", 2)), -1);
  }
  EXPECT_NE(std::strstr(Error(), "out.obn"), nullptr) << Error();
  EXPECT_FALSE(Exists("out.obn"));
  EXPECT_TRUE(Exists("d1.obn"));
  EXPECT_TRUE(Exists("d2.obn"));
}

TEST_F(ConcatenateTest, TextJoinDropsEmptyLinesAndKeepsLongLinesWhole) {
  const std::string line199(199, 'L');
  const std::string line450(450, 'M');
  WriteFile("a.nvb", line199 + "\r\n\r\n" + line450 + "\nnext\r\n   \r\n\n");
  WriteFile("b.nvb", "\r\nlone\rCR\r\nend");
  const char names[3][kDailyNameSize] = {"a.obn", "missing.obn", "b.obn"};
  ASSERT_EQ(Keep(ConcatenateTextFiles("out.obn", names, 3, ".nvb")), 0);
  EXPECT_EQ(ReadFile("out.nvb"),
            line199 + "\r\n" + line450 + "\r\nnext\r\n   \r\nlone\rCR\r\nend\r\n");
  // The inputs are only read.
  EXPECT_TRUE(Exists("a.nvb"));

  const char one[1][kDailyNameSize] = {"a.obn"};
  EXPECT_EQ(Keep(ConcatenateTextFiles("no/dir/out.obn", one, 1, ".sta")), -1);
  EXPECT_STREQ(Error(), "Unable to open no/dir/out.sta for writing");
}

class SpliceTest : public ObsFilesTest {
 protected:
  void MakeInput(const std::vector<TestEpoch>& epochs) {
    ASSERT_TRUE(testing::WriteObnFile("abcd0010tmp.obn", epochs, 1.0f, 4));
    WriteFile("abcd0010tmp.nvb", "$EPHREC\r\n");
    WriteFile("abcd0010tmp.sta", "Marker: abcd\r\n");
  }
  std::vector<double> Splice(double start, double end, int expected = 0) {
    char output[32];
    std::memset(output, 'x', sizeof output);
    EXPECT_EQ(Keep(SpliceToWindow("abcd0010tmp.obn", output, sizeof output, start, end)),
              expected)
        << Error();
    if (expected != 0) return {};
    EXPECT_STREQ(output, "abcd0010tmp1.obn");
    return testing::EpochTimes("abcd0010tmp1.obn");
  }
  static bool Crossover() {
    for (const StatusRecord& r : g_seen)
      if (r.code == STATUS_WEEK_CROSSOVER) return std::strcmp(r.text, kWeekCrossoverText) == 0;
    return false;
  }
};

TEST_F(SpliceTest, BothBoundsAreIncludedAndCompanionsMove) {
  const auto epochs = Epochs(99, 1, 13);  // 99 .. 111
  MakeInput(epochs);
  EXPECT_EQ(Splice(100, 110), (std::vector<double>{100, 101, 102, 103, 104, 105, 106, 107, 108,
                                                    109, 110}));
  // Kept epochs are the input's bytes exactly; the header is the input's.
  const std::string bytes = ReadFile("abcd0010tmp1.obn");
  EXPECT_EQ(bytes.substr(202),
            Concat(std::vector<TestEpoch>(epochs.begin() + 1, epochs.end() - 1)));
  ObnHeader header;
  std::memcpy(&header, bytes.data(), sizeof header);
  EXPECT_EQ(+header.carriedByte, 4);
  EXPECT_EQ(+header.interval, 1.0f);
  EXPECT_EQ(ReadFile("abcd0010tmp1.nvb"), "$EPHREC\r\n");
  EXPECT_EQ(ReadFile("abcd0010tmp1.sta"), "Marker: abcd\r\n");
  for (const char* gone : {"abcd0010tmp.obn", "abcd0010tmp.nvb", "abcd0010tmp.sta"})
    EXPECT_FALSE(Exists(gone)) << gone;
  ASSERT_FALSE(g_seen.empty());
  EXPECT_EQ(g_seen[0].code, STATUS_SPLICE_START);
  EXPECT_FALSE(Crossover());
}

TEST_F(SpliceTest, EqualBoundsKeepOnlyThatEpoch) {
  MakeInput(Epochs(0, 0.5, 10));
  EXPECT_EQ(Splice(2.5, 2.5), std::vector<double>{2.5});
  EXPECT_FALSE(Crossover());
}

TEST_F(SpliceTest, WeekCrossoverKeepsDataBeforeTheEndOfTheWeek) {
  std::vector<TestEpoch> epochs = Epochs(604790, 5, 3);  // 604790, 604795, 604800
  for (const TestEpoch& e : Epochs(0, 5, 3)) epochs.push_back(e);  // the next week
  MakeInput(epochs);
  EXPECT_EQ(Splice(604795, 5), (std::vector<double>{604795, 604800}));
  EXPECT_TRUE(Crossover());
}

TEST_F(SpliceTest, WindowOutsideTheDataGivesHeaderOnly) {
  MakeInput(Epochs(0, 1, 5));
  EXPECT_TRUE(Splice(1000, 2000).empty());
  EXPECT_EQ(ReadFile("abcd0010tmp1.obn").size(), 202u);
}

TEST_F(SpliceTest, MissingEphemerisFailsBeforeReading) {
  MakeInput(Epochs(0, 1, 5));
  platform::DeleteFile("abcd0010tmp.nvb");
  Splice(0, 10, -1);
  EXPECT_STREQ(Error(), "Error creating file cFileOutNVB");
  EXPECT_FALSE(Exists("abcd0010tmp1.obn"));
  EXPECT_TRUE(Exists("abcd0010tmp.obn"));
}

TEST_F(SpliceTest, DamagedEpochAfterTheWindowStillFails) {
  TestEpoch bad = MakeEpoch(50, 1);
  bad.position.size = 0;  // position record size
  WriteFile("abcd0010tmp.obn", RawHeader() + RawEpoch(MakeEpoch(1, 2)) + RawEpoch(bad));
  WriteFile("abcd0010tmp.nvb", "");
  Splice(0, 10, -1);
  EXPECT_STREQ(Error(), "Error: Bad position record in abcd0010tmp.obn");
  EXPECT_TRUE(Exists("abcd0010tmp.obn"));
  // The ephemeris file already carries the output name.
  EXPECT_TRUE(Exists("abcd0010tmp1.nvb"));
}

TEST_F(SpliceTest, StationFileThatCannotBeMovedIsKept) {
  MakeInput(Epochs(0, 1, 3));
  ASSERT_TRUE(platform::MakeDirectory("abcd0010tmp1.sta"));
  EXPECT_EQ(Splice(0, 10), (std::vector<double>{0, 1, 2}));
  EXPECT_EQ(ReadFile("abcd0010tmp.sta"), "Marker: abcd\r\n");
}

TEST_F(SpliceTest, FullDiskWhileCuttingKeepsTheInput) {
  MakeInput(Epochs(0, 1, 3));
  {
    testing::FailingFiles full("abcd0010tmp1.obn", testing::FailingFiles::kRefuseContent);
    Splice(0, 10, -1);
  }
  EXPECT_NE(std::strstr(Error(), "abcd0010tmp1.obn"), nullptr) << Error();
  EXPECT_FALSE(Exists("abcd0010tmp1.obn"));
  EXPECT_EQ(testing::EpochTimes("abcd0010tmp.obn"), (std::vector<double>{0, 1, 2}));
}

TEST_F(SpliceTest, BadInputHeaderNamesTheInput) {
  WriteFile("abcd0010tmp.obn", RawHeader(200));
  WriteFile("abcd0010tmp.nvb", "");
  Splice(0, 10, -1);
  EXPECT_STREQ(Error(), "Error Unable to open binary file abcd0010tmp.obn");
}

std::vector<int32_t> g_otherCodes;
void STANVEX_CALL RecordOther(StatusRecord* record) { g_otherCodes.push_back(record->code); }

TEST_F(SpliceTest, ReportsToTheCallbackRegisteredNowNotAnEarlierOne) {
  ASSERT_TRUE(testing::WriteObnFile("d1.obn", Epochs(0, 1, 2)));
  const char names[1][kDailyNameSize] = {"d1.obn"};
  ASSERT_EQ(Keep(ConcatenateDailyFiles(names, "joined.obn", 1)), 0);  // takes Record
  g_seen.clear();
  g_otherCodes.clear();
  SetCallBack(RecordOther);
  MakeInput(Epochs(0, 1, 2));
  Splice(0, 10);
  EXPECT_TRUE(g_seen.empty());
  EXPECT_EQ(g_otherCodes, std::vector<int32_t>{STATUS_SPLICE_START});
  // Withdrawn: nothing is sent.
  SetCallBack(nullptr);
  MakeInput(Epochs(0, 1, 2));
  Splice(0, 10);
  EXPECT_EQ(g_otherCodes.size(), 1u);
}

TEST(SpliceName, FirstDotOfTheNameIsReplaced) {
  char out[32];
  ASSERT_TRUE(SpliceOutputName("abcd0010tmp.obn", out, sizeof out).ok);
  EXPECT_STREQ(out, "abcd0010tmp1.obn");
  ASSERT_TRUE(SpliceOutputName("a.b.obn", out, sizeof out).ok);
  EXPECT_STREQ(out, "a1.obn");
  ASSERT_TRUE(SpliceOutputName("noext", out, sizeof out).ok);
  EXPECT_STREQ(out, "noext1.obn");
  // 30 characters fit in 31 with the suffix; one more does not.
  ASSERT_TRUE(SpliceOutputName("abcdefghijklmnopqrstuvwxy.obn", out, sizeof out).ok);
  EXPECT_FALSE(SpliceOutputName("abcdefghijklmnopqrstuvwxyzABCDE.obn", out, 31).ok);
  EXPECT_STREQ(out, "");
}

}  // namespace
}  // namespace stanvex
