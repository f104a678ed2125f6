// Real 5-second data converted by the real converter, thinned to 30 s and
// interpolated back: the new epochs must match the recorded ones.
#include <cmath>
#include <map>

#include "base/last_error.h"
#include "convert/converter_binding.h"
#include "resample_fixture.h"

namespace stanvex::testing {
namespace {

using RealDataTest = ResampleTest;

TEST_F(RealDataTest, ThirtySecondsBackToFiveMatchesTheRecordedEpochs) {
  ASSERT_TRUE(HaveSharedData());
  WriteFile("glw.18o", ReadFile(SharedData("highrate/glw1277m.18o")));
  WriteFile("glw.18n", ReadFile(SharedData("highrate/glw1277m.18n")));
  char obn[kPathSize] = "";
  Result converted = ConvertRinexToObn("glw.18o", "glw.18n", obn, 0, 0);
  ASSERT_TRUE(converted.ok) << converted.message;
  const SynthFile recorded = ReadSynthFile(obn);
  ASSERT_EQ(recorded.epochs.size(), 720u);
  Result resampled = ResampleObn(WorkingDirectory, obn, "thin.obn", 30.0);
  ASSERT_TRUE(resampled.ok) << resampled.message;
  resampled = ResampleObn(WorkingDirectory, "thin.obn", "back.obn", 5.0);
  ASSERT_TRUE(resampled.ok) << resampled.message;
  const SynthFile back = ReadSynthFile("back.obn");
  EXPECT_GT(back.epochs.size(), 700u);
  EXPECT_TRUE(Exists("back.nvb") && Exists("back.sta"));

  std::map<long long, const SynthEpoch*> byTime;
  for (const SynthEpoch& e : recorded.epochs) byTime[std::llround(e.position.time)] = &e;
  double phase = 0, range = 0;
  long pairs = 0;
  for (const SynthEpoch& e : back.epochs) {
    const long long t = std::llround(e.position.time);
    if (t % 30 == 0) continue;
    const SynthEpoch& o = *byTime.at(t);
    std::vector<std::pair<ObnMeasurementRecord, ObnMeasurementRecord>> both;
    for (const ObnMeasurementRecord& m : e.satellites)
      for (const ObnMeasurementRecord& r : o.satellites)
        if (r.prn == m.prn) both.push_back({m, r});
    for (size_t a = 0; a < both.size(); ++a)
      for (size_t b = a + 1; b < both.size(); ++b) {
        const double dp = kLambda1 * ((both[a].first.l1Phase - both[b].first.l1Phase) -
                                      (both[a].second.l1Phase - both[b].second.l1Phase));
        const double dr = (both[a].first.l1Range - both[b].first.l1Range) -
                          (both[a].second.l1Range - both[b].second.l1Range);
        phase += dp * dp;
        range += dr * dr;
        ++pairs;
      }
  }
  ASSERT_GT(pairs, 30000);
  EXPECT_LT(std::sqrt(phase / pairs), 0.010);  // metres, between satellites
  EXPECT_LT(std::sqrt(range / pairs), 0.5);
}

}  // namespace
}  // namespace stanvex::testing
