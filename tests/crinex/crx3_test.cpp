// Compact RINEX 3.0 into RINEX 3: per-system types, one record line per
// satellite, the F15.12 clock offset, flags kept beside blank values, event
// records, escape lines and lines longer than compact RINEX 1.0 allows.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "crx_test_files.h"

namespace stanvex::testing {
namespace {


// The text difference that turns before into after: unchanged characters are
// blanks, characters that become blanks are "&".
std::string Difference(const std::string& before, const std::string& after) {
  std::string difference;
  for (size_t i = 0; i < after.size(); ++i) {
    if (i < before.size() && before[i] == after[i])
      difference += ' ';
    else
      difference += after[i] == ' ' ? '&' : after[i];
  }
  for (size_t i = after.size(); i < before.size(); ++i) difference += '&';
  return difference;
}

// The epoch line as written: its first 41 columns without trailing blanks.
std::string Written(const std::string& epochLine) {
  std::string head = epochLine.substr(0, 41);
  return head.erase(head.find_last_not_of(' ') + 1) + "\n";
}

TEST(Crx3, RecordsFollowTheTypesOfEachSatellitesSystem) {
  // 15 GPS types take a continuation line in the header.
  const std::string types = SystemTypes('G', 15) + SystemTypes('R', 2);
  const std::string epoch = Epoch3Line({"G01", "R01"});
  std::string compact = CompactHeader3(types) + epoch + "\n\n";
  for (int i = 1; i <= 15; ++i) compact += (i > 1 ? " 0&" : "0&") + std::to_string(i);
  compact += "\n0&-500 3&123456789\n";
  Decoded decoded = Decode(compact);
  ASSERT_EQ(decoded.result, 0) << decoded.error;
  std::vector<std::string> gps;
  for (int i = 1; i <= 15; ++i)
    gps.push_back((i < 10 ? ".00" : ".0") + std::to_string(i));
  EXPECT_EQ(decoded.output, RinexHeader3(types) + Written(epoch) + Record3("G01", gps) +
                                Record3("R01", {"-.500", "123456.789"}));

  // Only versions 1.0 and 3.0 are compact RINEX.
  std::string other = compact;
  other.replace(0, 3, "3.1");
  EXPECT_EQ(Decode(other).error, kNotCompact);

  // A satellite of a system the header gives no types is refused.
  Decoded unknown = Decode(CompactHeader3(types) + Epoch3Line({"E01"}) + "\n\n0&1\n");
  EXPECT_EQ(unknown.result, -1);
  EXPECT_EQ(unknown.error,
            "ERROR in compressed rinex file: no observation types for the satellite system of E01");
}

TEST(Crx3, ClockOffsetTakesTwelveDecimalsInColumns42To56) {
  const std::string types = SystemTypes('G', 1);
  // Clock lines of successive epochs and the field each prints.
  const std::vector<std::pair<std::string, std::string>> clocks = {
      {"0&123456789012", "  .123456789012"},    // 0.123456789012 s, no leading zero
      {"0&-5", " -.000000000005"},
      {"0&-1234567890123", "-1.234567890123"},
      {"0&12345678901234", "12.345678901234"},
      {"1&1000000000000", " 1.000000000000"},  // an arc of order 1 ...
      {"-1", "  .999999999999"},               // ... borrows across the lower digits
      {"", ""},                                // no clock offset in this epoch
  };
  std::string compact = CompactHeader3(types);
  std::string expected;
  std::string previous;
  for (size_t i = 0; i < clocks.size(); ++i) {
    std::string epoch = Epoch3Line({"G01"}, 0, static_cast<int>(i));
    compact += (i == 0 ? epoch : Difference(previous, epoch)) + "\n" + clocks[i].first + "\n" +
               "0&" + std::to_string(i + 1) + "\n";
    expected += clocks[i].second.empty() ? Written(epoch)
                                         : epoch.substr(0, 41) + clocks[i].second + "\n";
    expected += Record3("G01", {".00" + std::to_string(i + 1)});
    previous = epoch;
  }
  Decoded decoded = Decode(compact);
  ASSERT_EQ(decoded.result, 0) << decoded.error;
  EXPECT_EQ(BodyAfterHeader(decoded), expected);

  // 100 s doesn't fit F15.12.
  Decoded tooLarge =
      Decode(CompactHeader3(types) + Epoch3Line({"G01"}) + "\n0&100000000000000\n0&1\n");
  EXPECT_EQ(tooLarge.result, -1);
  EXPECT_EQ(tooLarge.error, "ERROR in compressed rinex file: value out of range");
  EXPECT_EQ(BodyAfterHeader(tooLarge), "");
}

TEST(Crx3, FlagsAreKeptAndPrintedBesideABlankValue) {
  const std::string types = SystemTypes('G', 2);
  const std::string epoch = Epoch3Line({"G01"});
  // Epoch 1: LLI 1 on the first type, 5 on the second. Epoch 2: the first
  // value is blank, its flag stays. Epoch 3: the first value is back and its
  // flag is cleared by the flag text "&".
  std::string compact = CompactHeader3(types) + epoch + "\n\n0&1000 0&2000 1&5\n" + "\n\n" +
                        " 0&3000\n" + "\n\n" + "0&1500 0&3001 &\n";
  Decoded decoded = Decode(compact);
  ASSERT_EQ(decoded.result, 0) << decoded.error;
  EXPECT_EQ(BodyAfterHeader(decoded),
            Written(epoch) + Record3("G01", {"1.000", "2.000"}, "1 5 ") + Written(epoch) +
                "G01" + std::string(14, ' ') + "1 " + "         3.0005\n" + Written(epoch) +
                Record3("G01", {"1.500", "3.001"}, "  5 "));
}

TEST(Crx3, EventRecordsAreCopiedAndMayChangeTheTypes) {
  const std::string first = Epoch3Line({"G01"});
  const std::string later = Epoch3Line({"G01"}, 0, 30);
  // The event line keeps its trailing blanks; its records are trimmed. The
  // epoch after it is a difference against the last epoch before it.
  const std::string event = "> 2022 01 01  0  0 30.0000000  3  2  ";
  const std::string records = Labelled("TWO TYPES FROM NOW ON", "COMMENT") + "   \n" +
                              SystemTypes('G', 2);
  std::string compact = CompactHeader3(SystemTypes('G', 1)) + first + "\n\n0&1\n" + event +
                        "\n" + records + Difference(first, later) + "\n\n5 0&2\n";
  Decoded decoded = Decode(compact);
  ASSERT_EQ(decoded.result, 0) << decoded.error;
  EXPECT_EQ(BodyAfterHeader(decoded),
            Written(first) + Record3("G01", {".001"}) + event + "\n" +
                Labelled("TWO TYPES FROM NOW ON", "COMMENT") + "\n" + SystemTypes('G', 2) +
                Written(later) + Record3("G01", {".005", ".002"}));

  // A type the event added has no arc to continue in the next epoch, and no
  // flags from before.
  Decoded uncontinued = Decode(CompactHeader3(SystemTypes('G', 1)) + first + "\n\n0&1 7\n" +
                               event + "\n" + records + Difference(first, later) + "\n\n5 2\n");
  EXPECT_EQ(uncontinued.result, -1);
  EXPECT_EQ(uncontinued.error,
            "ERROR in compressed rinex file: The data feild in previous epoch is blank, but the "
            "arc is not initialized");
  Decoded flagged = Decode(CompactHeader3(SystemTypes('G', 1)) + first + "\n\n0&1 7\n" + event +
                           "\n" + records + Difference(first, later) + "\n\n5 0&2 \n");
  ASSERT_EQ(flagged.result, 0) << flagged.error;
  EXPECT_NE(flagged.output.find(Record3("G01", {".005", ".002"}, "7   ")), std::string::npos)
      << flagged.output;

  // A file ending inside the records is cut short.
  Decoded cut = Decode(CompactHeader3(SystemTypes('G', 1)) + first + "\n\n0&1\n" + event + "\n" +
                       Labelled("", "COMMENT") + "\n");
  EXPECT_EQ(cut.result, -1);
  EXPECT_EQ(cut.error, "Error in compressed rinex file:  The file is trancated in the middle");
}

TEST(Crx3, EscapeLinesAreSkippedAndInitializationEpochsRestartTheArcs) {
  const std::string types = SystemTypes('G', 1);
  const std::string epoch = Epoch3Line({"G01"});
  std::string plain = CompactHeader3(types) + epoch + "\n\n0&1\n" + "\n\n2\n";
  std::string escaped = CompactHeader3(types) + "&A LINE FOR A LATER VERSION\n" + epoch +
                        "\n\n0&1\n" + "&\n" + "\n\n2\n";
  Decoded decoded = Decode(escaped);
  ASSERT_EQ(decoded.result, 0) << decoded.error;
  EXPECT_EQ(decoded.output, Decode(plain).output);
  EXPECT_EQ(BodyAfterHeader(decoded),
            Written(epoch) + Record3("G01", {".001"}) + Written(epoch) + Record3("G01", {".002"}));

  // After a whole epoch line every satellite is new: a continued field fails.
  Decoded restarted = Decode(CompactHeader3(types) + epoch + "\n\n0&1\n" + epoch + "\n\n2\n");
  EXPECT_EQ(restarted.result, -1);
  EXPECT_EQ(restarted.error,
            "ERROR in compressed rinex file: New satellite, but data arc is not initialized");
}

TEST(Crx3, LinesLongerThanCompactRinex1AllowsCarryManySatellitesAndTypes) {
  // 100 satellites (a 341-character epoch line) and 40 GPS types (data lines
  // of 600 characters).
  std::vector<std::string> satellites;
  for (char system : {'G', 'R', 'E', 'C'})
    for (int i = 1; i <= 25; ++i)
      satellites.push_back(system + std::string(i < 10 ? "0" : "") + std::to_string(i));
  const std::string types =
      SystemTypes('G', 40) + SystemTypes('R', 1) + SystemTypes('E', 1) + SystemTypes('C', 1);
  const std::string epoch = Epoch3Line(satellites);
  std::string compact = CompactHeader3(types) + epoch + "\n\n";
  std::string gpsLine;
  for (int j = 0; j < 40; ++j) gpsLine += (j ? " " : "") + std::string("3&123456789012");
  std::string expected = Written(epoch);
  for (const std::string& satellite : satellites) {
    bool gps = satellite[0] == 'G';
    compact += (gps ? gpsLine : "0&7") + "\n";
    expected += gps ? Record3(satellite, std::vector<std::string>(40, "123456789.012"))
                    : Record3(satellite, {".007"});
  }
  Decoded decoded = Decode(compact);
  ASSERT_EQ(decoded.result, 0) << decoded.error;
  EXPECT_EQ(BodyAfterHeader(decoded), expected);

  // 129 satellites are more than the tables hold.
  std::vector<std::string> tooMany;
  for (int i = 0; i < 129; ++i) tooMany.push_back("G" + std::to_string(10 + i % 90));
  Decoded refused = Decode(CompactHeader3(types) + Epoch3Line(tooMany) + "\n\n");
  EXPECT_EQ(refused.result, -1);
  EXPECT_EQ(refused.error, "ERROR in compressed rinex file: exceed maximum number of satellites");

  // A data line may hold 2046 characters, not 2047.
  const std::string one = CompactHeader3(SystemTypes('G', 1)) + Epoch3Line({"G01"}) + "\n\n";
  std::string longest = "0&1 " + std::string(2042, '&');
  EXPECT_EQ(Decode(one + longest + "\n").result, 0);
  Decoded tooLong = Decode(one + longest + "&\n");
  EXPECT_EQ(tooLong.result, -1);
  EXPECT_EQ(tooLong.error, "Error in compressed rinex file:  Invalid line in file");
}

}  // namespace
}  // namespace stanvex::testing
