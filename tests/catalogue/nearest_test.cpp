#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "catalogue_fixture.h"
#include "literal_catalogue.h"

namespace stanvex {
namespace {

using testing::ServiceBlock;
using testing::StationBlock;
using testing::StatusLog;

// One second of arc along a meridian, metres.
const double kArcSecond = 6371000.0 * std::acos(-1.0) / 180.0 / 3600.0;

class NearestTest : public testing::CatalogueTest {
 protected:
  // Loads stations given as (name, latitude) on the meridian 0 E; names are
  // chosen so that catalogue order is the order given.
  void LoadStations(const std::vector<std::pair<std::string, std::string>>& stations) {
    std::string text = ServiceBlock("S");
    for (const auto& [name, lat] : stations) text += StationBlock(name, "S", lat, "0 0 0 E");
    WriteUser(text);
    ASSERT_EQ(Load(), 0) << Error();
  }
  int Find(double max_metres, int wanted) {
    return iFindClosestStation(0.0, 0.0, max_metres, found, wanted, &count);
  }
  std::vector<std::string> FoundNames() {
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i) names.push_back(found[i]->sName);
    return names;
  }

  StationRecord* found[8] = {};
  int32_t count = -7;
};

TEST_F(NearestTest, ArgumentFailuresTouchNothing) {
  LoadStations({{"a", "0 0 10 N"}});
  record.pStations[0].distance = 123.0;
  EXPECT_EQ(iFindClosestStation(0, 0, 1e9, found, 0, nullptr), -1);
  EXPECT_EQ(Error(), "ERROR less then 1 number of stations selected in Find Closest Station");
  EXPECT_EQ(Find(1e9, -1), -1);
  EXPECT_EQ(Error(), "ERROR less then 1 number of stations selected in Find Closest Station");
  EXPECT_EQ(iFindClosestStation(0, 0, 1e9, found, 1, nullptr), -1);
  EXPECT_EQ(Error(), "Error iNumStat pointer has not been intitalized!");
  EXPECT_TRUE(StatusLog::Saw(STATUS_ERROR, "Error in iFindClosestStation"));
  EXPECT_EQ(count, -7);
  EXPECT_EQ(found[0], nullptr);
  EXPECT_EQ(+record.pStations[0].distance, 123.0);
}

TEST_F(NearestTest, FailsWithoutALoadedCatalogue) {
  EXPECT_EQ(Find(1e9, 1), -1);
  EXPECT_EQ(Error(), "Error no station catalogue is loaded. Call iInitalizeNEW first");
  LoadStations({{"a", "0 0 10 N"}});
  EXPECT_EQ(Find(1e9, 1), 0);
  vClearMem(&record);
  EXPECT_EQ(Find(1e9, 1), -1);
  EXPECT_EQ(Error(), "Error no station catalogue is loaded. Call iInitalizeNEW first");
  EXPECT_EQ(count, 1);
}

TEST_F(NearestTest, NoStationInRangeStillSetsEveryDistance) {
  LoadStations({{"a", "0 0 10 N"}, {"b", "0 0 20 S"}});
  EXPECT_EQ(Find(100.0, 3), 0);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(found[0], nullptr);
  EXPECT_NEAR(record.pStations[0].distance, 10 * kArcSecond, 1e-6);
  EXPECT_NEAR(record.pStations[1].distance, 20 * kArcSecond, 1e-6);
}

TEST_F(NearestTest, NearestFirstWhateverTheCatalogueOrder) {
  // About 5 km, 1 km and 3 km.
  LoadStations({{"a", "0 0 162 N"}, {"b", "0 0 32 S"}, {"c", "0 0 97 N"}});
  EXPECT_EQ(Find(1e6, 1), 0);
  EXPECT_EQ(FoundNames(), (std::vector<std::string>{"b"}));
  EXPECT_EQ(Find(1e6, 5), 0);  // fewer candidates than asked for
  EXPECT_EQ(FoundNames(), (std::vector<std::string>{"b", "c", "a"}));
  EXPECT_EQ(Find(4000.0, 2), 0);
  EXPECT_EQ(FoundNames(), (std::vector<std::string>{"b", "c"}));
}

TEST_F(NearestTest, NearerLastStationComesFirst) {
  LoadStations({{"a", "0 0 90 N"}, {"b", "0 1 0 N"}, {"c", "0 0 10 N"}});
  EXPECT_EQ(Find(2500.0, 2), 0);
  EXPECT_EQ(FoundNames(), (std::vector<std::string>{"c", "b"}));
}

TEST_F(NearestTest, StationAtTheMaximumDistanceIsAccepted) {
  LoadStations({{"a", "0 0 10 N"}});
  ASSERT_EQ(Find(1e9, 1), 0);
  double exact = record.pStations[0].distance;
  EXPECT_EQ(Find(exact, 1), 0);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(Find(std::nextafter(exact, 0.0), 1), 0);
  EXPECT_EQ(count, 0);
}

TEST_F(NearestTest, EarlierStationKeepsTheLastPlaceAtEqualDistance) {
  LoadStations({{"a", "0 0 10 N"}, {"t1", "0 0 20 N"}, {"t2", "0 0 20 S"}, {"t3", "0 0 20 N"}});
  EXPECT_EQ(Find(1e6, 2), 0);
  EXPECT_EQ(FoundNames(), (std::vector<std::string>{"a", "t1"}));
}

TEST_F(NearestTest, ZeroMaximumAcceptsOnlyTheSamePosition) {
  LoadStations({{"a", "0 0 1 N"}, {"b", "0 0 0 N"}});
  EXPECT_EQ(Find(0.0, 2), 0);
  EXPECT_EQ(FoundNames(), (std::vector<std::string>{"b"}));
}

TEST_F(NearestTest, LongitudeDifferenceIsNotFolded) {
  WriteUser(ServiceBlock("S") + StationBlock("w", "S", "0 0 0 N", "179 30 0 W") +
            StationBlock("x", "S", "0 0 0 N", "179 30 0 X"));
  ASSERT_EQ(Load(), 0) << Error();
  EXPECT_EQ(iFindClosestStation(0.0, 179.5, 1e9, found, 2, &count), 0);
  EXPECT_NEAR(record.pStations[0].distance, 359 * 3600 * kArcSecond, 1e-3);
  // An unknown hemisphere letter counts as east.
  EXPECT_NEAR(record.pStations[1].distance, 0.0, 1e-6);
}

TEST_F(NearestTest, ManyReplacementsKeepTheNearest) {
  // Every later station is nearer than the one before, so each replaces the
  // last entry of a full list.
  std::string text = ServiceBlock("S");
  for (int i = 0; i < 300; ++i)
    text += StationBlock("s" + std::to_string(1000 + i), "S",
                         "0 0 " + std::to_string(400 - i) + " N", "0 0 0 E");
  WriteUser(text);
  ASSERT_EQ(Load(), 0) << Error();
  EXPECT_EQ(Find(1e9, 3), 0);
  EXPECT_EQ(FoundNames(), (std::vector<std::string>{"s1299", "s1298", "s1297"}));
}

// The literal search over the distances the search under test has set.
std::vector<int32_t> LiteralSearch(const Serv_Sta& catalogue, double max, size_t wanted) {
  auto list = testing::LiteralSearch(
      static_cast<size_t>(catalogue.iNumStations),
      [&](size_t i) { return catalogue.pStations[i].distance; }, max, wanted);
  std::vector<int32_t> indices;
  for (const auto& entry : list) indices.push_back(static_cast<int32_t>(entry.first));
  return indices;
}

TEST_F(NearestTest, MatchesTheLiteralSearchWithManyEqualDistances) {
  std::mt19937 random(99);
  std::string text = ServiceBlock("S");
  // Few distinct positions, so that many stations share a distance.
  for (int i = 0; i < 400; ++i)
    text += StationBlock("s" + std::to_string(random() % 50), "S",
                         "0 0 " + std::to_string(random() % 12) + " N",
                         "0 0 " + std::to_string(random() % 12) + " W");
  WriteUser(text);
  ASSERT_EQ(Load(), 0) << Error();
  std::vector<StationRecord*> results(400);
  for (int round = 0; round < 40; ++round) {
    int wanted = 1 + static_cast<int>(random() % 60);
    double max = static_cast<double>(random() % 400);
    ASSERT_EQ(iFindClosestStation(0.0, 0.0, max, results.data(), wanted, &count), 0);
    std::vector<int32_t> got;
    for (int i = 0; i < count; ++i)
      got.push_back(static_cast<int32_t>(results[i] - record.pStations));
    ASSERT_EQ(got, LiteralSearch(record, max, static_cast<size_t>(wanted))) << "round " << round;
  }
}

}  // namespace
}  // namespace stanvex
