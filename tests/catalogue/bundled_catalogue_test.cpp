// The catalogue shipped with the program: it loads, every template of every
// service expands for its stations, the IGS network is complete, NOAA's and
// EarthScope's active stations are there, and the nearest stations to Bern
// include ZIMM and those to Colorado Springs amc2 (through the exports and
// through `stanvex nearest`).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "base/last_error.h"
#include "catalogue/catalogue.h"
#include "catalogue_fixture.h"
#include "result_codes.h"
#include "transfer/file_names.h"

namespace stanvex::testing {
namespace {

constexpr double kBernLatitude = 46.948;
constexpr double kBernLongitude = 7.447;

class BundledCatalogueTest : public CatalogueTest {
 protected:
  void SetUp() override {
    CatalogueTest::SetUp();
    WriteMaker(ReadFile(SourceDir() + "/catalogue/manufact.dwn"));
    ASSERT_EQ(Load(), 0) << Error();
  }
};

TEST_F(BundledCatalogueTest, IgsNetworkIsCompleteWithLongNamesAndMirrors) {
  ServiceRecord* igs = FindService("IGS");
  ASSERT_NE(igs, nullptr);
  EXPECT_EQ(static_cast<int>(igs->stationCount), 513);
  for (int32_t i = igs->firstStation; i < igs->firstStation + igs->stationCount; ++i)
    EXPECT_NE(StationLongName(&record.pStations[i]), nullptr) << record.pStations[i].sName;
  EXPECT_EQ(ServiceAddressCount(igs), 3);
  EXPECT_GE(ServiceAddressCount(FindService("EUREF")), 2);
  ASSERT_NE(FindService("CDDIS"), nullptr);
  ASSERT_NE(FindService("NOAA"), nullptr);
  EXPECT_GE(static_cast<int>(FindService("NOAA")->stationCount), 1600)
      << "NOAA's CORS with data since 2024";
}

// NOAA's and EarthScope's active stations: a station both serve has a block
// under each, the hand-written NOAA stations stay, and the load names the
// shared names in one text, not once per station.
TEST_F(BundledCatalogueTest, DenseNetworksKeepOneBlockPerService) {
  ServiceRecord* earthscope = FindService("EARTHSCOPE");
  ASSERT_NE(earthscope, nullptr);
  EXPECT_GE(static_cast<int>(earthscope->stationCount), 1000);
  EXPECT_STREQ(earthscope->ftpAd, "https://gage-data.earthscope.org/archive/gnss");
  auto served = [&](const char* serv, const char* name) {
    const ServiceRecord* service = FindService(serv);
    for (int32_t i = service->firstStation; i < service->firstStation + service->stationCount; ++i)
      if (std::string(record.pStations[i].sName) == name) return true;
    return false;
  };
  for (const char* kept : {"amc2", "gode"}) EXPECT_TRUE(served("NOAA", kept)) << kept;
  EXPECT_TRUE(served("NOAA", "p041") && served("EARTHSCOPE", "p041"));
  std::vector<std::string> texts;
  for (const StatusRecord& r : StatusLog::Records())
    if (r.code == STATUS_TEXT && std::string(r.text) != "Initalize Starting") texts.push_back(r.text);
  ASSERT_EQ(texts.size(), 1u) << "one text for the names services share, none for a service "
                                 "that repeats one: "
                              << texts.front();
  EXPECT_NE(texts[0].find(" station blocks repeat the name of another service's station"),
            std::string::npos)
      << texts[0];
  EXPECT_NE(texts[0].find("(EARTHSCOPE and NOAA: "), std::string::npos) << texts[0];
}

TEST_F(BundledCatalogueTest, EveryTemplateExpandsForEveryStation) {
  GpsTime day{};
  day.seconds = 1419 * 604800 + 3 * 86400;  // a day of 2027, four-digit everything
  day.ComputeFromSeconds();
  for (int32_t i = 0; i < record.iNumStations; ++i) {
    DayFiles job{};
    job.station = &record.pStations[i];
    job.service = FindService(job.station->serv);
    ASSERT_NE(job.service, nullptr) << job.station->sName;
    job.day = day;
    ASSERT_EQ(OneOrZero(BuildDayFileNames(&job)), 1) << job.station->sName << ": " << LastErrorText;
    EXPECT_EQ(static_cast<int>(job.service->hasDFile), 1) << job.service->ServId;
    // Long-name archives have _R_/_S_ alternatives; NOAA has per-station
    // and per-day navigation files; EarthScope's stations have short names
    // and one daily compact file.
    bool noaa = std::string(job.service->ServId) == "NOAA";
    PathChoices choices;
    ASSERT_EQ(
        OneOrZero(DayPathChoices(job, noaa ? job.service->nFile : job.service->dFile, &choices)),
        1);
    const bool alternatives = noaa || StationLongName(job.station) != nullptr;
    EXPECT_GE(choices.count, alternatives ? 2 : 1) << job.service->ServId;
  }
}

// Every sub-daily template expands, each alternative within its field, for
// the last 15-minute file of a day.
TEST_F(BundledCatalogueTest, EverySubDailyTemplateExpands) {
  GpsTime start{};
  start.seconds = 1419 * 604800 + 3 * 86400 + 23 * 3600 + 45 * 60;
  start.ComputeFromSeconds();
  int templates = 0;
  for (int32_t i = 0; i < record.iNumServices; ++i)
    for (SubDailyTemplate which : {SubDailyTemplate::kHourly, SubDailyTemplate::kQuarterHourly,
                                   SubDailyTemplate::kRollingNavigation}) {
      const char* pathTemplate = ServiceSubDailyTemplate(&record.pServices[i], which);
      if (pathTemplate[0] == '\0') continue;
      PathChoices choices;
      EXPECT_TRUE(
          OneOrZero(ExpandSubDailyChoices(start, pathTemplate, "abcd", "ABCD00XYZ", &choices)))
          << record.pServices[i].ServId << ": " << LastErrorText;
      ++templates;
    }
  EXPECT_EQ(templates, 4) << "NOAA's hFile, CDDIS's hFile, qFile and hnFile";
}

TEST_F(BundledCatalogueTest, NearestToBernIncludesZimm) {
  std::vector<StationRecord*> found(5);
  int32_t number = 0;
  ASSERT_EQ(iFindClosestStation(kBernLatitude, kBernLongitude, 100000.0, found.data(), 5,
                                &number),
            0)
      << Error();
  bool zimm = false;
  for (int32_t i = 0; i < number; ++i) zimm = zimm || std::string(found[i]->sName) == "zimm";
  EXPECT_TRUE(zimm);

  // The command-line host over a copy of the bundled catalogue.
  std::string program = OutDir() + "/stanvex";
  if (std::FILE* exists = std::fopen(program.c_str(), "rb")) {
    std::fclose(exists);
  } else {
    GTEST_SKIP() << "the command-line host is not built";
  }
  std::string listing = work.File("nearest.txt");
  std::string command = "'" + program + "' nearest '" + dir.path() + "' --lat 46.948 --lon 7.447" +
                        " --count 5 --work '" + work.path() + "' > '" + listing + "'";
  ASSERT_EQ(std::system(command.c_str()), 0);
  std::string text = ReadFile(listing);
  EXPECT_NE(text.find(" zimm "), std::string::npos) << text;

  // From Colorado Springs: NOAA's amc2 among the first three, an EarthScope
  // station among the first ten.
  command = "'" + program + "' nearest '" + dir.path() + "' --lat 38.8 --lon -104.5 --work '" +
            work.path() + "' > '" + listing + "'";
  ASSERT_EQ(std::system(command.c_str()), 0);
  std::istringstream lines(ReadFile(listing));
  std::string line, rank, name, serv;
  std::getline(lines, line);  // the column titles
  int amc2 = 0, earthscope = 0;
  for (int n = 1; n <= 10 && lines >> rank >> name >> serv && std::getline(lines, line); ++n) {
    if (name == "amc2" && serv == "NOAA" && amc2 == 0) amc2 = n;
    if (serv == "EARTHSCOPE" && earthscope == 0) earthscope = n;
  }
  EXPECT_TRUE(amc2 >= 1 && amc2 <= 3) << ReadFile(listing);
  EXPECT_TRUE(earthscope >= 1 && earthscope <= 10) << ReadFile(listing);
}

}  // namespace
}  // namespace stanvex::testing
