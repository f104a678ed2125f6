#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "base/text.h"
#include "catalogue/catalogue.h"
#include "catalogue/exchange_order.h"
#include "literal_catalogue.h"

namespace stanvex {
namespace {

using testing::LiteralExchangeSort;

StationRecord Station(const std::string& name, const std::string& serv, float tag) {
  StationRecord r{};
  CopyText(r.sName, sizeof r.sName, name.c_str());
  CopyText(r.serv, sizeof r.serv, serv.c_str());
  r.ht = tag;  // tells records with equal keys apart
  return r;
}

std::vector<float> Tags(const std::vector<StationRecord>& s) {
  std::vector<float> tags;
  for (const auto& r : s) tags.push_back(+r.ht);  // a copy: the field is unaligned
  return tags;
}

std::vector<StationRecord> Sorted(std::vector<StationRecord> s) {
  Serv_Sta catalogue{1041, 98, s.data(), nullptr, static_cast<int32_t>(s.size()), 0};
  SortStations(&catalogue);
  return s;
}

TEST(SortStations, OrdersByServiceThenNameWithoutCase) {
  auto sorted = Sorted({Station("b1", "X", 0), Station("A2", "x", 1), Station("zz", "W", 2)});
  EXPECT_EQ(Tags(sorted), (std::vector<float>{2, 1, 0}));
}

TEST(SortStations, TiesLeaveTheExchangeOrderNotFileOrder) {
  // An earlier smaller key moves the first of a run of equal keys to its end.
  auto sorted = Sorted({Station("a", "S", 0), Station("a", "S", 1), Station("a", "R", 2)});
  EXPECT_EQ(Tags(sorted), (std::vector<float>{2, 1, 0}));
}

TEST(SortStations, MatchesTheLiteralProcedureOnRandomCataloguesWithTies) {
  std::mt19937 random(20210101);
  const char* services[] = {"SCIGN", "scign", "IGS", "Cors", "CORS", "b"};
  const char* names[] = {"abcd", "ABCD", "p123", "P123", "bbry", "a", "zz", ""};
  for (int round = 0; round < 300; ++round) {
    size_t count = 1 + random() % 60;
    std::vector<StationRecord> s;
    for (size_t i = 0; i < count; ++i)
      s.push_back(Station(names[random() % 8], services[random() % 6], static_cast<float>(i)));
    std::vector<StationRecord> expected = s;
    LiteralExchangeSort(expected);
    ASSERT_EQ(Tags(Sorted(s)), Tags(expected)) << "round " << round;
  }
}

TEST(ExchangeOrder, MatchesTheLiteralProcedureOnRandomKeys) {
  std::mt19937 random(7);
  for (int round = 0; round < 500; ++round) {
    size_t count = random() % 80;
    int32_t range = 1 + static_cast<int32_t>(random() % 10);
    std::vector<int32_t> rank(count);
    for (auto& r : rank) r = static_cast<int32_t>(random() % static_cast<uint32_t>(range));
    std::vector<int32_t> items(count), keys = rank;
    for (size_t i = 0; i < count; ++i) items[i] = static_cast<int32_t>(i);
    for (size_t i = 0; i < count; ++i)
      for (size_t k = 0; k < i; ++k)
        if (keys[k] > keys[i]) {
          std::swap(keys[k], keys[i]);
          std::swap(items[k], items[i]);
        }
    ASSERT_EQ(ExchangeOrder(rank), items) << "round " << round;
  }
}

TEST(LinkServices, CountsContiguousStationsOfEachService) {
  std::vector<StationRecord> s = {Station("a", "B", 0), Station("b", "a", 1), Station("c", "b", 2)};
  ServiceRecord services[3]{};
  std::strcpy(services[0].ServId, "A");
  std::strcpy(services[1].ServId, "b");
  std::strcpy(services[2].ServId, "none");
  Serv_Sta catalogue{1041, 98, s.data(), services, 3, 3};
  SortStations(&catalogue);
  LinkServices(&catalogue);
  EXPECT_EQ(+services[0].stationCount, 1);
  EXPECT_EQ(+services[0].firstStation, 0);
  EXPECT_EQ(+services[1].stationCount, 2);
  EXPECT_EQ(+services[1].firstStation, 1);
  EXPECT_EQ(+services[2].stationCount, 0);
}

}  // namespace
}  // namespace stanvex
