// An independent solver finds the simulated stations where they are: RTKLIB's
// rnx2rtkp in single-point mode (broadcast ephemerides, Klobuchar
// ionosphere, Saastamoinen troposphere) on our observation and navigation
// files. Skipped when rnx2rtkp is not installed.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <sstream>

#include "sim_test_util.h"
#include "simulator.h"
#include "test_support.h"

namespace stanvex::sim {
namespace {

struct Solution {
  int epochs = 0;
  double meanError = 0;  // mean 3D distance from the truth, metres
  Vec3 meanOffset;       // mean of the solutions minus the truth
};

Solution Solve(const Station& station, const ObservationOptions& options) {
  Solution result;
  const std::string solver = testing::FindProgram("rnx2rtkp");
  if (solver.empty()) return result;
  testing::ScratchDir dir;
  std::string error;
  EXPECT_TRUE(SimulateStationFiles(station, options, dir.File("s.21o"), dir.File("s.21n"), &error))
      << error;
  testing::WriteFile(dir.File("spp.conf"),
                     "pos1-posmode =single\npos1-elmask =10\npos1-ionoopt =brdc\n"
                     "pos1-tropopt =saas\npos1-navsys =1\n");
  EXPECT_TRUE(testing::Run(solver + " -k '" + dir.File("spp.conf") + "' -p 0 -e -o '" +
                           dir.File("s.pos") + "' '" + dir.File("s.21o") + "' '" +
                           dir.File("s.21n") + "' 2>/dev/null"));
  const Vec3 truth = StationPosition(station);
  std::istringstream pos(testing::ReadFile(dir.File("s.pos")));
  std::string line;
  while (std::getline(pos, line)) {
    if (line.empty() || line[0] == '%') continue;
    std::istringstream fields(line);
    std::string date, time;  // "2021/01/01 00:00:30.000" or week and seconds
    Vec3 p;
    fields >> date >> time >> p.x >> p.y >> p.z;
    if (!fields) continue;
    const Vec3 d = p - truth;
    result.meanError += Norm(d);
    result.meanOffset = result.meanOffset + d;
    ++result.epochs;
  }
  if (result.epochs > 0) {
    result.meanError /= result.epochs;
    result.meanOffset = {result.meanOffset.x / result.epochs,
                          result.meanOffset.y / result.epochs,
                          result.meanOffset.z / result.epochs};
  }
  return result;
}

TEST(SimIndependentSolver, SinglePointSolutionsLieWithinAFewMetresOfTheTruth) {
  if (testing::FindProgram("rnx2rtkp").empty()) GTEST_SKIP() << "rnx2rtkp is not installed";
  ObservationOptions options;
  options.interval = 30;
  options.duration = 2 * 3600;
  options.slips.slipsPerSatelliteHour = 0.5;
  // Northern and eastern, southern and western hemispheres; midday
  // ionosphere; a date in another GPS week era.
  const struct {
    Station station;
    int64_t start;
  } cases[] = {
      {{"nrth", 46.8770836, 7.4647808, 560.1}, GpsSecondsOfDate(2021, 1, 1)},
      {{"soth", -33.45, -70.66, 570.0}, GpsSecondsOfDate(2021, 1, 1) + 16 * 3600},
      {{"eqtr", 0.5, 100.2, 20.0}, GpsSecondsOfDate(2010, 7, 1) + 5 * 3600},
  };
  for (const auto& c : cases) {
    options.startGps = c.start;
    const Solution s = Solve(c.station, options);
    std::printf("%s: %d epochs solved, mean error %.2f m, mean offset %.2f m\n",
                c.station.name.c_str(), s.epochs, s.meanError, Norm(s.meanOffset));
    EXPECT_GE(s.epochs, 230) << c.station.name;
    EXPECT_LT(s.meanError, 3.0) << c.station.name;
    EXPECT_LT(Norm(s.meanOffset), 1.5) << c.station.name;
  }
}

}  // namespace
}  // namespace stanvex::sim
