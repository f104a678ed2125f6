// The sample archive: every file where its service's templates say, a
// catalogue our own loader reads, true positions that match the simulation,
// and refusals of what the catalogue could not describe.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <sstream>

#include "base/last_error.h"
#include "base/request_state.h"
#include "crinex/crx2rnx.h"
#include "lzw_compress.h"
#include "sample_archive.h"
#include "sim_test_util.h"
#include "stanvex.h"
#include "test_support.h"

namespace stanvex::sim {
namespace {

using testing::Gunzip;
using testing::ReadFile;
using testing::ScratchDir;

ArchiveOptions TwoDays(const std::string& dir) {
  ArchiveOptions o;
  o.outDir = dir;
  o.startGps = GpsSecondsOfDate(2020, 12, 31);  // across a year end
  o.days = 2;
  o.interval = 300;
  o.seed = 4;
  return o;
}

std::string Strip(const std::string& address) {
  return address.compare(0, 7, "file://") == 0 ? address.substr(7) : address;
}

TEST(SimSampleArchive, CatalogueLoadsAndPointsAtEveryPublishedFile) {
  ScratchDir dir;
  std::vector<std::string> written;
  std::string error;
  ASSERT_TRUE(WriteSampleArchive(TwoDays(dir.path()), &written, &error)) << error;
  for (const std::string& path : written) EXPECT_TRUE(testing::Exists(path)) << path;

  ResetLibraryStateForTesting();
  testing::CurrentDirGuard guard;
  Serv_Sta catalogue{};
  catalogue.iServiceSize = sizeof(ServiceRecord);
  catalogue.iStationSize = sizeof(StationRecord);
  std::string catalogueDir = dir.File("catalogue");
  ASSERT_EQ(iInitalizeNEW(catalogueDir.data(), dir.path().c_str(), &catalogue), 0)
      << LastErrorText;
  ASSERT_EQ(catalogue.iNumServices, 5);
  ASSERT_EQ(catalogue.iNumStations, 5);

  const std::vector<ArchiveService> services = SampleServices();
  const std::vector<ArchiveStation> stations = DefaultStations();
  for (int s = 0; s < catalogue.iNumServices; ++s) {
    const ServiceRecord& record = catalogue.pServices[s];
    const ArchiveService* service = nullptr;
    for (const ArchiveService& candidate : services)
      if (candidate.id == record.ServId) service = &candidate;
    ASSERT_NE(service, nullptr) << record.ServId;
    EXPECT_STREQ(record.Ftype, service->ftype.c_str());
    EXPECT_EQ(static_cast<int>(record.hasDFile), service->compactTemplate.empty() ? 0 : 1);
    const std::string root = Strip(record.ftpAd);
    for (int64_t day : {GpsSecondsOfDate(2020, 12, 31), GpsSecondsOfDate(2021, 1, 1)}) {
      if (service->id == "IGS") {
        EXPECT_TRUE(testing::Exists(root + ExpandTemplate(record.nFile, "auto", day)));
        EXPECT_TRUE(testing::Exists(
            root + ExpandTemplate("/pub/rinex/<YYYY>/<JJJ>/<XXXX><JJJ>0.<yy>n.Z", "auto", day)));
        continue;
      }
      for (int k = 0; k < record.stationCount; ++k) {
        const std::string name = catalogue.pStations[record.firstStation + k].sName;
        EXPECT_EQ(testing::Exists(root + ExpandTemplate(record.oFile, name, day)),
                  service->publishesObs) << name;
        EXPECT_EQ(testing::Exists(root + ExpandTemplate(record.nFile, name, day)),
                  service->publishesNav) << name;
        if (record.hasDFile) {
          EXPECT_TRUE(testing::Exists(root + ExpandTemplate(record.dFile, name, day))) << name;
        }
      }
    }
  }
  for (int k = 0; k < catalogue.iNumStations; ++k) {
    const StationRecord& record = catalogue.pStations[k];
    bool found = false;
    for (const ArchiveStation& a : stations) {
      if (a.station.name != record.sName) continue;
      found = true;
      EXPECT_NEAR(record.lat, a.station.latDeg, 1e-6) << record.sName;
      EXPECT_NEAR(record.lon, a.station.lonDeg, 1e-6) << record.sName;
      EXPECT_NEAR(record.height, a.station.heightM, 1e-3);
      EXPECT_EQ(a.service, record.serv);
    }
    EXPECT_TRUE(found) << record.sName;
  }
  vClearMem(&catalogue);
}

TEST(SimSampleArchive, TruePositionsAndDailyFilesMatchTheSimulation) {
  ScratchDir dir;
  std::string error;
  ASSERT_TRUE(WriteSampleArchive(TwoDays(dir.path()), nullptr, &error)) << error;
  std::istringstream truth(ReadFile(dir.File("stations.txt")));
  std::string line;
  int rows = 0;
  while (std::getline(truth, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string name, service;
    Vec3 p;
    fields >> name >> service >> p.x >> p.y >> p.z;
    for (const ArchiveStation& a : DefaultStations()) {
      if (a.station.name != name) continue;
      ++rows;
      EXPECT_LT(Norm(p - StationPosition(a.station)), 1e-3) << name;
    }
  }
  EXPECT_EQ(rows, 5);

  // The compact-only station: its second day decodes to RINEX whose epochs
  // run from 00:00:00 to 23:55:00 of 1 January 2021.
  const std::string compressed = dir.File("archive/simcrx/pub/rinex/2021/001/sime0010.21d.Z");
  ASSERT_TRUE(testing::Exists(compressed));
  const std::string uncompress = testing::FindProgram("uncompress");
  if (uncompress.empty()) GTEST_SKIP() << "uncompress is not installed";
  ASSERT_TRUE(testing::Run(uncompress + " -c '" + compressed + "' > '" + dir.File("s.21d") + "'"));
  Result decoded = Crx2Rnx(dir.File("s.21d").c_str(), dir.File("s.21o").c_str());
  ASSERT_TRUE(decoded.ok) << decoded.message;
  const std::string rinex = ReadFile(dir.File("s.21o"));
  EXPECT_NE(rinex.find("  2021     1     1     0     0    0.0000000     GPS         TIME OF FIRST OBS"),
            std::string::npos);
  EXPECT_NE(rinex.find("\n 21  1  1  0  0  0.0000000  0"), std::string::npos);
  EXPECT_NE(rinex.find("\n 21  1  1 23 55  0.0000000  0"), std::string::npos);
  EXPECT_EQ(rinex.find("\n 20 12 31"), std::string::npos);
  EXPECT_EQ(rinex.find("\n 21  1  2"), std::string::npos);
}

TEST(SimSampleArchive, SameSeedSameArchive) {
  ScratchDir a, b;
  std::string error;
  ArchiveOptions options = TwoDays(a.path());
  options.days = 1;
  std::vector<std::string> first, second;
  ASSERT_TRUE(WriteSampleArchive(options, &first, &error));
  options.outDir = b.path();
  ASSERT_TRUE(WriteSampleArchive(options, &second, &error));
  ASSERT_EQ(first.size(), second.size());
  for (size_t i = 0; i < first.size(); ++i) {
    if (first[i].find("manufact.dwn") != std::string::npos) continue;  // addresses differ
    EXPECT_TRUE(ReadFile(first[i]) == ReadFile(second[i])) << first[i];
  }
}

TEST(SimSampleArchive, RefusesWhatTheCatalogueCannotDescribe) {
  ScratchDir dir;
  std::string error;
  ArchiveOptions o = TwoDays(dir.File("with blank"));
  EXPECT_FALSE(WriteSampleArchive(o, nullptr, &error));
  EXPECT_NE(error.find("blanks"), std::string::npos) << error;
  EXPECT_FALSE(std::filesystem::exists(dir.File("with blank")));
  o.outDir = dir.File(std::string(120, 'x'));
  EXPECT_FALSE(WriteSampleArchive(o, nullptr, &error));
  EXPECT_NE(error.find("127"), std::string::npos) << error;

  o = TwoDays(dir.path());
  o.stations = {{{"toolong", 1, 2, 3}, "SIMZ"}};
  EXPECT_FALSE(WriteSampleArchive(o, nullptr, &error));
  o.stations = {{{"abcd", 1, 2, 3}, "NOSUCH"}};
  EXPECT_FALSE(WriteSampleArchive(o, nullptr, &error));
  o.stations = {{{"abcd", 1, 2, 3}, "IGS"}};
  EXPECT_FALSE(WriteSampleArchive(o, nullptr, &error));
  o.stations = {{{"abcd", 1, 2, 3}, "SIMZ"}, {{"abcd", 4, 5, 6}, "SIMGZ"}};
  EXPECT_FALSE(WriteSampleArchive(o, nullptr, &error));
  EXPECT_NE(error.find("twice"), std::string::npos);
  o.stations.clear();
  o.startGps += 3600;
  EXPECT_FALSE(WriteSampleArchive(o, nullptr, &error));
  EXPECT_FALSE(std::filesystem::exists(dir.File("archive")));
}

TEST(SimSampleArchive, Rinex3ServiceLaidOutLikeTheIgsArchive) {
  ScratchDir dir;
  ArchiveOptions options = TwoDays(dir.path());
  options.startGps = GpsSecondsOfDate(2021, 1, 3);
  options.rinex3 = true;
  std::string error;
  ASSERT_TRUE(WriteSampleArchive(options, nullptr, &error)) << error;

  // The catalogue stays one our loader reads, the long names beside.
  ResetLibraryStateForTesting();
  testing::CurrentDirGuard guard;
  Serv_Sta catalogue{};
  catalogue.iServiceSize = sizeof(ServiceRecord);
  catalogue.iStationSize = sizeof(StationRecord);
  std::string catalogueDir = dir.File("catalogue");
  ASSERT_EQ(iInitalizeNEW(catalogueDir.data(), dir.path().c_str(), &catalogue), 0)
      << LastErrorText;
  EXPECT_EQ(catalogue.iNumServices, 6);
  EXPECT_EQ(catalogue.iNumStations, 7);
  vClearMem(&catalogue);
  const std::string text = ReadFile(dir.File("catalogue/manufact.dwn"));
  EXPECT_NE(text.find("  sName: simg\n  lName: SIMG00DEU\n"), std::string::npos);
  EXPECT_NE(text.find("  dFile: /IGS/obs/<YYYY>/<JJJ>/<XXXXMRCCC>_R_<YYYY><JJJ>0000_01D_05M_MO.crx.gz|"
                      "/IGS/obs/<YYYY>/<JJJ>/<XXXXMRCCC>_S_<YYYY><JJJ>0000_01D_05M_MO.crx.gz\n"),
            std::string::npos);

  // simf under _R_ both days; simg under _R_, then _S_ on its second day.
  const std::string obs = dir.File("archive/simrx3/IGS/obs/2021/");
  for (const char* name :
       {"003/SIMF00CHE_R_20210030000_01D_05M_MO.crx.gz", "004/SIMF00CHE_R_20210040000_01D_05M_MO.crx.gz",
        "003/SIMG00DEU_R_20210030000_01D_05M_MO.crx.gz", "004/SIMG00DEU_S_20210040000_01D_05M_MO.crx.gz"})
    EXPECT_TRUE(testing::Exists(obs + name)) << name;
  EXPECT_FALSE(testing::Exists(obs + "004/SIMG00DEU_R_20210040000_01D_05M_MO.crx.gz"));
  EXPECT_FALSE(testing::Exists(obs + "003/SIMF00CHE_R_20210030000_01D_05M_MO.rnx.gz"));

  // Compact RINEX 3 of one day of RINEX 3.04, every epoch of that day.
  const std::string compact = Gunzip(obs + "004/SIMG00DEU_S_20210040000_01D_05M_MO.crx.gz");
  EXPECT_EQ(compact.compare(0, 20, "3.0                 "), 0);
  EXPECT_NE(compact.find("     3.04           OBSERVATION DATA    G: GPS"), std::string::npos);
  EXPECT_NE(compact.find("G    8 C1C L1C D1C S1C C2W L2W D2W S2W"), std::string::npos);
  EXPECT_NE(compact.find("\n> 2021 01 04 00 00  0.0000000  0"), std::string::npos);
  EXPECT_EQ(compact.find("> 2021 01 03"), std::string::npos);

  // One merged navigation file a day, GPS among other systems.
  const std::string nav =
      Gunzip(dir.File("archive/simrx3/IGS/BRDC/2021/004/BRDC00IGS_R_20210040000_01D_MN.rnx.gz"));
  EXPECT_EQ(nav.compare(0, 41, "     3.04           N: GNSS NAV DATA    M"), 0);
  EXPECT_NE(nav.find("\nG01 2021 01 04 00 00 00"), std::string::npos);
  EXPECT_NE(nav.find("\nE01 "), std::string::npos);
  EXPECT_NE(nav.find("\nR01 "), std::string::npos);

  // The RINEX 2 services keep their files whether or not the service is there.
  ScratchDir without;
  options.outDir = without.path();
  options.rinex3 = false;
  ASSERT_TRUE(WriteSampleArchive(options, nullptr, &error)) << error;
  const std::string z = "archive/simz/pub/rinex/2021/004/sima0040.21o.Z";
  EXPECT_TRUE(ReadFile(dir.File(z)) == ReadFile(without.File(z)));

  // Today's IGS layout: the merged file under the IGS service's own root,
  // none under the RINEX 3 service, whose retrievals take the fallback.
  ScratchDir today;
  options.outDir = today.path();
  options.rinex3 = true;
  options.igsLongNames = true;
  options.days = 1;
  ASSERT_TRUE(WriteSampleArchive(options, nullptr, &error)) << error;
  const std::string brdc = "/IGS/BRDC/2021/003/BRDC00IGS_R_20210030000_01D_MN.rnx.gz";
  EXPECT_TRUE(testing::Exists(today.File("archive/igs" + brdc)));
  EXPECT_FALSE(testing::Exists(today.File("archive/simrx3" + brdc)));
  EXPECT_TRUE(testing::Exists(
      today.File("archive/simrx3/IGS/obs/2021/003/SIMF00CHE_R_20210030000_01D_05M_MO.crx.gz")));
  const std::string igsBlock = ReadFile(today.File("catalogue/manufact.dwn"));
  EXPECT_NE(igsBlock.find("  ServId: IGS\n  ftpAd: " + std::string("file://") +
                           today.File("archive/igs") +
                           "\n  oFile: /IGS/obs/"),
            std::string::npos);
  options.igsLongNames = false;
  options.days = 2;

  // A station of the service needs a proper long name.
  options.stations = {{{"abcd", 1, 2, 3}, "SIMRX3"}};
  options.rinex3 = true;
  EXPECT_FALSE(WriteSampleArchive(options, nullptr, &error));
  EXPECT_NE(error.find("long name"), std::string::npos) << error;
  options.stations = {{{"abcd", 1, 2, 3}, "SIMRX3", "ABCD0XCHE"}};
  EXPECT_FALSE(WriteSampleArchive(options, nullptr, &error));
  options.stations = {{{"abcd", 1, 2, 3}, "SIMRX3", "ABCD00CHE"}};
  options.rinex3 = false;
  EXPECT_FALSE(WriteSampleArchive(options, nullptr, &error));
}

TEST(SimSampleArchive, TemplatesExpandLikeTheCatalogueReader) {
  const int64_t day = GpsSecondsOfDate(2002, 2, 3);
  EXPECT_EQ(ExpandTemplate("/pub/rinex/<YYYY>/<JJJ>/<XXXX><JJJ>0.<yy>o.Z", "abcd", day),
            "/pub/rinex/2002/034/abcd0340.02o.Z");
  EXPECT_EQ(ExpandTemplate("/data/<YYYY>/<MN>/<DM>/<WEEK><D>/<XXXX><JJJ>0.<yy>d.Z", "abcd", day),
            "/data/2002/02/03/11520/abcd0340.02d.Z");
  const std::string alternatives = "/a/<XXXXMRCCC>_R_<YYYY><JJJ>.crx|/b/<XXXXMRCCC>_S_<JJJ>.crx";
  EXPECT_EQ(ExpandTemplate(alternatives, "abcd", day, "ABCD00CHE"),
            "/a/ABCD00CHE_R_2002034.crx|/b/ABCD00CHE_S_034.crx");
  EXPECT_EQ(Alternative(alternatives, 1), "/b/<XXXXMRCCC>_S_<JJJ>.crx");
  EXPECT_EQ(Alternative(alternatives, 5), "/b/<XXXXMRCCC>_S_<JJJ>.crx");
  EXPECT_EQ(Alternative("/only", 1), "/only");
  EXPECT_EQ(ExpandTemplate("/<JJJ>/<h>/<XXXX><JJJ><h><MM>_<HH>", "abcd", day + 13 * 3600 + 2700),
            "/034/n/abcd034n45_13");
}

}  // namespace
}  // namespace stanvex::sim
