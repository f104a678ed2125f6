// Reconstruction of epochs: text differences, integer arcs, the clock offset,
// flags, satellite matching and the limits of the tables.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "crinex/crx_decoder.h"
#include "crx_test_files.h"

namespace stanvex::testing {
namespace {

const std::vector<std::string> kOne = {"G01"};

std::string Repaired(const std::string& stored, const std::string& difference) {
  char text[kCrxLineSize] = {};
  std::strncpy(text, stored.c_str(), sizeof text - 1);
  RepairText(text, sizeof text, difference.c_str());
  return text;
}

std::string Padded(const std::string& line, size_t width) {
  return line + std::string(width - line.size(), ' ');
}

// One record line of up to five values with their flag characters (two per
// value), trailing blanks removed.
std::string Flagged(const std::vector<std::string>& values, const std::string& flags) {
  std::string line;
  for (size_t i = 0; i < values.size(); ++i)
    line += std::string(14 - values[i].size(), ' ') + values[i] + flags.substr(2 * i, 2);
  line.erase(line.find_last_not_of(' ') + 1);
  return line + "\n";
}

std::vector<std::string> Satellites(int count) {
  std::vector<std::string> satellites;
  for (int i = 1; i <= count; ++i) satellites.push_back((i < 10 ? "G0" : "G") + std::to_string(i));
  return satellites;
}

TEST(CrxEpoch, RepairTextKeepsReplacesBlanksAndExtends) {
  EXPECT_EQ(Repaired("ABCDEF", "  x &"), "ABxD F");
  EXPECT_EQ(Repaired("AB", " Xy&z"), "AXy z");
  EXPECT_EQ(Repaired("", "&1 2"), " 1 2");
  EXPECT_EQ(Repaired("ABC", ""), "ABC");
  // The result never leaves the buffer it is given.
  char small[4] = "AB";
  RepairText(small, sizeof small, "  CDEFG");
  EXPECT_STREQ(small, "ABC");
}

TEST(CrxEpoch, ArcGainsOneLevelPerEpochUpToItsOrder) {
  std::string compact = CompactHeader(1) + EpochLine(kOne, 0, '&') + "\n\n3&123456789 12\n" +
                        "\n\n1000\n" + "\n\n10\n" + "\n\n-1\n";
  Decoded decoded = Decode(compact);
  ASSERT_EQ(decoded.result, 0) << decoded.error;
  std::string epoch = EpochLine(kOne) + "\n";
  // Flags follow the satellite until changed: "12" on every epoch.
  EXPECT_EQ(Body(decoded, 1), epoch + "    123456.78912\n" + epoch + "    123457.78912\n" +
                                  epoch + "    123458.79912\n" + epoch + "    123459.81812\n");
}

TEST(CrxEpoch, ValuesPrintInF14Point3WithoutLeadingZero) {
  std::string compact = CompactHeader(8) + EpochLine(kOne, 0, '&') + "\n\n" +
                        "0&-500 0&5 0&1234 0&-123456 0&-0123 1&-500 0&0 0&2147483647999\n" +
                        "\n\n-500 5 1234 -123456 -0123 1000 0 2147483647999\n";
  Decoded decoded = Decode(compact);
  ASSERT_EQ(decoded.result, 0) << decoded.error;
  std::string epoch = EpochLine(kOne) + "\n";
  EXPECT_EQ(Body(decoded, 8),
            epoch + Fields({"-.500", ".005", "1.234", "-123.456", "-.123", "-.500", ".000",
                            "2147483647.999"}) +
                epoch +
                // -500 + 1000 thousandths: the parts' signs differ before printing.
                Fields({"-.500", ".005", "1.234", "-123.456", "-.123", ".500", ".000",
                        "2147483647.999"}));
}

TEST(CrxEpoch, ValuesBeyondThe32BitPartsFailCleanly) {
  const char kOutOfRange[] = "ERROR in compressed rinex file: value out of range";
  const std::string lines[] = {
      "0&2147483648000\n",               // upper part read too large
      "1&2147483647000\n\n\n2147483647000\n",  // the sum leaves 32 bits
      "0&-1000000000000\n",              // fits the parts, not F14.3
  };
  for (const std::string& data : lines) {
    Decoded decoded = Decode(CompactHeader(1) + EpochLine(kOne, 0, '&') + "\n\n" + data);
    EXPECT_EQ(decoded.result, -1) << data;
    EXPECT_EQ(decoded.error, kOutOfRange) << data;
  }
  Decoded clock = Decode(CompactHeader(1) + EpochLine(kOne, 0, '&') + "\n0&100000000000\n0&1\n");
  EXPECT_EQ(clock.result, -1);
  EXPECT_EQ(clock.error, kOutOfRange);
}

TEST(CrxEpoch, DifferenceOrderAboveFiveIsRefused) {
  Decoded data = Decode(CompactHeader(1) + EpochLine(kOne, 0, '&') + "\n\n6&100\n");
  EXPECT_EQ(data.result, -1);
  EXPECT_EQ(data.error, "ERROR in compressed rinex file: exceed maximum order of difference");
  Decoded clock = Decode(CompactHeader(1) + EpochLine(kOne, 0, '&') + "\n6&100\n0&1\n");
  EXPECT_EQ(clock.result, -1);
  EXPECT_EQ(clock.error, "ERROR in compressed rinex file : exceed maximum order of difference");
  Decoded fifth = Decode(CompactHeader(1) + EpochLine(kOne, 0, '&') + "\n5&100\n5&100\n");
  EXPECT_EQ(fifth.result, 0) << fifth.error;
}

TEST(CrxEpoch, ThirtySatellitesTakeTwoContinuationLinesAndSeventyFiveFail) {
  std::vector<std::string> thirty = Satellites(30);
  std::string compact = CompactHeader(1) + EpochLine(thirty, 0, '&') + "\n\n";
  for (int i = 0; i < 30; ++i) compact += "0&" + std::to_string(i) + "\n";
  Decoded decoded = Decode(compact);
  ASSERT_EQ(decoded.result, 0) << decoded.error;
  std::string line = EpochLine(thirty);
  std::string expected = line.substr(0, 68) + "\n" + std::string(32, ' ') +
                         line.substr(68, 36) + "\n" + std::string(32, ' ') + line.substr(104) +
                         "\n";
  EXPECT_EQ(line.size() - 104, 18u);  // 6 identifiers on the last line
  for (int i = 0; i < 30; ++i) {
    char value[16];
    std::snprintf(value, sizeof value, ".%03d", i);
    expected += Fields({value});
  }
  EXPECT_EQ(Body(decoded, 1), expected);

  // Mixed RINEX 2.11 files carry more than 30 satellites: as many as the
  // 255-character epoch line holds are taken, 74, on six continuation lines.
  std::vector<std::string> most = Satellites(74);
  compact = CompactHeader(1) + EpochLine(most, 0, '&') + "\n\n";
  for (int i = 0; i < 74; ++i) compact += "0&" + std::to_string(i) + "\n";
  // The next epoch drops the first satellite: every other one keeps its arc.
  std::string shifted = EpochLine(Satellites(74)).substr(35);  // G02 onward
  compact += std::string(30, ' ') + "73" + shifted + "&&&\n\n";
  for (int i = 1; i < 74; ++i) compact += "0&" + std::to_string(i + 1000) + "\n";
  decoded = Decode(compact);
  ASSERT_EQ(decoded.result, 0) << decoded.error;
  line = EpochLine(most);
  ASSERT_EQ(line.size(), 254u);
  expected = line.substr(0, 68) + "\n";
  for (size_t from = 68; from < line.size(); from += 36)
    expected += std::string(32, ' ') + line.substr(from, 36) + "\n";
  EXPECT_EQ(std::count(expected.begin(), expected.end(), '\n'), 7);
  std::string body = Body(decoded, 1);
  EXPECT_EQ(body.compare(0, expected.size(), expected), 0) << body.substr(0, expected.size());
  EXPECT_NE(body.find("\n         1.073\n"), std::string::npos);  // G74 in the second epoch

  Decoded tooMany = Decode(CompactHeader(1) + EpochLine(Satellites(75), 0, '&') + "\n\n");
  EXPECT_EQ(tooMany.result, -1);
  EXPECT_EQ(tooMany.error, "ERROR in compressed rinex file: exceed maximum number of satellites");
}

TEST(CrxEpoch, ClockOffsetFillsColumns69To80) {
  std::string compact = CompactHeader(1) + EpochLine(kOne, 0, '&') + "\n0&500000000\n0&1\n" +
                        "\n-5\n1\n" +                     // arc of order 0: a new value
                        "\n\n1\n" +                       // no clock offset
                        "\n2&1234567890\n1\n" + "\n1000\n1\n" + "\n-1\n1\n";
  Decoded decoded = Decode(compact);
  ASSERT_EQ(decoded.result, 0) << decoded.error;
  std::string line = Padded(EpochLine(kOne), 68);
  std::string record = Fields({".001"});
  EXPECT_EQ(Body(decoded, 1), line + "  .500000000\n" + record + line + " -.000000005\n" + record +
                                  EpochLine(kOne) + "\n" + record + line + " 1.234567890\n" +
                                  record + line + " 1.234568890\n" + record + line +
                                  " 1.234569889\n" + record);
}

TEST(CrxEpoch, ClockDifferenceWithoutAnArcIsRefused) {
  Decoded decoded = Decode(CompactHeader(1) + EpochLine(kOne, 0, '&') + "\n12\n0&1\n");
  EXPECT_EQ(decoded.result, -1);
  EXPECT_EQ(decoded.error, "ERROR in compressed rinex file: The clock offset arc is not initialized");
}

TEST(CrxEpoch, RecordLinesHoldFiveFieldsWithoutTrailingBlanks) {
  std::string compact = CompactHeader(7) + EpochLine(kOne, 0, '&') + "\n\n" +
                        "0&1 0&2 0&3 0&4  0&6\n";
  Decoded decoded = Decode(compact);
  ASSERT_EQ(decoded.result, 0) << decoded.error;
  // The fifth and seventh fields are blank: the lines end at the last value.
  EXPECT_EQ(Body(decoded, 7), EpochLine(kOne) + "\n" +
                                  Fields({".001", ".002", ".003", ".004", ""}) + Fields({".006", ""}));
  EXPECT_EQ(Fields({".001", ".002", ".003", ".004", ""}).back(), '\n');
  EXPECT_EQ(Fields({".001", ".002", ".003", ".004", ""}).size(), 4 * 16 - 2 + 1);
}

TEST(CrxEpoch, ContinuedFieldNeedsAnInitializedArc) {
  const std::string second = EpochLine({"G01", "G02"});
  Decoded newSatellite =
      Decode(CompactHeader(1) + EpochLine(kOne, 0, '&') + "\n\n0&1\n" + second + "\n\n1\n1\n");
  EXPECT_EQ(newSatellite.result, -1);
  EXPECT_EQ(newSatellite.error,
            "ERROR in compressed rinex file: New satellite, but data arc is not initialized");
  // Nothing of the failed epoch reaches the output.
  EXPECT_EQ(Body(newSatellite, 1), EpochLine(kOne) + "\n" + Fields({".001"}));

  Decoded afterBlank = Decode(CompactHeader(2) + EpochLine(kOne, 0, '&') + "\n\n0&1\n" +
                              "\n\n1 1\n");
  EXPECT_EQ(afterBlank.result, -1);
  EXPECT_EQ(afterBlank.error,
            "ERROR in compressed rinex file: The data feild in previous epoch is blank, but the "
            "arc is not initialized");
}

TEST(CrxEpoch, SatellitesKeepTheirArcsWhenTheirOrderChanges) {
  std::string compact = CompactHeader(1) + EpochLine({"G01", "G02"}, 0, '&') + "\n\n" +
                        "1&1000  5\n1&2000  6\n" +
                        // G03 is new, G02 and G01 swap places.
                        std::string(31, ' ') + "3G03G02G01\n\n0&7\n10\n100\n";
  Decoded decoded = Decode(compact);
  ASSERT_EQ(decoded.result, 0) << decoded.error;
  EXPECT_EQ(Body(decoded, 1), EpochLine({"G01", "G02"}) + "\n" + "         1.000 5\n" +
                                  "         2.000 6\n" + EpochLine({"G03", "G02", "G01"}) +
                                  "\n" + Fields({".007"}) + "         2.010 6\n" +
                                  "         1.100 5\n");
}

TEST(CrxEpoch, FlagSlotsFollowTheirTextDifferences) {
  std::string compact = CompactHeader(3) + EpochLine(kOne, 0, '&') + "\n\n" +
                        "0&1 0&2 0&3 1 5\n" + "\n\n1 2 3   6\n" +
                        // '&' clears a flag; a blank third field clears its slot.
                        "\n\n1 2  &\n" + "\n\n1 2 0&3\n" +
                        // Flag text beyond two characters per type is dropped.
                        "\n\n1 2 3 abcdefghijk\n";
  Decoded decoded = Decode(compact);
  ASSERT_EQ(decoded.result, 0) << decoded.error;
  std::string epoch = EpochLine(kOne) + "\n";
  const std::vector<std::string> values = {".001", ".002", ".003"};
  EXPECT_EQ(Body(decoded, 3), epoch + Flagged(values, "1 5   ") + epoch +
                                  Flagged(values, "1 6   ") + epoch +
                                  Flagged({".001", ".002", ""}, "  6   ") + epoch +
                                  Flagged(values, "  6   ") + epoch + Flagged(values, "abcdef"));
}

TEST(CrxEpoch, InitializationEpochMakesEverySatelliteNew) {
  std::string compact = CompactHeader(1) + EpochLine(kOne, 0, '&') + "\n\n0&1\n" +
                        EpochLine(kOne, 1, '&', 30) + "\n\n5\n";
  Decoded decoded = Decode(compact);
  EXPECT_EQ(decoded.result, -1);
  EXPECT_EQ(decoded.error,
            "ERROR in compressed rinex file: New satellite, but data arc is not initialized");
}

TEST(CrxEpoch, SplitNumberKeepsTheSignOfTheWholeNumber) {
  struct Case {
    const char* text;
    int digits;
    int32_t upper, lower;
  } cases[] = {
      {"123456789", 3, 123456, 789}, {"-123456789", 3, 123456 * -1, -789},
      {"-500", 3, 0, -500},          {"-0500", 3, 0, -500},
      {"1234567890", 8, 12, 34567890}, {"-5", 8, 0, -5},
      {"", 3, 0, 0},
  };
  for (const Case& c : cases) {
    int32_t upper = 99, lower = 99;
    ASSERT_TRUE(SplitNumber(c.text, std::strlen(c.text), c.digits, &upper, &lower).ok) << c.text;
    EXPECT_EQ(upper, c.upper) << c.text;
    EXPECT_EQ(lower, c.lower) << c.text;
  }
}

}  // namespace
}  // namespace stanvex::testing
