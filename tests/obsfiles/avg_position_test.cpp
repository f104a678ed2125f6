#include <gtest/gtest.h>

#include <cstring>

#include "base/last_error.h"
#include "base/request_state.h"
#include "obn_test_util.h"
#include "obsfiles/avg_position.h"
#include "stanvex.h"
#include "test_support.h"

namespace stanvex {
namespace {

using testing::MakeEpoch;
using testing::RawEpoch;
using testing::RawHeader;
using testing::ScratchDir;
using testing::TestEpoch;
using testing::WriteFile;

constexpr double kWeek = 604800.0;

TEST(SowToGpsSeconds, WeekRules) {
  EXPECT_EQ(SowToGpsSeconds(1000, 2138, 1200), 1000 + 2138 * kWeek);
  // Weeks below 500 are modulo 1024.
  EXPECT_EQ(SowToGpsSeconds(1000, 100, 1200), 1000 + 1124 * kWeek);
  EXPECT_EQ(SowToGpsSeconds(1000, 500, 1200), 1000 + 500 * kWeek);
  // An epoch far before the reference lies in the next week, far after in the previous.
  EXPECT_EQ(SowToGpsSeconds(1000, 1124, 600000), 1000 + 1125 * kWeek);
  EXPECT_EQ(SowToGpsSeconds(604000, 1124, 1000), 604000 + 1123 * kWeek);
  // A reference at exactly 0 s counts for the next week.
  EXPECT_EQ(SowToGpsSeconds(10, 2000, 0), 10 + 2001 * kWeek);
  // The tolerance is strict: 300000 s apart is already the neighbouring week.
  EXPECT_EQ(SowToGpsSeconds(300500, 2000, 500), 300500 + 1999 * kWeek);
  EXPECT_EQ(SowToGpsSeconds(300499, 2000, 500), 300499 + 2000 * kWeek);
}

class AvgPositionTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetLibraryStateForTesting(); }
  void Run(const std::string& path) {
    average_.status = 42;
    start_ = -1;
    end_ = -1;
    valid_ = 7;
    NewGetAvgOBNPos(path.c_str(), &average_, &start_, &end_, &valid_);
  }
  ScratchDir dir_;
  AvgPosition average_{};
  double start_ = 0, end_ = 0;
  int32_t valid_ = 0;
};

TEST_F(AvgPositionTest, AveragesFlaggedPositionsAndSpansEpochsOfMoreThanThreeMeasurements) {
  std::vector<TestEpoch> epochs;
  auto add = [&](double time, int count, uint8_t flags, double p1, double p2) {
    TestEpoch e = MakeEpoch(time, count);
    e.position.flags = flags;
    e.position.position1 = p1;
    e.position.position2 = p2;
    epochs.push_back(e);
  };
  add(100, 3, 1, 10, 20);  // in the average, not in the span
  add(110, 4, 1, 0, 0);    // both zero: left out of the average
  add(120, 8, 0, 99, 99);  // no solution flag
  add(130, 5, 3, 0, 40);   // one coordinate zero: included
  add(140, 2, 1, 20, 30);
  const std::string path = dir_.File("a.obn");
  ASSERT_TRUE(testing::WriteObnFile(path, epochs));
  WriteFile(dir_.File("a.nvb"), "3 2138\nx\nx\nx\n7200\nx\n");
  Run(path);
  EXPECT_DOUBLE_EQ(+average_.position1, 10.0);
  EXPECT_DOUBLE_EQ(+average_.position2, 30.0);
  EXPECT_EQ(+average_.status, 42);  // left alone when the file opens
  EXPECT_EQ(valid_, 1);
  EXPECT_EQ(start_, 110 + 2138 * kWeek);
  EXPECT_EQ(end_, 130 + 2138 * kWeek);
}

TEST_F(AvgPositionTest, MissingNvbGivesAveragesButNoSpan) {
  const std::string path = dir_.File("b.obn");
  ASSERT_TRUE(testing::WriteObnFile(path, {MakeEpoch(5, 6)}));
  Run(path);
  EXPECT_NE(+average_.position1, 0.0);
  EXPECT_EQ(valid_, 0);
  EXPECT_EQ(start_, -1);
  EXPECT_EQ(end_, -1);
}

// No solved epoch, no average: the record is zeroed as for a file that
// cannot be opened, and the last error says why, even when the span is known.
TEST_F(AvgPositionTest, FileWithoutASolvedEpochHasNoAverage) {
  const struct {
    int epochs;
    uint8_t flags;
    double p1, p2;
  } cases[] = {{0, 1, 45, 9}, {2, 0, 45, 9}, {2, 1, 0, 0}};  // none; unflagged; flagged at 0, 0
  const std::string path = dir_.File("u.obn");
  WriteFile(dir_.File("u.nvb"), "3 2138\nx\nx\nx\n7200\nx\n");
  for (const auto& c : cases) {
    std::vector<TestEpoch> epochs;
    for (int i = 0; i < c.epochs; ++i) {
      epochs.push_back(MakeEpoch(100 + 30 * i, 6));
      epochs.back().position.flags = c.flags;
      epochs.back().position.position1 = c.p1;
      epochs.back().position.position2 = c.p2;
    }
    ASSERT_TRUE(testing::WriteObnFile(path, epochs));
    Run(path);
    const AvgPosition zero{};
    EXPECT_EQ(std::memcmp(&average_, &zero, sizeof zero), 0) << +c.flags;
    EXPECT_EQ(valid_, 0);
    EXPECT_EQ(start_, -1);
    EXPECT_EQ(LastErrorText, "Error the file " + path +
                                 " holds no epoch with a position solution: it has no average "
                                 "position");
  }
}

TEST_F(AvgPositionTest, MissingFile) {
  Run(dir_.File("missing.obn"));
  const AvgPosition zero{};
  EXPECT_EQ(std::memcmp(&average_, &zero, sizeof zero), 0);
  EXPECT_EQ(valid_, 0);
  EXPECT_EQ(start_, -1);
}

TEST_F(AvgPositionTest, NullPathIsAFileThatCannotBeOpened) {
  average_.position1 = 5;
  average_.status = 42;
  valid_ = 7;
  NewGetAvgOBNPos(nullptr, &average_, &start_, &end_, &valid_);
  const AvgPosition zero{};
  EXPECT_EQ(std::memcmp(&average_, &zero, sizeof zero), 0);
  EXPECT_EQ(valid_, 0);
  char reason[512];
  iGetLastError(reason);
  EXPECT_STREQ(reason, "Error: File (null) not found");
}

TEST_F(AvgPositionTest, DamagedEpochDoesNotEndTheScan) {
  TestEpoch first = MakeEpoch(10, 5);
  first.position.position1 = 1;
  first.position.position2 = 2;
  TestEpoch damaged = MakeEpoch(20, 5);
  damaged.position.position1 = 3;
  damaged.position.position2 = 4;
  damaged.measurements[4].size = 0;  // last measurement record size
  TestEpoch last = MakeEpoch(30, 5);
  last.position.position1 = 5;
  last.position.position2 = 6;
  const std::string path = dir_.File("d.obn");
  WriteFile(path, RawHeader() + RawEpoch(first) + RawEpoch(damaged) + RawEpoch(last));
  WriteFile(dir_.File("d.nvb"), "1 2000\nx\nx\nx\n100\nx\n");
  Run(path);
  EXPECT_DOUBLE_EQ(+average_.position1, 3.0);
  EXPECT_DOUBLE_EQ(+average_.position2, 4.0);
  EXPECT_EQ(valid_, 1);
  EXPECT_EQ(start_, 10 + 2000 * kWeek);
  EXPECT_EQ(end_, 30 + 2000 * kWeek);
}

}  // namespace
}  // namespace stanvex
