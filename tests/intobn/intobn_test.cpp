// The interpolation library, loaded as the core loads it, on synthetic files
// with known truth.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "intobn_api.h"
#include "platform/platform.h"
#include "synthetic_obn.h"
#include "test_support.h"

namespace stanvex::testing {
namespace {

std::vector<int> progress_seen;
std::vector<std::string> messages_seen;
void INTOBN_CALL RecordProgress(int32_t, int32_t percent) { progress_seen.push_back(percent); }
void INTOBN_CALL RecordMessage(int32_t, const char* text) { messages_seen.push_back(text); }

class IntObnTest : public ::testing::Test {
 protected:
  void SetUp() override {
    library_ = platform::LoadLibraryByName("IntObn.dll");
    ASSERT_NE(library_, nullptr) << "libintobn.so beside the test";
    do_ = reinterpret_cast<DoInterpolationFunction>(
        platform::FindFunction(library_, "_DoInterpolation@4"));
    error_ = reinterpret_cast<GetInterpErrorFunction>(
        platform::FindFunction(library_, "_GetInterpError@4"));
    stop_ = reinterpret_cast<StopInterpolationFunction>(
        platform::FindFunction(library_, "_StopInterpolation@0"));
    ASSERT_TRUE(do_ && error_ && stop_);
    progress_seen.clear();
    messages_seen.clear();
  }
  void TearDown() override { platform::FreeLibrary(library_); }

  InterpolationRequest Request(const std::string& in, const std::string& out, double interval) {
    InterpolationRequest r;
    std::memset(&r, 0, sizeof r);
    r.size = sizeof r;
    std::snprintf(r.inputName, sizeof r.inputName, "%s", in.c_str());
    std::snprintf(r.outputName, sizeof r.outputName, "%s", out.c_str());
    r.outputInterval = interval;
    r.inputInterval = 30.0;
    r.stencilPoints = 4;
    r.maxStencilSpan = 200.0;
    r.maxStepGap = 180.0;
    r.progressStep = 5;
    r.progress = &RecordProgress;
    r.message = &RecordMessage;
    return r;
  }

  // Interpolates file to interval; returns the output (header size 0 on failure).
  SynthFile Interpolate(const SynthFile& file, double interval) {
    const std::string in = dir_.File("in.obn"), out = dir_.File("out.obn");
    EXPECT_TRUE(WriteSynthFile(in, file));
    InterpolationRequest r = Request(in, out, interval);
    if (do_(&r) != 1) {
      char text[512];
      error_(text);
      ADD_FAILURE() << text;
      return SynthFile{};
    }
    return ReadSynthFile(out);
  }

  std::string Error() {
    char text[512];
    error_(text);
    return text;
  }

  ScratchDir dir_;
  platform::LibraryHandle library_ = nullptr;
  DoInterpolationFunction do_ = nullptr;
  GetInterpErrorFunction error_ = nullptr;
  StopInterpolationFunction stop_ = nullptr;
};

const SynthEpoch* At(const SynthFile& f, double time) {
  for (const SynthEpoch& e : f.epochs)
    if (std::fabs(e.position.time - time) < 1e-6) return &e;
  return nullptr;
}

const ObnMeasurementRecord* Sat(const SynthEpoch* e, int prn) {
  if (e == nullptr) return nullptr;
  for (const ObnMeasurementRecord& m : e->satellites)
    if (m.prn == prn) return &m;
  return nullptr;
}

TEST_F(IntObnTest, KeepsInputEpochsAndAddsAccurateNewOnes) {
  SynthFile in = MakeSynthFile(345600.0, 30.0, 20, {3, 7, 12, 19, 25});
  SynthFile out = Interpolate(in, 10.0);
  ASSERT_EQ(out.header.size, kObnHeaderSize);
  EXPECT_EQ(+out.header.interval, 10.0f);
  EXPECT_EQ(out.header.carriedByte, 7);
  ASSERT_EQ(out.epochs.size(), 20u + 19u * 2u);
  for (size_t k = 0; k < out.epochs.size(); ++k) {
    const SynthEpoch& e = out.epochs[k];
    EXPECT_DOUBLE_EQ(+e.position.time, 345600.0 + 10.0 * static_cast<double>(k));
    if (k % 3 == 0) {  // an input epoch, byte for byte
      const SynthEpoch& original = in.epochs[k / 3];
      EXPECT_EQ(0, std::memcmp(&e.position, &original.position, sizeof e.position));
      ASSERT_EQ(e.satellites.size(), original.satellites.size());
      EXPECT_EQ(0, std::memcmp(e.satellites.data(), original.satellites.data(),
                               e.satellites.size() * sizeof(ObnMeasurementRecord)));
      continue;
    }
    ASSERT_EQ(e.satellites.size(), 5u) << "at " << e.position.time;
    for (const ObnMeasurementRecord& m : e.satellites) {
      ObnMeasurementRecord truth = SynthMeasurement(m.prn, e.position.time);
      EXPECT_NEAR(m.l1Phase * kLambda1, truth.l1Phase * kLambda1, 0.002);
      EXPECT_NEAR(m.l2Phase * kLambda2, truth.l2Phase * kLambda2, 0.002);
      EXPECT_NEAR(m.l1Range, truth.l1Range, 0.01);
      EXPECT_NEAR(m.l2Range, truth.l2Range, 0.01);
      EXPECT_EQ(m.lockFlags, 0);
    }
  }
}

TEST_F(IntObnTest, NavigationFileIsCopiedUnderTheOutputName) {
  WriteFile(dir_.File("in.nvb"), "$EPHREC\nGpsEph { }\n");
  SynthFile out = Interpolate(MakeSynthFile(0.0, 30.0, 6, {1, 2, 3}), 15.0);
  ASSERT_EQ(out.header.size, kObnHeaderSize);
  EXPECT_EQ(ReadFile(dir_.File("out.nvb")), "$EPHREC\nGpsEph { }\n");
  EXPECT_TRUE(Exists(dir_.File("in.nvb")));
  EXPECT_FALSE(Exists(dir_.File("out.obn.part")));
}

TEST_F(IntObnTest, NothingIsInterpolatedAcrossLossOfLockOrUnflaggedJumps) {
  SynthFile in = MakeSynthFile(0.0, 30.0, 20, {4, 5, 6, 8, 9});
  AddL1Jump(in, 4, 10, 7.3, true);     // flagged slip between 270 and 300
  AddL1Jump(in, 5, 10, 0.19, false);   // one unflagged cycle between 270 and 300
  AddL1Jump(in, 6, 10, 3.5, false);    // a large unflagged jump
  AddL2Jump(in, 8, 10, 1.0);           // an L2-only slip
  SynthFile out = Interpolate(in, 10.0);
  ASSERT_EQ(out.header.size, kObnHeaderSize);
  for (double t = 10.0; t < 570.0; t += 30.0) {
    for (double offset : {0.0, 10.0}) {
      const SynthEpoch* e = At(out, t + offset);
      ASSERT_NE(e, nullptr);
      // The stencil of the gap after epoch i holds epochs i-1 .. i+2.
      const double gapStart = t - 10.0;
      const bool stencilHoldsStep = gapStart >= 240.0 && gapStart <= 300.0;
      for (int prn : {4, 5, 6}) {
        const ObnMeasurementRecord* m = Sat(e, prn);
        if (stencilHoldsStep) {
          EXPECT_EQ(m, nullptr) << "PRN " << prn << " at " << e->position.time;
        } else if (m != nullptr) {
          ObnMeasurementRecord truth = SynthMeasurement(prn, e->position.time);
          double jump = gapStart > 300.0 ? (prn == 4 ? 7.3 : prn == 5 ? 0.19 : 3.5) : 0.0;
          EXPECT_NEAR(m->l1Phase * kLambda1, truth.l1Phase * kLambda1 + jump, 0.002);
        }
      }
      const ObnMeasurementRecord* l2 = Sat(e, 8);
      ASSERT_NE(l2, nullptr);
      EXPECT_EQ((l2->lockFlags & kObnL2PhaseMissing) != 0, stencilHoldsStep);
      ASSERT_NE(Sat(e, 9), nullptr);
    }
  }
}

TEST_F(IntObnTest, NoisySatelliteIsKeptAndItsJumpStillFound) {
  SynthFile in = MakeSynthFile(0.0, 30.0, 60, {1, 2, 3, 4, 5, 6});
  uint32_t seed = 12345;
  for (SynthEpoch& e : in.epochs) {  // +-8 mm of phase noise on PRN 6
    seed = seed * 1664525u + 1013904223u;
    FindPrn(e, 6)->l1Phase += (static_cast<double>(seed >> 8) / 16777216.0 - 0.5) * 0.016 / kLambda1;
  }
  AddL1Jump(in, 6, 40, 1.0, false);  // between 1170 and 1200 s
  SynthFile out = Interpolate(in, 15.0);
  ASSERT_EQ(out.header.size, kObnHeaderSize);
  int kept = 0, across = 0;
  for (const SynthEpoch& e : out.epochs) {
    const double t = e.position.time;
    if (std::fmod(t, 30.0) == 0.0 || !Sat(&e, 6)) continue;
    ++kept;
    if (t > 1140.0 && t < 1230.0) ++across;  // a stencil holding the jump
  }
  EXPECT_EQ(across, 0);
  EXPECT_GE(kept, 50);  // of 59 new epochs, 3 hold the jump
}

TEST_F(IntObnTest, RawRangeNoiseIsAveragedNotAmplified) {
  SynthFile in = MakeSynthFile(0.0, 30.0, 80, {1, 2, 3, 4});
  uint32_t seed = 99;
  auto noise = [&seed] {  // uniform, sigma 0.29 m
    seed = seed * 1664525u + 1013904223u;
    return static_cast<double>(seed >> 8) / 16777216.0 - 0.5;
  };
  for (SynthEpoch& e : in.epochs)
    for (ObnMeasurementRecord& m : e.satellites) m.l1Range += noise();
  SynthFile out = Interpolate(in, 10.0);
  ASSERT_EQ(out.header.size, kObnHeaderSize);
  double sum = 0;
  int count = 0;
  for (const SynthEpoch& e : out.epochs) {
    if (std::fmod(e.position.time, 30.0) == 0.0) continue;
    for (const ObnMeasurementRecord& m : e.satellites) {
      const double error = m.l1Range - SynthMeasurement(m.prn, e.position.time).l1Range;
      sum += error * error;
      ++count;
    }
  }
  ASSERT_GT(count, 500);
  // A polynomial through the noisy ranges would give about 0.3 m.
  EXPECT_LT(std::sqrt(sum / count), 0.2);
}

TEST_F(IntObnTest, GapsAndEdgesAreNeverFilledOrExtrapolated) {
  SynthFile wide = MakeSynthFile(0.0, 30.0, 14, {10, 11, 12});
  wide.epochs.erase(wide.epochs.begin() + 5, wide.epochs.begin() + 8);
  for (SynthEpoch& e : wide.epochs) e.position.time += (e.position.time >= 240 ? 100.0 : 0.0);
  // Epochs 0 .. 120 and 340 .. 490: the 220 s step exceeds the 180 s limit.
  SynthFile out = Interpolate(wide, 10.0);
  ASSERT_EQ(out.header.size, kObnHeaderSize);
  EXPECT_DOUBLE_EQ(out.epochs.front().position.time, 0.0);
  EXPECT_DOUBLE_EQ(out.epochs.back().position.time, wide.epochs.back().position.time);
  for (const SynthEpoch& e : out.epochs) {
    EXPECT_FALSE(e.position.time > 120.0 && e.position.time < 340.0) << e.position.time;
    EXPECT_FALSE(e.satellites.empty());
  }
  // The first and last gaps use a stencil shifted inwards and are filled.
  EXPECT_NE(At(out, 10.0), nullptr);
  EXPECT_NE(At(out, wide.epochs.back().position.time - 10.0), nullptr);
}

TEST_F(IntObnTest, NewPositionHasSolutionOnlyWhenBothNeighboursHaveOne) {
  SynthFile in = MakeSynthFile(0.0, 30.0, 8, {1, 2, 3});
  in.epochs[3].position.flags = 0;
  SynthFile out = Interpolate(in, 15.0);
  ASSERT_EQ(out.header.size, kObnHeaderSize);
  EXPECT_EQ(At(out, 75.0)->position.flags & 1, 0);   // 60 .. 90
  EXPECT_EQ(At(out, 105.0)->position.flags & 1, 0);  // 90 .. 120
  const SynthEpoch* solved = At(out, 135.0);
  EXPECT_EQ(solved->position.flags & 1, 1);
  EXPECT_NEAR(solved->position.position1, 53.0 + 4.5e-7, 1e-12);
  EXPECT_NEAR(solved->position.height, 104.5f, 1e-4);
  EXPECT_EQ(solved->position.week, 2021);
  EXPECT_EQ(solved->position.count, 3);
}

TEST_F(IntObnTest, WeekCrossoverKeepsTimesInTheWeek) {
  SynthFile in = MakeSynthFile(604680.0, 30.0, 8, {5, 6, 7});  // 604680 .. 604890
  SynthFile out = Interpolate(in, 10.0);
  ASSERT_EQ(out.header.size, kObnHeaderSize);
  ASSERT_EQ(out.epochs.size(), 8u + 7u * 2u);
  const SynthEpoch* next = At(out, 10.0);  // 604810 is 10 s into the next week
  ASSERT_NE(next, nullptr);
  EXPECT_EQ(next->position.week, 2022);
  EXPECT_EQ(At(out, 604790.0)->position.week, 2021);
  ObnMeasurementRecord truth = SynthMeasurement(5, 604810.0);
  EXPECT_NEAR(Sat(next, 5)->l1Phase * kLambda1, truth.l1Phase * kLambda1, 0.002);

  // An interval that does not divide the week: each week's grid starts at 0.
  out = Interpolate(in, 11.0);
  ASSERT_EQ(out.header.size, kObnHeaderSize);
  std::vector<double> times;
  for (const SynthEpoch& e : out.epochs)
    if (std::fmod(e.position.time, 30.0) != 0.0) times.push_back(+e.position.time);
  EXPECT_EQ(times.size(), 11u + 8u);  // 604681 .. 604791, then 11 .. 88
  EXPECT_NE(std::find(times.begin(), times.end(), 604791.0), times.end());  // 54981 * 11
  EXPECT_NE(std::find(times.begin(), times.end(), 11.0), times.end());
}

TEST_F(IntObnTest, ProgressRunsFromZeroToHundredAndEventsAreTold) {
  SynthFile out = Interpolate(MakeSynthFile(0.0, 30.0, 100, {1, 2, 3}), 10.0);
  ASSERT_EQ(out.header.size, kObnHeaderSize);
  ASSERT_GE(progress_seen.size(), 3u);
  EXPECT_EQ(progress_seen.front(), 0);
  EXPECT_EQ(progress_seen.back(), 100);
  for (size_t k = 1; k < progress_seen.size(); ++k) EXPECT_GT(progress_seen[k], progress_seen[k - 1]);
  ASSERT_FALSE(messages_seen.empty());
  EXPECT_NE(messages_seen.back().find("added 198 epochs"), std::string::npos) << messages_seen.back();
}

TEST_F(IntObnTest, BadRequestsAndInputsFailWithReasonAndNoOutput) {
  const std::string out = dir_.File("out.obn");
  InterpolationRequest r = Request(dir_.File("missing.obn"), out, 10.0);
  EXPECT_EQ(do_(&r), 0);
  EXPECT_NE(Error().find("missing.obn not found"), std::string::npos);

  ASSERT_TRUE(WriteSynthFile(dir_.File("in.obn"), MakeSynthFile(0.0, 30.0, 5, {1})));
  r = Request(dir_.File("in.obn"), out, 10.0);
  r.size = 5396 - 8;  // a request of another layout
  EXPECT_EQ(do_(&r), 0);
  EXPECT_NE(Error().find("expected"), std::string::npos);

  r = Request(dir_.File("in.obn"), out, 0.0);
  EXPECT_EQ(do_(&r), 0);
  r = Request(dir_.File("in.obn"), out, 10.0);
  r.stencilPoints = 12;
  EXPECT_EQ(do_(&r), 0);

  // An epoch cut inside its measurement records.
  std::string bytes = ReadFile(dir_.File("in.obn"));
  WriteFile(dir_.File("cut.obn"), bytes.substr(0, bytes.size() - 20));
  r = Request(dir_.File("cut.obn"), out, 10.0);
  EXPECT_EQ(do_(&r), 0);
  EXPECT_NE(Error().find("Pre-mature end of file"), std::string::npos) << Error();
  EXPECT_FALSE(Exists(out));
  EXPECT_FALSE(Exists(out + ".part"));
}

TEST_F(IntObnTest, DamagedRecordsFailNamingTheFile) {
  ASSERT_TRUE(WriteSynthFile(dir_.File("good.obn"), MakeSynthFile(0.0, 30.0, 8, {1, 2})));
  const std::string good = ReadFile(dir_.File("good.obn"));
  const size_t third = 202 + 2 * (68 + 2 * 44);  // the third epoch's position record
  const struct {
    size_t offset;
    char value;
    const char* text;
  } damages[] = {
      {0, 0x10, "Invalid header size"},              // header size field
      {third, 0x20, "Bad position record"},          // position record size field
      {third + 2, 13, "Bad measurement count"},      // count above maxChannels 12
      {third + 2, -1, "Bad measurement count"},      // negative count
      {third + 68, 0x21, "Bad measurement record"},  // first measurement's size field
  };
  for (const auto& d : damages) {
    std::string bytes = good;
    bytes[d.offset] = d.value;
    WriteFile(dir_.File("bad.obn"), bytes);
    InterpolationRequest r = Request(dir_.File("bad.obn"), dir_.File("out.obn"), 10.0);
    EXPECT_EQ(do_(&r), 0) << d.text;
    EXPECT_NE(Error().find(d.text), std::string::npos) << Error();
    EXPECT_NE(Error().find("bad.obn"), std::string::npos) << Error();
    EXPECT_FALSE(Exists(dir_.File("out.obn")));
  }
}

TEST_F(IntObnTest, StopFromAnotherThreadEndsTheRunWithoutOutput) {
  static StopInterpolationFunction stop;
  static std::atomic<bool> stopped;
  stop = stop_;
  stopped = false;
  const std::string in = dir_.File("in.obn"), out = dir_.File("out.obn");
  ASSERT_TRUE(WriteSynthFile(in, MakeSynthFile(0.0, 30.0, 400, {1, 2, 3, 4})));
  InterpolationRequest r = Request(in, out, 1.0);
  // At the first progress past zero another thread stops the run; the
  // callback waits until that stop has been asked.
  r.progress = [](int32_t, int32_t percent) {
    if (percent > 0 && !stopped) {
      std::thread([] { stop(); stopped = true; }).join();
    }
  };
  EXPECT_EQ(do_(&r), 0);
  EXPECT_TRUE(stopped);
  EXPECT_NE(Error().find("stopped"), std::string::npos);
  EXPECT_FALSE(Exists(out));
  EXPECT_FALSE(Exists(out + ".part"));
  // The stop ended with that run: the next one completes.
  r = Request(in, out, 10.0);
  EXPECT_EQ(do_(&r), 1);
}

}  // namespace
}  // namespace stanvex::testing
