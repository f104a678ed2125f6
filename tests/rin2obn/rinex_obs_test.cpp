#include "rinex_obs.h"

#include <gtest/gtest.h>

#include "gnss_time.h"
#include "real_data.h"
#include "rinex_text.h"
#include "test_support.h"

namespace {

using rin2obn::ObsEpoch;
using rin2obn::ObsReader;
using rin2obn::TextLineSource;
using namespace rinex_text;

const std::vector<std::string> kTenTypes = {"C1", "L1", "S1", "C2", "L2",
                                            "S2", "P2", "C5", "L5", "S5"};

std::vector<std::string> Satellites(int count) {
  std::vector<std::string> list;
  for (int i = 1; i <= count; ++i) {
    char id[16];
    std::snprintf(id, sizeof id, "G%02d", i);
    list.push_back(id);
  }
  return list;
}

TEST(RinexObsReader, ReadsTwoLineTypeListFourteenSatellitesAndFiveValuesPerLine) {
  std::string text = ObsHeaderText(kTenTypes);
  text += EpochLine(0, 0.0, 0, Satellites(14));
  for (int s = 1; s <= 14; ++s) {
    std::vector<Value> values;
    for (int t = 0; t < 10; ++t) values.push_back({s * 1000.0 + t + 0.125, ' ', ' '});
    values[1].lli = '1';
    values[1].ssi = '7';
    values[3].value = 0.0;  // blank field: missing
    text += ObservationLines(values);
  }
  TextLineSource source(text);
  ObsReader reader(source);
  ASSERT_TRUE(reader.ReadHeader()) << reader.error();
  ASSERT_EQ(reader.header().types, kTenTypes);
  EXPECT_DOUBLE_EQ(reader.header().interval, 30.0);
  ObsEpoch epoch;
  ASSERT_EQ(reader.NextEpoch(epoch), ObsReader::kEpoch);
  ASSERT_EQ(epoch.SatelliteCount(), 14);
  EXPECT_EQ(epoch.prns[13], 14);
  EXPECT_EQ(epoch.systems[13], 'G');
  EXPECT_DOUBLE_EQ(epoch.Value(13, 9), 14009.125);  // second line of the satellite
  EXPECT_DOUBLE_EQ(epoch.Value(0, 3), 0.0);
  EXPECT_EQ(epoch.Lli(0, 1), 1);
  EXPECT_EQ(epoch.ssi[1], 7);
  EXPECT_EQ(reader.NextEpoch(epoch), ObsReader::kEnd);
}

TEST(RinexObsReader, CrLfLineEndsTrailingBlanksAndZeroValuesAreHandled) {
  std::string text = ObsHeaderText({"C1", "P2"}) + EpochLine(0, 30.0, 0, {"G07", "  9", "R03"});
  text += ObservationLines({{21000000.5, ' ', ' '}, {21000003.25, ' ', ' '}});
  text += ObservationLines({{0.0, ' ', ' '}, {22000000.0, ' ', ' '}});
  text += "         0.000          0.000   \n";  // zeros are missing values
  std::string crlf;
  for (char c : text) crlf += c == '\n' ? std::string("   \r\n") : std::string(1, c);
  TextLineSource source(crlf);
  ObsReader reader(source);
  ASSERT_TRUE(reader.ReadHeader()) << reader.error();
  ObsEpoch epoch;
  ASSERT_EQ(reader.NextEpoch(epoch), ObsReader::kEpoch);
  EXPECT_DOUBLE_EQ(epoch.second, 30.0);
  ASSERT_EQ(epoch.SatelliteCount(), 3);
  EXPECT_EQ(epoch.systems[1], 'G');  // a blank system letter is GPS
  EXPECT_EQ(epoch.prns[1], 9);
  EXPECT_EQ(epoch.systems[2], 'R');
  EXPECT_DOUBLE_EQ(epoch.Value(0, 1), 21000003.25);
  EXPECT_DOUBLE_EQ(epoch.Value(1, 0), 0.0);
  EXPECT_DOUBLE_EQ(epoch.Value(2, 0), 0.0);
  EXPECT_DOUBLE_EQ(epoch.Value(2, 1), 0.0);
}

TEST(RinexObsReader, HeaderRecordsInsideTheDataChangeTheTypesOfLaterEpochs) {
  std::string text = ObsHeaderText({"C1", "P2"}) + EpochLine(0, 0.0, 0, {"G01"});
  text += ObservationLines({{1.5, ' ', ' '}, {2.5, ' ', ' '}});
  // Event flag 4 with two header records, then flag 5 with none and flag 3
  // with an unknown record: none of them is an epoch.
  text += "                            4  2\n";
  text += Header("     3    L1    C1    P2", "# / TYPES OF OBSERV");
  text += Header("     5.000", "INTERVAL");
  text += EpochLine(0, 10.0, 5, {});
  text += EpochLine(0, 20.0, 3, {"G01"}).substr(0, 32) + "\n" + Header("X", "SOMETHING ELSE");
  text += EpochLine(0, 30.0, 6, {"G01"});
  text += ObservationLines({{3.5, ' ', ' '}, {4.5, ' ', ' '}, {5.5, ' ', ' '}});
  TextLineSource source(text);
  std::vector<std::string> events;
  ObsReader reader(source, [&](const std::string& e) { events.push_back(e); });
  ASSERT_TRUE(reader.ReadHeader());
  ObsEpoch epoch;
  ASSERT_EQ(reader.NextEpoch(epoch), ObsReader::kEpoch);
  EXPECT_EQ(epoch.typeCount, 2);
  ASSERT_EQ(reader.NextEpoch(epoch), ObsReader::kEpoch);
  EXPECT_EQ(epoch.flag, 6);
  EXPECT_DOUBLE_EQ(epoch.second, 30.0);
  ASSERT_EQ(epoch.typeCount, 3);
  EXPECT_EQ(reader.header().IndexOf("C1"), 1);
  EXPECT_DOUBLE_EQ(epoch.Value(0, 1), 4.5);
  EXPECT_DOUBLE_EQ(reader.header().interval, 5.0);
  EXPECT_EQ(reader.NextEpoch(epoch), ObsReader::kEnd);
  EXPECT_FALSE(events.empty());
}

TEST(RinexObsReader, DamagedEpochLineIsSkippedAndCutLastEpochKeepsWhatWasRead) {
  std::string text = ObsHeaderText({"C1", "L1", "S1", "C2", "L2", "P2"});
  text += " 21 13 45  0  0  0.0000000  0  1G01\n";  // month 13: not an epoch
  text += "garbage\n";
  text += EpochLine(1, 0.0, 0, {"G02", "G03"});
  text += ObservationLines({{1, ' ', ' '}, {2, ' ', ' '}, {3, ' ', ' '}, {4, ' ', ' '},
                            {5, ' ', ' '}, {6, ' ', ' '}});
  text += ObservationLines({{7, ' ', ' '}});  // the file ends inside the second satellite
  TextLineSource source(text);
  ObsReader reader(source);
  ASSERT_TRUE(reader.ReadHeader());
  ObsEpoch epoch;
  ASSERT_EQ(reader.NextEpoch(epoch), ObsReader::kEpoch);
  EXPECT_EQ(epoch.minute, 1);
  EXPECT_DOUBLE_EQ(epoch.Value(0, 5), 6.0);
  EXPECT_DOUBLE_EQ(epoch.Value(1, 0), 7.0);
  EXPECT_DOUBLE_EQ(epoch.Value(1, 5), 0.0);
  EXPECT_GE(reader.skippedLines(), 2);
  EXPECT_EQ(reader.NextEpoch(epoch), ObsReader::kEnd);
}

TEST(RinexObsReader, RejectsWhatIsNotARinexTwoObservationFile) {
  const std::string body = Header("", "END OF HEADER");
  const std::string cases[] = {
      Header("     2.11           N: GPS NAV DATA", "RINEX VERSION / TYPE") + body,
      Header("1.0                 COMPACT RINEX FORMAT", "CRINEX VERS   / TYPE") + body,
      Header("     3.04           OBSERVATION DATA    M", "RINEX VERSION / TYPE") + body,
      Header("     2.11           OBSERVATION DATA    G", "RINEX VERSION / TYPE"),
      Header("     2.11           OBSERVATION DATA    G", "RINEX VERSION / TYPE") + body,
      std::string("just some text\n"),
      std::string(),
  };
  for (const std::string& text : cases) {
    TextLineSource source(text);
    ObsReader reader(source);
    EXPECT_FALSE(reader.ReadHeader()) << text;
    EXPECT_FALSE(reader.error().empty());
  }
}

TEST(RinexObsReader, MixedVersionTwoEpochsOfMoreThanThirtySatellitesReadWhole) {
  // A mixed file of 32 satellites, and the most a decoded epoch line set
  // holds (74): the list continues on further lines, 12 a line.
  for (int count : {32, 74}) {
    std::vector<std::string> satellites;
    for (int i = 0; i < count; ++i) {
      const char systems[] = "GRES";
      char id[16];
      std::snprintf(id, sizeof id, "%c%02d", systems[i % 4], i / 4 + 1);
      satellites.push_back(id);
    }
    std::string text = ObsHeaderText({"C1", "L1"}, "M") + EpochLine(0, 0.0, 0, satellites);
    for (int s = 0; s < count; ++s) text += ObservationLines({{20000000.0 + s, ' ', ' '}, {s + 0.5, ' ', ' '}});
    text += EpochLine(0, 30.0, 0, {"G01"}) + ObservationLines({{1.0, ' ', ' '}, {2.0, ' ', ' '}});
    TextLineSource source(text);
    ObsReader reader(source);
    ASSERT_TRUE(reader.ReadHeader());
    ObsEpoch epoch;
    ASSERT_EQ(reader.NextEpoch(epoch), ObsReader::kEpoch);
    ASSERT_EQ(epoch.SatelliteCount(), count);
    EXPECT_EQ(epoch.systems[static_cast<size_t>(count - 1)], "GRES"[(count - 1) % 4]);
    EXPECT_EQ(epoch.prns[static_cast<size_t>(count - 1)], (count - 1) / 4 + 1);
    EXPECT_DOUBLE_EQ(epoch.Value(count - 1, 0), 20000000.0 + count - 1);
    ASSERT_EQ(reader.NextEpoch(epoch), ObsReader::kEpoch);
    EXPECT_DOUBLE_EQ(epoch.second, 30.0);
    EXPECT_EQ(reader.skippedLines(), 0);
  }
}

const std::vector<std::pair<char, std::vector<std::string>>> kThreeSystems = {
    {'G', {"C1C", "C2W", "C2X", "C5X", "D1C", "D2W", "D2X", "D5X", "L1C", "L2W", "L2X", "L5X",
           "S1C", "S2W", "S2X", "S5X"}},
    {'R', {"C1C", "L1C"}},
    {'E', {"C1X", "L1X", "S1X"}},
};

TEST(RinexObsReader, VersionThreeReadsEachSystemsTypesAndOneLinePerSatellite) {
  std::string text = Obs3HeaderText(kThreeSystems);
  text += Epoch3Line(0, 0.0, 0, 4, -0.000123456789);
  std::vector<Value> gps;
  for (int t = 0; t < 16; ++t) gps.push_back({1000.0 + t + 0.125, ' ', ' '});
  gps[8].lli = '1';  // L1C
  gps[8].ssi = '6';
  gps[2].value = 0.0;  // C2X missing
  text += Satellite3Line("G01", gps);
  text += Satellite3Line("R12", {{19000000.0, ' ', ' '}, {101000000.5, '2', '7'}});
  text += Satellite3Line("J02", {{5.0, ' ', ' '}});  // a system the header does not list
  text += Satellite3Line("G30", {{21000000.0, ' ', ' '}});  // a line shorter than the list
  TextLineSource source(text);
  ObsReader reader(source);
  ASSERT_TRUE(reader.ReadHeader()) << reader.error();
  EXPECT_DOUBLE_EQ(reader.header().version, 3.04);
  ASSERT_EQ(reader.header().TypesOf('G').size(), 16u);
  EXPECT_EQ(reader.header().TypesOf('G')[15], "S5X");  // from the continuation record
  EXPECT_EQ(reader.header().IndexOf('E', "S1X"), 2);
  EXPECT_TRUE(reader.header().TypesOf('C').empty());
  ObsEpoch epoch;
  ASSERT_EQ(reader.NextEpoch(epoch), ObsReader::kEpoch);
  EXPECT_EQ(epoch.year, 2022);
  EXPECT_DOUBLE_EQ(epoch.clockOffset, -0.000123456789);
  EXPECT_EQ(epoch.typeCount, 16);
  ASSERT_EQ(epoch.SatelliteCount(), 4);
  EXPECT_EQ(epoch.systems[1], 'R');
  EXPECT_EQ(epoch.prns[1], 12);
  EXPECT_DOUBLE_EQ(epoch.Value(0, 15), 1015.125);
  EXPECT_DOUBLE_EQ(epoch.Value(0, 2), 0.0);
  EXPECT_EQ(epoch.Lli(0, 8), 1);
  EXPECT_EQ(epoch.ssi[8], 6);
  EXPECT_DOUBLE_EQ(epoch.Value(1, 1), 101000000.5);
  EXPECT_EQ(epoch.Lli(1, 1), 2);
  EXPECT_DOUBLE_EQ(epoch.Value(1, 2), 0.0);  // beyond the system's two types
  EXPECT_DOUBLE_EQ(epoch.Value(2, 0), 0.0);  // no types for J: nothing read
  EXPECT_DOUBLE_EQ(epoch.Value(3, 0), 21000000.0);
  EXPECT_DOUBLE_EQ(epoch.Value(3, 8), 0.0);
  EXPECT_EQ(reader.NextEpoch(epoch), ObsReader::kEnd);
}

TEST(RinexObsReader, VersionThreeEventRecordsChangeTypesAndShortEpochsLeaveTheNextWhole) {
  std::string text = Obs3HeaderText({{'G', {"C1C", "L1C"}}}, "4.00");
  // Two satellites announced, one given: the next epoch follows at once.
  text += Epoch3Line(0, 0.0, 0, 2) + Satellite3Line("G01", {{1.5, ' ', ' '}, {2.5, ' ', ' '}});
  // Flag 4 with two header records: G's list becomes three types.
  text += ">                              4  2\n";
  text += Header("G    3 L1C C1C S1C", "SYS / # / OBS TYPES");
  text += Header("a comment", "COMMENT");
  text += Epoch3Line(0, 30.0, 0, 1) + Satellite3Line("G05", {{3.5, ' ', ' '}, {4.5, ' ', ' '}, {45.0, ' ', ' '}});
  text += "> 2022 13 01 00 01  0.0000000  0  1\n";  // month 13: not an epoch
  text += "G07  99.0\n";
  text += Epoch3Line(1, 30.0, 6, 1) + Satellite3Line("G05", {{1.0, ' ', ' '}});
  text += Epoch3Line(2, 0.0, 0, 3) + Satellite3Line("G05", {{6.5, ' ', ' '}});  // the file ends
  TextLineSource source(text);
  std::vector<std::string> events;
  ObsReader reader(source, [&](const std::string& e) { events.push_back(e); });
  ASSERT_TRUE(reader.ReadHeader()) << reader.error();
  ObsEpoch epoch;
  ASSERT_EQ(reader.NextEpoch(epoch), ObsReader::kEpoch);
  EXPECT_EQ(epoch.SatelliteCount(), 1);
  EXPECT_DOUBLE_EQ(epoch.Value(0, 1), 2.5);
  ASSERT_EQ(reader.NextEpoch(epoch), ObsReader::kEpoch);
  EXPECT_DOUBLE_EQ(epoch.second, 30.0);
  EXPECT_EQ(reader.header().IndexOf('G', "C1C"), 1);
  EXPECT_EQ(epoch.typeCount, 3);
  EXPECT_DOUBLE_EQ(epoch.Value(0, 2), 45.0);
  ASSERT_EQ(reader.NextEpoch(epoch), ObsReader::kEpoch);
  EXPECT_EQ(epoch.flag, 6);
  EXPECT_EQ(epoch.minute, 1);
  ASSERT_EQ(reader.NextEpoch(epoch), ObsReader::kEpoch);
  EXPECT_EQ(epoch.minute, 2);
  EXPECT_EQ(epoch.SatelliteCount(), 1);
  EXPECT_EQ(reader.NextEpoch(epoch), ObsReader::kEnd);
  EXPECT_EQ(reader.skippedLines(), 2);
  EXPECT_GE(events.size(), 4u);
}

TEST(RinexObsReader, VersionThreeEpochsInBeidouOrGlonassTimeBecomeGpsTime) {
  const double written = rin2obn::GpsSecondsFromCalendar(2022, 1, 1, 0, 0, 0.0);
  const struct {
    const char* records;
    double gps;
  } cases[] = {
      {"", written},
      {"  2022     1     1     0     0    0.0000000     GAL         TIME OF FIRST OBS\n", written},
      {"  2022     1     1     0     0    0.0000000     BDT         TIME OF FIRST OBS\n",
       written + 14.0},
      {"  2022     1     1     0     0    0.0000000     GLO         TIME OF FIRST OBS\n"
       "    18                                                      LEAP SECONDS\n",
       written - 3 * 3600.0 + 18.0},
  };
  for (const auto& c : cases) {
    std::string text = Obs3HeaderText({{'G', {"C1C"}}});
    text.insert(text.find(Header("", "END OF HEADER")), c.records);
    text += Epoch3Line(0, 0.0, 0, 1) + Satellite3Line("G01", {{1.0, ' ', ' '}});
    TextLineSource source(text);
    ObsReader reader(source);
    ASSERT_TRUE(reader.ReadHeader()) << reader.error();
    ObsEpoch epoch;
    ASSERT_EQ(reader.NextEpoch(epoch), ObsReader::kEpoch);
    EXPECT_DOUBLE_EQ(epoch.gpsSeconds, c.gps) << c.records;
    EXPECT_EQ(epoch.hour, 0);
  }
}

TEST(RinexObsReader, RinexFourObservationsOfARealFileRead) {
  ASSERT_TRUE(stanvex::testing::HaveSharedData());
  TextLineSource source(stanvex::testing::ReadFile(
      stanvex::testing::SharedData("rinex3/KMS300DNK_R_20221591000_01H_30S_MO.rnx")));
  ObsReader reader(source);
  ASSERT_TRUE(reader.ReadHeader()) << reader.error();
  EXPECT_DOUBLE_EQ(reader.header().version, 4.0);
  EXPECT_EQ(reader.header().TypesOf('G').size(), 11u);
  EXPECT_EQ(reader.header().TypesOf('C').size(), 12u);
  ObsEpoch epoch;
  int epochs = 0;
  int satellites = 0;
  while (reader.NextEpoch(epoch) == ObsReader::kEpoch) {
    if (++epochs == 1) satellites = epoch.SatelliteCount();
  }
  EXPECT_EQ(epochs, 19);  // the file holds the first 19 epochs of its hour
  EXPECT_EQ(satellites, 49);
  EXPECT_EQ(reader.skippedLines(), 0);
}

TEST(RinexObsReader, RejectsVersionsBeyondFour) {
  TextLineSource source(Header("     5.00           OBSERVATION DATA    M", "RINEX VERSION / TYPE") +
                        Header("G    1 C1C", "SYS / # / OBS TYPES") + Header("", "END OF HEADER"));
  ObsReader reader(source);
  EXPECT_FALSE(reader.ReadHeader());
  EXPECT_NE(reader.error().find("unsupported RINEX version 5.00"), std::string::npos);
}

}  // namespace
