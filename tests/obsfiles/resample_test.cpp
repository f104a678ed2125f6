// ResampleObn with the real interpolation library beside the test.
#include <atomic>
#include <cstring>
#include <thread>

#include "resample_fixture.h"
#include "stanvex.h"

namespace stanvex::testing {
namespace {

TEST_F(ResampleTest, EqualIntervalMovesTheThreeFiles) {
  WriteInput(MakeSynthFile(0.0, 30.0, 10, {1, 2}));
  const std::string original = ReadFile("in.obn");
  WriteFile("out.obn", "stale");
  ASSERT_EQ(Keep(ResampleObn(WorkingDirectory, "in.obn", "out.obn", 30.0)), 0) << Error();
  EXPECT_EQ(ReadFile("out.obn"), original);
  EXPECT_EQ(ReadFile("out.nvb"), "$EPHREC nav\n");
  EXPECT_EQ(ReadFile("out.sta"), "Marker name: TEST\n");
  for (const char* gone : {"in.obn", "in.nvb", "in.sta"}) EXPECT_FALSE(Exists(gone)) << gone;
  ASSERT_EQ(Sent(STATUS_INTERVAL).size(), 1u);
  EXPECT_EQ(Sent(STATUS_INTERVAL)[0].real, 30.0);
}

TEST_F(ResampleTest, EqualIntervalIntoItselfKeepsTheFiles) {
  WriteInput(MakeSynthFile(0.0, 30.0, 5, {1}));
  ASSERT_EQ(Keep(ResampleObn(WorkingDirectory, "in.obn", "in.obn", 30.0)), 0);
  EXPECT_TRUE(Exists("in.obn") && Exists("in.nvb") && Exists("in.sta"));
}

TEST_F(ResampleTest, FinerDividingIntervalIsInterpolatedByTheLibrary) {
  WriteInput(MakeSynthFile(3600.0, 30.0, 20, {2, 5, 9, 13}));
  ASSERT_EQ(Keep(ResampleObn(WorkingDirectory, "in.obn", "out.obn", 10.0)), 0) << Error();
  SynthFile out = ReadSynthFile("out.obn");
  ASSERT_EQ(out.epochs.size(), 58u);
  EXPECT_EQ(+out.header.interval, 10.0f);
  EXPECT_DOUBLE_EQ(out.epochs[1].position.time, 3610.0);
  EXPECT_EQ(ReadFile("out.nvb"), "$EPHREC nav\n");
  EXPECT_EQ(ReadFile("out.sta"), "Marker name: TEST\n");
  for (const char* gone : {"in.obn", "in.nvb", "in.sta"}) EXPECT_FALSE(Exists(gone)) << gone;
  std::vector<StatusRecord> percents = Sent(STATUS_INTERP_PERCENT);
  ASSERT_GE(percents.size(), 2u);
  EXPECT_EQ(percents.front().value1, 0);
  EXPECT_EQ(percents.back().value1, 100);
  EXPECT_FALSE(Sent(STATUS_TEXT).empty());
}

TEST_F(ResampleTest, IntervalsThatDoNotDivideFailAndKeepTheInput) {
  WriteInput(MakeSynthFile(0.0, 30.0, 10, {1, 2}));
  EXPECT_EQ(Keep(ResampleObn(WorkingDirectory, "in.obn", "out.obn", 7.0)), -1);
  EXPECT_STREQ(Error(),
               "Invlalid input interval must use an interval that divides evenly into the "
               "interval of the OBN file =  30");
  EXPECT_EQ(Keep(ResampleObn(WorkingDirectory, "in.obn", "out.obn", 0.0)), -1);
  EXPECT_EQ(Keep(ResampleObn(WorkingDirectory, "in.obn", "out.obn", -30.0)), -1);
  EXPECT_TRUE(Exists("in.obn") && Exists("in.nvb") && Exists("in.sta"));
  EXPECT_FALSE(Exists("out.obn"));
}

TEST_F(ResampleTest, SingleEpochFileMeasuresThousandSeconds) {
  WriteInput(MakeSynthFile(0.0, 30.0, 1, {1, 2}));
  EXPECT_EQ(Keep(ResampleObn(WorkingDirectory, "in.obn", "out.obn", 30.0)), -1);
  const std::string text = Error();
  EXPECT_EQ(text.substr(text.size() - 6), "= 1000");
  EXPECT_EQ(Sent(STATUS_INTERVAL).at(0).real, 1000.0);
}

TEST_F(ResampleTest, SmallestStepOfTheFirstThirtyEpochsIsTheInterval) {
  SynthFile file = MakeSynthFile(0.0, 30.0, 40, {1});
  file.epochs.erase(file.epochs.begin() + 3, file.epochs.begin() + 6);  // a 120 s gap
  file.epochs[35 - 3].position.time = file.epochs[34 - 3].position.time + 5.0;  // past epoch 30
  WriteInput(file);
  ASSERT_EQ(Keep(ResampleObn(WorkingDirectory, "in.obn", "out.obn", 30.0)), 0) << Error();
  EXPECT_EQ(Sent(STATUS_INTERVAL).at(0).real, 30.0);
}

TEST_F(ResampleTest, CoarserIntervalKeepsEpochsOnItsMultiples) {
  WriteInput(MakeSynthFile(0.0, 30.0, 13, {1, 2}));  // 0 .. 360 s
  ASSERT_EQ(Keep(ResampleObn(WorkingDirectory, "in.obn", "out60.obn", 60.0)), 0) << Error();
  SynthFile out = ReadSynthFile("out60.obn");
  EXPECT_EQ(+out.header.interval, 60.0f);
  EXPECT_EQ(out.header.carriedByte, 7);
  EXPECT_EQ(Times(out), (std::vector<double>{0, 60, 120, 180, 240, 300, 360}));
  EXPECT_FALSE(Exists("in.obn"));
  EXPECT_EQ(ReadFile("out60.nvb"), "$EPHREC nav\n");
  EXPECT_TRUE(Exists("out60.sta"));

  WriteInput(MakeSynthFile(0.0, 30.0, 13, {1, 2}));
  ASSERT_EQ(Keep(ResampleObn(WorkingDirectory, "in.obn", "out45.obn", 45.0)), 0) << Error();
  out = ReadSynthFile("out45.obn");
  EXPECT_EQ(+out.header.interval, 45.0f);
  EXPECT_EQ(Times(out), (std::vector<double>{0, 90, 180, 270, 360}));
}

TEST_F(ResampleTest, ThinningRoundsTimesToHundredths) {
  SynthFile file = MakeSynthFile(0.0, 30.0, 5, {1});
  file.epochs[2].position.time = 59.996;  // rounds to 60.00
  file.epochs[4].position.time = 120.02;  // not on the grid
  WriteInput(file);
  ASSERT_EQ(Keep(ResampleObn(WorkingDirectory, "in.obn", "out.obn", 60.0)), 0) << Error();
  EXPECT_EQ(Times(ReadSynthFile("out.obn")), (std::vector<double>{0, 59.996}));
}

TEST_F(ResampleTest, ThinningCarriesLossOfLockOfSkippedEpochs) {
  SynthFile file = MakeSynthFile(0.0, 30.0, 7, {3, 4});
  FindPrn(file.epochs[1], 3)->lockFlags |= kObnL1LossOfLock;  // 30 s, skipped
  FindPrn(file.epochs[3], 4)->lockFlags |= kObnL2LossOfLock;  // 90 s, skipped
  FindPrn(file.epochs[5], 4)->lockFlags |= kObnL1RangeIsP1;   // 150 s, not a lock bit
  WriteInput(file);
  ASSERT_EQ(Keep(ResampleObn(WorkingDirectory, "in.obn", "out.obn", 60.0)), 0) << Error();
  SynthFile out = ReadSynthFile("out.obn");
  ASSERT_EQ(Times(out), (std::vector<double>{0, 60, 120, 180}));
  EXPECT_EQ(FindPrn(out.epochs[1], 3)->lockFlags, kObnL1LossOfLock);
  EXPECT_EQ(FindPrn(out.epochs[1], 4)->lockFlags, 0);
  EXPECT_EQ(FindPrn(out.epochs[2], 4)->lockFlags, kObnL2LossOfLock);
  EXPECT_EQ(FindPrn(out.epochs[3], 4)->lockFlags, 0);
  EXPECT_EQ(FindPrn(out.epochs[3], 3)->lockFlags, 0);
}

TEST_F(ResampleTest, UnreadableOrEmptyInputsFail) {
  EXPECT_EQ(Keep(ResampleObn(WorkingDirectory, "none.obn", "out.obn", 30.0)), -1);
  EXPECT_NE(std::string(Error()).find("none.obn"), std::string::npos);

  WriteInput(MakeSynthFile(0.0, 30.0, 0, {1}));
  EXPECT_EQ(Keep(ResampleObn(WorkingDirectory, "in.obn", "out.obn", 30.0)), -1);
  EXPECT_STREQ(Error(), "No epochs in File in.obn");
  EXPECT_TRUE(Sent(STATUS_INTERVAL).empty());
}

TEST_F(ResampleTest, DamagedEpochWhileThinningLeavesNoOutput) {
  WriteInput(MakeSynthFile(0.0, 30.0, 40, {1, 2, 3}));
  std::string bytes = ReadFile("in.obn");
  // Epoch 35's position record size field (202 + 35 * (68 + 3 * 44)).
  bytes[202 + 35 * 200] = 0x11;
  WriteFile("in.obn", bytes);
  EXPECT_EQ(Keep(ResampleObn(WorkingDirectory, "in.obn", "out.obn", 60.0)), -1);
  EXPECT_NE(std::string(Error()).find("Bad position record"), std::string::npos)
      << Error();
  EXPECT_FALSE(Exists("out.obn"));
  EXPECT_TRUE(Exists("in.obn") && Exists("in.nvb") && Exists("in.sta"));
}

TEST_F(ResampleTest, ResamplingIntoItselfIsRefused) {
  WriteInput(MakeSynthFile(0.0, 30.0, 10, {1}));
  const std::string original = ReadFile("in.obn");
  EXPECT_EQ(Keep(ResampleObn(WorkingDirectory, "in.obn", "in.obn", 60.0)), -1);
  EXPECT_EQ(Keep(ResampleObn(WorkingDirectory, "in.obn", "./in.obn", 60.0)), -1);
  EXPECT_EQ(
      Keep(ResampleObn(WorkingDirectory, "./in.obn", (dir_.path() + "/in.obn").c_str(), 10.0)), -1);
  EXPECT_EQ(ReadFile("in.obn"), original);
  EXPECT_TRUE(Exists("in.nvb") && Exists("in.sta"));
}

TEST_F(ResampleTest, EqualIntervalMovesAnInputWithAnotherExtension) {
  WriteInput(MakeSynthFile(0.0, 30.0, 5, {1}));
  ASSERT_TRUE(platform::MoveFile("in.obn", "in.dat"));
  ASSERT_EQ(Keep(ResampleObn(WorkingDirectory, "in.dat", "out.obn", 30.0)), 0) << Error();
  EXPECT_TRUE(Exists("out.obn") && Exists("out.nvb") && Exists("out.sta"));
  EXPECT_FALSE(Exists("in.dat"));
}

TEST_F(ResampleTest, LibraryFailureKeepsTheInput) {
  WriteInput(MakeSynthFile(0.0, 30.0, 10, {1}));
  // An output the library cannot create: a directory of that name.
  ASSERT_TRUE(platform::MakeDirectory("out.obn.part"));
  EXPECT_EQ(Keep(ResampleObn(WorkingDirectory, "in.obn", "out.obn", 10.0)), -1);
  EXPECT_NE(std::string(Error()).find("out.obn"), std::string::npos) << Error();
  EXPECT_TRUE(Exists("in.obn") && Exists("in.nvb") && Exists("in.sta"));
}

std::atomic<bool> stop_asked{false};
std::atomic<int32_t> stop_result{-5};

void STANVEX_CALL StopAtFirstProgress(StatusRecord* record) {
  CaptureStatus(record);
  if (record->code == STATUS_INTERP_PERCENT && record->value1 > 0 && !stop_asked) {
    // The host's other thread; this callback waits for its stop to be asked.
    std::thread([] { stop_result = StopInerpolation(); }).join();
    stop_asked = true;
  }
}

TEST_F(ResampleTest, StopFromAnotherThreadEndsInterpolationWithoutOutput) {
  EXPECT_EQ(StopInerpolation(), 0);  // nothing runs
  WriteInput(MakeSynthFile(0.0, 30.0, 400, {1, 2, 3, 4}));
  RegisteredCallBack.store(&StopAtFirstProgress);
  ResetObsStatusForTesting();
  stop_asked = false;
  EXPECT_EQ(Keep(ResampleObn(WorkingDirectory, "in.obn", "out.obn", 1.0)), -1);
  EXPECT_TRUE(stop_asked);
  EXPECT_EQ(stop_result, 1);
  EXPECT_NE(std::string(Error()).find("stopped"), std::string::npos) << Error();
  EXPECT_FALSE(Exists("out.obn"));
  EXPECT_FALSE(Exists("out.obn.part"));
  EXPECT_TRUE(Exists("in.obn") && Exists("in.nvb") && Exists("in.sta"));
  EXPECT_EQ(StopInerpolation(), 0);  // the library's stop is withdrawn
}

}  // namespace
}  // namespace stanvex::testing
