// The observation-file tools on OBN, NVB and STA files made by the real
// converter library from real RINEX data (two stations, the same hour).
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base/last_error.h"
#include "base/paths.h"
#include "base/request_state.h"
#include "convert/converter_binding.h"
#include "obn_test_util.h"
#include "obsfiles/concatenate.h"
#include "obsfiles/nvb_file.h"
#include "obsfiles/obs_status.h"
#include "obsfiles/splice.h"
#include "platform/platform.h"
#include "stanvex.h"
#include "test_support.h"

namespace stanvex {
namespace {

using testing::ReadFile;

// GPS seconds of 2005-04-02 00:00:00: week 1316, Saturday.
constexpr double kHourStart = 1316 * 604800.0 + 6 * 86400.0;

class RealDataTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(testing::HaveSharedData());
    if (!testing::Exists(testing::OutDir() + "/librin2obn.so")) GTEST_SKIP() << "no converter";
    ResetLibraryStateForTesting();
    ResetObsStatusForTesting();
    ASSERT_TRUE(platform::SetCurrentDir(dir_.path().c_str()));
    for (const char* station : {"07590920", "30400920"}) {
      for (const char* ext : {".05o", ".05n"}) {
        const std::string name = std::string(station) + ext;
        ASSERT_TRUE(platform::CopyFile(testing::SharedData("rinex/" + name).c_str(), name.c_str(), true));
      }
      char obn[kPathSize];
      Result converted = ConvertRinexToObn((std::string(station) + ".05o").c_str(),
                                           (std::string(station) + ".05n").c_str(), obn, 0, 0);
      ASSERT_TRUE(converted.ok) << converted.message;
    }
  }

  testing::CurrentDirGuard guard_;
  testing::ScratchDir dir_;
};

TEST_F(RealDataTest, AveragePositionAndSpanOfAConvertedHour) {
  AvgPosition average{};
  double start = 0, end = 0;
  int32_t valid = 0;
  NewGetAvgOBNPos("07590920.obn", &average, &start, &end, &valid);
  ASSERT_EQ(valid, 1);
  // The station's approximate position is near 35.16 N, 139.61 E.
  EXPECT_NEAR(+average.position1, 35.1609, 0.001);
  EXPECT_NEAR(+average.position2, 139.6138, 0.001);
  EXPECT_NEAR(start, kHourStart, 0.5);
  EXPECT_NEAR(end, kHourStart + 3570, 0.5);
}

TEST_F(RealDataTest, JoinThenSpliceKeepsTheWindowAndBothDaysCompanions) {
  const std::vector<double> first = testing::EpochTimes("07590920.obn");
  const std::vector<double> second = testing::EpochTimes("30400920.obn");
  ASSERT_EQ(first.size(), 120u);
  const std::string firstSta = ReadFile("07590920.sta");

  const char names[2][kDailyNameSize] = {"07590920.obn", "30400920.obn"};
  Result joined = ConcatenateDailyFiles(names, "joined.obn", 2);
  ASSERT_TRUE(joined.ok) << joined.message;
  EXPECT_EQ(testing::EpochTimes("joined.obn").size(), first.size() + second.size());

  // Each day's station lines stay whole, every line with CR LF.
  const std::string sta = ReadFile("joined.sta");
  EXPECT_NE(sta.find("\r\nMarkerName: 3040"), std::string::npos);
  EXPECT_EQ(sta.find("\n\n"), std::string::npos);
  size_t lines = 0;
  for (size_t i = 0; i < sta.size(); ++i)
    if (sta[i] == '\n') {
      ++lines;
      EXPECT_EQ(sta[i - 1], '\r');
    }
  EXPECT_GT(lines, 20u);
  int32_t week = 0;
  double seconds = 0;
  ASSERT_TRUE(GetNvbReference("joined.nvb", &week, &seconds).ok);
  EXPECT_EQ(week, 1316);

  const double windowStart = 6 * 86400.0 + 600, windowEnd = 6 * 86400.0 + 1200;
  char output[32];
  Result cut = SpliceToWindow("joined.obn", output, sizeof output, windowStart, windowEnd);
  ASSERT_TRUE(cut.ok) << cut.message;
  EXPECT_STREQ(output, "joined1.obn");
  size_t expected = 0;
  for (const auto* times : {&first, &second})
    for (double t : *times) expected += t >= windowStart && t <= windowEnd;
  EXPECT_EQ(testing::EpochTimes("joined1.obn").size(), expected);
  EXPECT_GE(expected, 40u);
  EXPECT_TRUE(testing::Exists("joined1.nvb"));
  EXPECT_TRUE(testing::Exists("joined1.sta"));
  EXPECT_FALSE(testing::Exists("joined.obn"));
}

}  // namespace
}  // namespace stanvex
