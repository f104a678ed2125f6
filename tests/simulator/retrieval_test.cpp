// The promise of the sample script: a retrieval from the simulated archive,
// end to end through the command-line host and the library, delivers data
// whose average position is the station's true one. Covers the three packings,
// the compact-RINEX fallback and the IGS navigation fallback.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <sstream>

#include "sample_archive.h"
#include "sim_test_util.h"
#include "test_support.h"

namespace stanvex::sim {
namespace {

TEST(SimSampleRetrieval, EveryServiceDeliversTheTruePosition) {
  const std::string program = testing::OutDir() + "/stanvex";
  if (!testing::Exists(program)) GTEST_SKIP() << "the stanvex program is not built";
  testing::ScratchDir dir;
  ArchiveOptions options;
  options.outDir = dir.File("sample");
  options.startGps = GpsSecondsOfDate(2021, 1, 3);
  options.days = 2;
  options.interval = 120;
  std::string error;
  ASSERT_TRUE(WriteSampleArchive(options, nullptr, &error)) << error;

  for (const ArchiveStation& a : DefaultStations()) {
    const std::string dest = dir.File(a.station.name);
    std::filesystem::create_directories(dest);
    const std::string report = dir.File(a.station.name + ".txt");
    EXPECT_TRUE(testing::Run("'" + program + "' fetch --quiet --catalogue '" +
                             dir.File("sample/catalogue") + "' --station " + a.station.name +
                             " --from '2021-01-03 12:00:00' --to '2021-01-04 12:00:00' --dest '" +
                             dest + "' > '" + report + "' 2>&1"))
        << a.station.name << ": " << testing::ReadFile(report);
    std::istringstream lines(testing::ReadFile(report));
    std::string line;
    bool found = false;
    while (std::getline(lines, line)) {
      double lat = 0, lon = 0;
      if (std::sscanf(line.c_str(), "average position %lf %lf", &lat, &lon) != 2) continue;
      found = true;
      const double north = (lat - a.station.latDeg) * 111320.0;
      const double east =
          (lon - a.station.lonDeg) * 111320.0 * std::cos(a.station.latDeg * 3.14159265 / 180);
      EXPECT_LT(std::hypot(north, east), 0.5) << a.station.name << ": " << line;
    }
    EXPECT_TRUE(found) << a.station.name << ": " << testing::ReadFile(report);
  }
}

// An archive laid out like a data centre's today: the IGS service and a
// second service publish compact RINEX 3 under long names (one station
// switching to _S_ names on the second day), the second service has no
// navigation files, so each day's merged RINEX 3 navigation file comes
// through the IGS fallback.
TEST(SimSampleRetrieval, TodaysLongNameArchiveDeliversTheTruePosition) {
  const std::string program = testing::OutDir() + "/stanvex";
  if (!testing::Exists(program)) GTEST_SKIP() << "the stanvex program is not built";
  testing::ScratchDir dir;
  ArchiveOptions options;
  options.outDir = dir.File("sample");
  options.startGps = GpsSecondsOfDate(2021, 1, 3);
  options.days = 2;
  options.interval = 30;
  options.rinex3 = true;
  options.igsLongNames = true;
  options.stations = Rinex3Stations();
  std::string error;
  ASSERT_TRUE(WriteSampleArchive(options, nullptr, &error)) << error;

  for (const ArchiveStation& a : Rinex3Stations()) {
    const std::string dest = dir.File(a.station.name);
    std::filesystem::create_directories(dest);
    const std::string report = dir.File(a.station.name + ".txt");
    EXPECT_TRUE(testing::Run("'" + program + "' fetch --quiet --catalogue '" +
                             dir.File("sample/catalogue") + "' --station " + a.station.name +
                             " --from '2021-01-03 12:00:00' --to '2021-01-04 12:00:00' --dest '" +
                             dest + "' > '" + report + "' 2>&1"))
        << a.station.name << ": " << testing::ReadFile(report);
    int delivered = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dest)) {
      const std::string extension = entry.path().extension().string();
      delivered += extension == ".obn" || extension == ".nvb" || extension == ".sta";
    }
    EXPECT_EQ(delivered, 3) << a.station.name;
    std::istringstream lines(testing::ReadFile(report));
    std::string line;
    bool found = false;
    while (std::getline(lines, line)) {
      double lat = 0, lon = 0;
      if (std::sscanf(line.c_str(), "average position %lf %lf", &lat, &lon) != 2) continue;
      found = true;
      const double north = (lat - a.station.latDeg) * 111320.0;
      const double east =
          (lon - a.station.lonDeg) * 111320.0 * std::cos(a.station.latDeg * 3.14159265 / 180);
      EXPECT_LT(std::hypot(north, east), 0.5) << a.station.name << ": " << line;
    }
    EXPECT_TRUE(found) << a.station.name << ": " << testing::ReadFile(report);
  }
}

}  // namespace
}  // namespace stanvex::sim
