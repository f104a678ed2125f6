// The published lists of the dense networks: the Nevada Geodetic
// Laboratory's holdings list and EarthScope's PBO velocity file read whole,
// hostile lines left out with their line numbers, and the choice of the
// stations a catalogue takes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "catalogue/holdings_list.h"
#include "catalogue/station_selection.h"
#include "catalogue/velocity_file.h"
#include "catalogue_fixture.h"

namespace stanvex::testing {
namespace {

using namespace std::string_literals;

const ListedStation* Find(const ListedStations& list, const std::string& name) {
  for (const ListedStation& s : list.stations)
    if (s.station.shortName == name) return &s;
  return nullptr;
}

int32_t Day(const char* text) {
  int32_t day = kNoDay;
  EXPECT_TRUE(ReadDay(text, true, &day)) << text;
  return day;
}

// The velocity file's header, up to its column titles.
std::string VelocityHeader() {
  std::string text = ReadFile(SharedData("stations/earthscope-gage-nam14.vel"));
  return text.substr(0, text.find("\n 1NSU") + 1);
}

TEST(StationListsTest, RealListsAreReadWhole) {
  ASSERT_TRUE(HaveSharedData());
  ListedStations holdings = ReadStationList(ReadFile(SharedData("stations/ngl-data-holdings.txt")));
  EXPECT_EQ(holdings.format, ListFormat::kHoldings);
  EXPECT_EQ(holdings.stations.size() + holdings.problems.size(), 22274u);
  ASSERT_EQ(holdings.problems.size(), 18u) << "NGL's names with '_' are no file names";
  EXPECT_EQ(holdings.problems[0], "line 84: the name \"0ED_\" is not 4 letters or digits");
  const ListedStation* p041 = Find(holdings, "p041");
  ASSERT_NE(p041, nullptr);
  EXPECT_EQ(p041->line, 14551);
  EXPECT_EQ(DayText(p041->lastDay), "2024-09-28");
  EXPECT_NEAR(p041->station.latitude, 39.9495, 0.0001);
  EXPECT_NEAR(p041->station.longitude, 254.8057 - 360, 0.0001) << "east of 0-360 turned to -180..180";

  ListedStations velocity =
      ReadStationList(ReadFile(SharedData("stations/earthscope-gage-nam14.vel")));
  EXPECT_EQ(velocity.format, ListFormat::kVelocity);
  EXPECT_TRUE(velocity.problems.empty()) << velocity.problems.front();
  EXPECT_EQ(velocity.stations.size(), 2194u) << "one station per name over 6,495 segments";
  const ListedStation* nsu = Find(velocity, "1nsu");
  ASSERT_NE(nsu, nullptr);
  EXPECT_EQ(nsu->line, 40) << "the last of its four segments";
  EXPECT_EQ(DayText(nsu->lastDay), "2023-12-30");

  EXPECT_EQ(DetectListFormat(ReadFile(SharedData("stations/noaa-cors-itrf2014.csv"))),
            ListFormat::kTable);
}

TEST(StationListsTest, VelocitySegmentThatEndsLastGivesThePosition) {
  ASSERT_TRUE(HaveSharedData());
  // Columns from the end: the name holds a blank; the later segment comes first.
  const std::string tail =
      " 60305.5000 %X -5420742.30460 3336980.83294 31.75 266.90 28.02 0 0 0 0 0 0 0 0 0 0 0 0 0 "
      "0 0 0 0 0 20100101000000 %E\n";
  auto segment = [&](const std::string& x, const std::string& end) {
    std::string line = " 1NSU North western   20231227120000" + tail;
    line.replace(line.find("%X"), 2, x);
    line.replace(line.find("%E"), 2, end);
    return line;
  };
  ListedStations list = ParseVelocityFile(VelocityHeader() + segment("-293349.9", "20231230000000") +
                                          segment("-293349.1", "20170126000000"));
  ASSERT_EQ(list.stations.size(), 1u) << (list.problems.empty() ? "" : list.problems[0]);
  EXPECT_EQ(list.stations[0].line, 37);
  EXPECT_EQ(DayText(list.stations[0].lastDay), "2023-12-30");
}

TEST(StationListsTest, HostileLinesAreLeftOutWithTheirLineNumbers) {
  const std::string header =
      "Sta  Lat(deg)   Long(deg) Hgt(m)  X(m)           Y(m)         Z(m)          Dtbeg      "
      "Dtend\n";
  const std::string xyz = " 31.75 266.90 28.07 -293349.5323 -5420742.3561 3336980.8353 2004-01-16 ";
  struct Case {
    std::string line;  // line 2 of a holdings list
    std::string problem;
  } const cases[] = {
      {"1NSU" + xyz + "2024-09-28", ""},
      {"1N\0U"s + xyz + "2024-09-28", "line 2: holds a NUL byte"},
      {"../x" + xyz + "2024-09-28", "line 2: the name \"../x\" is not 4 letters or digits"},
      {"\x01" "NSU" + xyz + "2024-09-28", "line 2: the name \"\\x01NSU\" is not 4 letters or digits"},
      {std::string(40, 'A') + xyz + "2024-09-28",
       "line 2: the name \"" + std::string(32, 'A') + "...\" is not 4 letters or digits"},
      {"1NSU 0 0 0 nan -5420742.3561 3336980.8353 2004-01-16 2024-09-28",
       "line 2: X, Y or Z is missing or not a finite number"},
      {"1NSU 0 0 0 1e400 -5420742.3561 3336980.8353 2004-01-16 2024-09-28",
       "line 2: X, Y or Z is missing or not a finite number"},
      {"1NSU 0 0 0 -293349.5 -542074.3 3336980.8 2004-01-16 2024-09-28",
       "line 2: X Y Z do not lie on the earth's surface"},
      {"1NSU" + xyz + "2023-02-29",
       "line 2: the last day of data \"2023-02-29\" is not a date (YYYY-MM-DD)"},
      {"1NSU" + xyz, "line 2: the last day of data \"\" is not a date (YYYY-MM-DD)"},
      {"1NSU" + xyz + std::string(5000, '9'), "line 2: longer than 4096 characters"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.problem);
    ListedStations list = ParseHoldingsList(header + c.line + "\n1nsu" + xyz + "2024-09-28\n");
    ASSERT_EQ(list.problems.size(), 1u);
    if (c.problem.empty()) {
      EXPECT_EQ(list.problems[0], "line 3: station 1nsu is listed before, on line 2");
    } else {
      EXPECT_EQ(list.problems[0], c.problem);
      ASSERT_EQ(list.stations.size(), 1u);
      EXPECT_EQ(list.stations[0].line, 3) << "the next line is still read";
    }
  }
  EXPECT_EQ(ParseHoldingsList("Sta X Y Dtend\n").refusal, "line 1: the header line names no Z column");
  EXPECT_EQ(ParseVelocityFile("PBO Velocity file\n 1NSU 1 2 3\n").refusal,
            "no field description (\"Start Field Description\" ... \"End Field Description\") "
            "before the stations");
  ASSERT_TRUE(HaveSharedData());
  ListedStations velocity = ParseVelocityFile(VelocityHeader() + " 1NSU Northwestern 1 2 3\n");
  ASSERT_EQ(velocity.problems.size(), 1u);
  EXPECT_EQ(velocity.problems[0], "line 37: has 5 fields where the file describes 30");
}

TEST(StationListsTest, SelectionKeepsActiveStationsOfTheOtherListAtTheSamePlace) {
  auto listed = [](const char* name, double latitude, const char* lastDay) {
    ListedStation s{ImportedStation{name, "", latitude, -100.0, 0.0}, 1, kNoDay};
    if (lastDay != nullptr) s.lastDay = Day(lastDay);
    return s;
  };
  ListedStations positions, holdings;
  positions.stations = {listed("keep", 40, nullptr), listed("gone", 40, nullptr),
                        listed("idle", 40, nullptr), listed("away", 40, nullptr),
                        listed("mine", 40, nullptr), listed("late", 40, "2024-01-01")};
  holdings.stations = {listed("keep", 40.005, "2024-01-01"), listed("idle", 40, "2023-12-31"),
                       listed("away", 41, "2024-09-28"), listed("mine", 40, "2024-09-28"),
                       listed("late", 40, "2010-01-01")};
  StationSelection selection;
  selection.activeSince = Day("2024-01-01");
  selection.onlyIn = &holdings;
  selection.onlyInName = "holdings.txt";
  selection.except = {"mine"};
  SelectedStations selected = SelectStations(positions, selection);
  ASSERT_EQ(selected.stations.size(), 2u);
  EXPECT_EQ(selected.stations[0].shortName, "keep") << "556 m apart: one station";
  EXPECT_EQ(selected.stations[1].shortName, "late") << "the later of the two last days";
  EXPECT_EQ(selected.notInOther, 1);
  EXPECT_EQ(selected.inactive, 1);
  EXPECT_EQ(selected.excepted, 1);
  EXPECT_EQ(selected.elsewhere, 1);
  ASSERT_EQ(selected.problems.size(), 1u);
  EXPECT_EQ(selected.problems[0],
            "station away (line 1) lies 111.195 km from station away (line 1) of holdings.txt: "
            "another station of the same name");
}

}  // namespace
}  // namespace stanvex::testing
