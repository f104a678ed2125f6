// The promise of the sample script: a retrieval from the simulated archive,
// end to end through the command-line host and the library, delivers data
// whose average position is the station's true one. Covers the three packings,
// the compact-RINEX fallback and the IGS navigation fallback, and today's
// windows served by sub-daily files.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <sstream>

#include "sample_archive.h"
#include "sim_test_util.h"
#include "subdaily_archive.h"
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

// The sample's retrievals from today, which has no daily files yet: a short
// window from the hourly files and the rolling navigation file, and a 1 s
// window from 15-minute files whose epochs and values are those of a
// conversion of the recorded 1 Hz hour (measured, not interpolated).
TEST(SimSampleRetrieval, TodaysWindowsComeFromSubDailyFiles) {
  const std::string program = testing::OutDir() + "/stanvex";
  if (!testing::Exists(program)) GTEST_SKIP() << "the stanvex program is not built";
  testing::ScratchDir dir;
  ArchiveOptions options;
  options.outDir = dir.File("sample");
  options.startGps = GpsSecondsOfDate(2021, 1, 5);
  options.days = 1;
  options.subDaily = true;
  options.todayHours = 13;
  options.stations = SubDailyStations();
  std::string error;
  ASSERT_TRUE(WriteSampleArchive(options, nullptr, &error)) << error;

  struct Case {
    const char* station;
    const char* from;
    const char* to;
    const char* interval;
    std::vector<std::string> files;  // downloaded, in order
  };
  const Case cases[] = {
      {"simh", "10:20:00", "12:05:00", "",
       {"simh006k.21o.gz", "simh006l.21o.gz", "simh006m.21o.gz", "brdc0060.21n.gz"}},
      {"simq", "11:10:00", "11:40:00", " --interval 1",
       {"SIMQ00DEU_R_20210061100_15M_01S_MO.crx.gz", "SIMQ00DEU_R_20210061115_15M_01S_MO.crx.gz",
        "SIMQ00DEU_R_20210061130_15M_01S_MO.crx.gz", "BRDC00WRD_S_20210060000_01D_MN.rnx.gz"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.station);
    const std::string dest = dir.File(c.station);
    std::filesystem::create_directories(dest);
    const std::string report = dir.File(std::string(c.station) + ".txt");
    ASSERT_TRUE(testing::Run("'" + program + "' fetch --catalogue '" +
                             dir.File("sample/catalogue") + "' --station " + c.station +
                             " --from '2021-01-06 " + c.from + "' --to '2021-01-06 " + c.to + "'" +
                             c.interval + " --dest '" + dest + "' > '" + report + "' 2>&1"))
        << testing::ReadFile(report);
    const std::string text = testing::ReadFile(report);
    size_t at = 0;
    for (const std::string& file : c.files) {
      at = text.find(file + "\n  File Downloaded", at);
      EXPECT_NE(at, std::string::npos) << file << "\n" << text;
    }
    EXPECT_NE(text.find(std::string("(2021-01-06 ") + c.from + ") to "), std::string::npos) << text;
    EXPECT_NE(text.find(std::string("(2021-01-06 ") + c.to + ") GPS seconds"), std::string::npos);
    EXPECT_EQ(text.find("warning"), std::string::npos) << text;
    // stanvex available names, as there, the files the retrieval took.
    const std::string asked = dir.File(std::string(c.station) + "-available.txt");
    ASSERT_TRUE(testing::Run("'" + program + "' available --catalogue '" +
                             dir.File("sample/catalogue") + "' --station " + c.station +
                             " --from '2021-01-06 " + c.from + "' --to '2021-01-06 " + c.to +
                             "'" + c.interval + " > '" + asked + "' 2>&1"))
        << testing::ReadFile(asked);
    size_t present = 0;
    for (const std::string& line : testing::Lines(testing::ReadFile(asked)))
      present += line.find("file://") != std::string::npos;
    EXPECT_EQ(present, c.files.size()) << testing::ReadFile(asked);
    for (const std::string& file : c.files)
      EXPECT_NE(testing::ReadFile(asked).find("/" + file), std::string::npos) << file;
  }

  // The 1 s window against a conversion of the recorded hour with the same
  // navigation file.
  const std::string nav = dir.File("hour.nav");
  ASSERT_TRUE(testing::Run("gzip -dc '" +
                           dir.File("sample/archive/simbkg/IGS/BRDC/2021/006/"
                                    "BRDC00WRD_S_20210060000_01D_MN.rnx.gz") +
                           "' > '" + nav + "'"));
  const std::string hour = dir.File("sample/recorded/SIMQ00DEU_R_20210061100_01H_01S_MO.rnx");
  const std::string converted = dir.File("converted.txt");
  ASSERT_TRUE(testing::Run("'" + program + "' rnx2obn '" + hour + "' '" + nav + "' > '" +
                           converted + "' 2> /dev/null"));
  // It prints the OBN file's path first.
  const std::vector<std::string> convertedLines = testing::Lines(testing::ReadFile(converted));
  ASSERT_FALSE(convertedLines.empty());
  auto dump = [&](const std::string& obn) {
    const std::string out = dir.File("dump.txt");
    EXPECT_TRUE(testing::Run("'" + program + "' obn dump '" + obn + "' > '" + out + "'"));
    return testing::ReadFile(out);
  };
  const std::string delivered = dump(dir.File("simq/simq0060.obn"));
  const std::string direct = dump(convertedLines.front());
  size_t epochs = 0;
  for (const std::string& line : testing::Lines(delivered))
    epochs += line.compare(0, 6, "epoch ") == 0;
  EXPECT_EQ(epochs, 1801u);
  EXPECT_NE(direct.find(delivered), std::string::npos);
}

}  // namespace
}  // namespace stanvex::sim
