// The sub-daily archive: every file the catalogue's hFile, qFile and hnFile
// templates name for a published hour exists, none for an hour to come, and
// the 15-minute files hold 1 s epochs.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>

#include "base/last_error.h"
#include "crinex/crx2rnx.h"
#include "gps_constants.h"
#include "sample_archive.h"
#include "sim_test_util.h"
#include "subdaily_archive.h"
#include "test_support.h"

namespace stanvex::sim {
namespace {

// Seconds of the day of each epoch line ("> 2021 01 04 01 15  0.0000000 ...").
std::vector<double> EpochSeconds(const std::string& rinex) {
  std::vector<double> seconds;
  for (const std::string& line : testing::Lines(rinex)) {
    int hour = 0, minute = 0;
    double second = 0;
    if (std::sscanf(line.c_str(), "> %*d %*d %*d %d %d %lf", &hour, &minute, &second) == 3)
      seconds.push_back(hour * 3600.0 + minute * 60.0 + second);
  }
  return seconds;
}

std::string Decoded(const std::string& compressed, const testing::ScratchDir& dir) {
  const std::string crx = dir.File("q.crx"), rnx = dir.File("q.rnx");
  std::FILE* file = std::fopen(crx.c_str(), "wb");
  const std::string compact = testing::Gunzip(compressed);
  if (!file || std::fwrite(compact.data(), 1, compact.size(), file) != compact.size()) return "";
  std::fclose(file);
  const stanvex::Result decoded = Crx2Rnx(crx.c_str(), rnx.c_str());
  EXPECT_TRUE(decoded.ok) << decoded.message;
  return testing::ReadFile(rnx);
}

TEST(SimSubDailyArchive, TemplatesNameEveryPublishedFile) {
  testing::ScratchDir dir;
  ArchiveOptions options;
  options.outDir = dir.path();
  options.startGps = GpsSecondsOfDate(2021, 1, 3);
  options.days = 1;
  options.subDaily = true;
  options.todayHours = 3;  // today: hours 00-02, 15-minute files for 01-02
  std::string error;
  ASSERT_TRUE(WriteSampleArchive(options, nullptr, &error)) << error;
  const std::string catalogue = testing::ReadFile(dir.File("catalogue/manufact.dwn"));
  const int64_t today = options.startGps + kSecondsPerDay;
  const HourSpan highRate = HighRateHours(options.todayHours);
  ASSERT_EQ(highRate.first, 1);

  const std::vector<ArchiveStation> stations = SubDailyStations();
  const std::vector<ArchiveService> services = SubDailyServices(options.interval);
  ASSERT_EQ(services.size(), stations.size());
  for (size_t k = 0; k < services.size(); ++k) {
    const ArchiveService& s = services[k];
    const ArchiveStation& a = stations[k];
    SCOPED_TRACE(s.id);
    std::string folder = s.id;
    for (char& c : folder) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const std::string root = dir.File("archive/" + folder);
    EXPECT_NE(catalogue.find("  hFile: " + s.subDaily.hourly + "\n"), std::string::npos);
    EXPECT_NE(catalogue.find("  hnFile: " + s.subDaily.rollingNav + "\n"), std::string::npos);
    auto exists = [&](const std::string& pathTemplate, int64_t start) {
      return testing::Exists(
          root + ExpandTemplate(pathTemplate, a.station.name, start, a.longName));
    };
    // Closed day: daily and every hourly file; today: its published hours only.
    EXPECT_TRUE(exists(s.compactTemplate, options.startGps));
    EXPECT_FALSE(exists(s.compactTemplate, today));
    EXPECT_FALSE(exists(s.navTemplate, today));
    for (int64_t day : {options.startGps, today}) {
      EXPECT_TRUE(exists(s.subDaily.rollingNav, day));
      for (int hour = 0; hour < 24; ++hour)
        EXPECT_EQ(exists(s.subDaily.hourly, day + hour * 3600),
                  day != today || hour < options.todayHours)
            << "hour " << hour;
    }
    if (s.subDaily.quarter.empty()) continue;
    EXPECT_NE(catalogue.find("  qFile: " + s.subDaily.quarter + "\n"), std::string::npos);
    for (int quarter = 0; quarter < 4 * 24; ++quarter)
      EXPECT_EQ(exists(s.subDaily.quarter, today + quarter * 900),
                quarter >= 4 * highRate.first && quarter < 4 * highRate.end)
          << "quarter " << quarter;

    // A 15-minute file decodes to its 900 epochs, 1 s apart; the recorded
    // hour holds 3600.
    const int64_t start = today + highRate.first * 3600 + 900;
    const std::vector<double> epochs = EpochSeconds(Decoded(
        root + ExpandTemplate(s.subDaily.quarter, a.station.name, start, a.longName), dir));
    ASSERT_EQ(epochs.size(), 900u);
    EXPECT_EQ(epochs.front(), static_cast<double>((start - today) % kSecondsPerDay));
    for (size_t i = 1; i < epochs.size(); ++i) ASSERT_EQ(epochs[i] - epochs[i - 1], 1.0) << i;
    const std::string recorded =
        testing::ReadFile(dir.File("recorded/" + RecordedHourName(a, start - 900)));
    EXPECT_EQ(EpochSeconds(recorded).size(), 3600u);
  }
}

}  // namespace
}  // namespace stanvex::sim
