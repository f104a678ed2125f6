// Station lists turned into Station blocks: the IGS network's own list, the
// two coordinate forms, the lines left out, and the blocks read back by the
// catalogue reader.
#include "catalogue/station_import.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "catalogue/catalogue.h"
#include "catalogue_fixture.h"

namespace stanvex::testing {
namespace {

TEST(StationImportTest, IgsNetworkListGivesEveryStationWithItsLongName) {
  ASSERT_TRUE(HaveSharedData());
  StationList list = ParseStationList(ReadFile(SharedData("stations/IGSNetwork.csv")));
  EXPECT_TRUE(list.problems.empty()) << list.problems.front();
  ASSERT_EQ(list.stations.size(), 513u);
  const ImportedStation* zimm = nullptr;
  for (const ImportedStation& s : list.stations)
    if (s.longName == "ZIMM00CHE") zimm = &s;
  ASSERT_NE(zimm, nullptr);
  EXPECT_EQ(zimm->shortName, "zimm");
  // From X Y Z (exact), not from the list's latitude rounded to 0.001 deg.
  EXPECT_NEAR(zimm->latitude, 46.87710, 0.00002);
  EXPECT_NEAR(zimm->longitude, 7.46528, 0.00002);
  EXPECT_NEAR(zimm->height, 956.35, 0.05) << "from X Y Z; the list's own height column says 956.78";
}

TEST(StationImportTest, EcefToGeodeticRoundTripsAKnownPoint) {
  // ZIMM's precise coordinates; its geodetic position from the IGS log.
  double lat = 0, lon = 0, h = 0;
  EcefToGeodetic(4331296.832, 567556.166, 4633134.114, &lat, &lon, &h);
  EXPECT_NEAR(lat, 46.0 + 52.0 / 60 + 37.5 / 3600, 0.0001);
  EXPECT_NEAR(lon, 7.0 + 27.0 / 60 + 55.0 / 3600, 0.0001);
  EXPECT_NEAR(h, 956.3, 1.0);
  EcefToGeodetic(0, 0, -6356752.314, &lat, &lon, &h);
  EXPECT_NEAR(lat, -90, 1e-9);
  EXPECT_NEAR(h, 0, 1e-3) << "the pole";
}

TEST(StationImportTest, PlainListsWithoutHeader) {
  StationList list = ParseStationList(
      "wtzr 49.144 12.879 666.4\n"
      "ZIMM00CHE;4331297.348;567555.639;4633133.728\r\n"
      "\n"
      "# a comment\n"
      "abc 1 2 3\n"
      "gode 39 -76 x\n"
      "far1 10 400 0\n"
      "out1 4331297 567555 46331\n"
      "wtzr 1 2 3\n"
      "west -33.5 190 10\n");
  ASSERT_EQ(list.stations.size(), 3u);
  EXPECT_EQ(list.stations[0].shortName, "wtzr");
  EXPECT_EQ(list.stations[0].longName, "");
  EXPECT_DOUBLE_EQ(list.stations[0].latitude, 49.144);
  EXPECT_EQ(list.stations[1].longName, "ZIMM00CHE") << "X Y Z told by their size";
  EXPECT_NEAR(list.stations[1].latitude, 46.877, 0.001);
  EXPECT_DOUBLE_EQ(list.stations[2].longitude, -170) << "190 E is 170 W";
  ASSERT_EQ(list.problems.size(), 5u);
  EXPECT_EQ(list.problems[0], "line 5: the name \"abc\" is not 4 or 9 letters or digits");
  EXPECT_EQ(list.problems[1], "line 6: a coordinate is missing or not a number");
  EXPECT_EQ(list.problems[2], "line 7: latitude, longitude or height out of range");
  EXPECT_EQ(list.problems[3], "line 8: X Y Z do not lie on the earth's surface");
  EXPECT_EQ(list.problems[4], "line 9: station wtzr is listed twice");
}

TEST(StationImportTest, NamesThatCouldNameFilesElsewhereAreRefused) {
  StationList list = ParseStationList("name,lat,lon,height\n../x,1,1,1\nab/cd,1,1,1\n"
                                      "ZIMM/0CHE,1,1,1\nok00,1,1,1\n");
  ASSERT_EQ(list.stations.size(), 1u);
  EXPECT_EQ(list.problems.size(), 3u);
  EXPECT_FALSE(IsValidServiceId(""));
  EXPECT_FALSE(IsValidServiceId("a b"));
  EXPECT_FALSE(IsValidServiceId("x}"));
  EXPECT_FALSE(IsValidServiceId(std::string(32, 'a')));
  EXPECT_TRUE(IsValidServiceId("IGS"));
}

TEST_F(CatalogueTest, ImportedBlocksLoadWithTheirPositionsAndLongNames) {
  StationList list = ParseStationList(
      "#StationName,X,Y,Z,Latitude,Longitude,Height\n"
      "ZIMM00CHE,4331297.348,567555.639,4633133.728,46.877, 7.465,956.782\n"
      "SANT00CHL,1769693.2,-5044574.2,-3468321.1,-33.150,-70.669,723.1\n");
  ASSERT_EQ(list.stations.size(), 2u);
  std::string blocks = StationBlocks(list.stations, "IGS");
  EXPECT_NE(blocks.find("Station {\n  sName: zimm\n  lName: ZIMM00CHE\n  lat: 46 52 37."),
            std::string::npos)
      << blocks;
  WriteMaker(ServiceBlock("IGS") + blocks);
  ASSERT_EQ(Load(), 0) << Error();
  ASSERT_EQ(record.iNumStations, 2);
  for (int i = 0; i < 2; ++i) {
    const StationRecord& loaded = record.pStations[i];
    const ImportedStation& source = list.stations[std::string(loaded.sName) == "zimm" ? 0 : 1];
    EXPECT_NEAR(loaded.lat, source.latitude, 1e-6) << loaded.sName;
    EXPECT_NEAR(loaded.lon, source.longitude, 1e-6) << loaded.sName;
    EXPECT_NEAR(loaded.height, source.height, 1e-3);
    EXPECT_STREQ(StationLongName(&loaded), source.longName.c_str());
  }
}

TEST(StationImportTest, SecondsThatRoundToSixtyCarry) {
  ImportedStation s{"abcd", "", 10.0 - 1e-10, -(20.0 - 1e-10), 0};
  std::string blocks = StationBlocks({s}, "X");
  EXPECT_NE(blocks.find("lat: 10 0 0.00000 N"), std::string::npos) << blocks;
  EXPECT_NE(blocks.find("lon: 20 0 0.00000 W"), std::string::npos) << blocks;
}

}  // namespace
}  // namespace stanvex::testing
