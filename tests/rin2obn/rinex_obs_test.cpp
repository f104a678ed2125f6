#include "rinex_obs.h"

#include <gtest/gtest.h>

#include "rinex_text.h"

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

}  // namespace
