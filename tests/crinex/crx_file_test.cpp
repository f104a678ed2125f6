// The decoding as a whole: opening files, the header, the record loop, event
// epochs, line reading and write failures.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "base/last_error.h"
#include "crinex/crx2rnx.h"
#include "crx_test_files.h"
#include "test_support.h"

namespace stanvex::testing {
namespace {

const char kTruncated[] = "Error in compressed rinex file:  The file is trancated in the middle";
const char kInvalidLine[] = "Error in compressed rinex file:  Invalid line in file";

// One initialization epoch of one satellite with one type, and its decoding.
const std::string kOneEpoch = EpochLine({"G01"}, 0, '&') + "\n\n3&1234567\n";
const std::string kOneEpochRinex = EpochLine({"G01"}) + "\n" + Fields({"1234.567"});

TEST(CrxFile, RefusesWhatIsNotCompactRinexVersion1) {
  std::string header = CompactHeader(1);
  std::string rest = header.substr(header.find('\n') + 1);
  const std::string firstLines[] = {
      "",  // empty file
      Labelled("2.0                 COMPACT RINEX FORMAT", "CRINEX VERS   / TYPE") + "\n",
      // the label five columns early
      "1.0                 COMPACT RINEX FORMAT               CRINEX VERS   / TYPE\n",
      "1.0                 COMPACT RINEX FORMAT\n",
  };
  for (const std::string& first : firstLines) {
    Decoded decoded = Decode(first.empty() ? first : first + rest);
    EXPECT_EQ(decoded.result, -1) << first;
    EXPECT_EQ(decoded.error, kNotCompact) << first;
  }
}

TEST(CrxFile, MissingSecondLineIsReportedAsTruncated) {
  Decoded decoded =
      Decode(Labelled("1.0                 COMPACT RINEX FORMAT", "CRINEX VERS   / TYPE") + "\n");
  EXPECT_EQ(decoded.result, -1);
  EXPECT_EQ(decoded.error,
            "ERROR : The compressed rinex file seems to be trancated in the middle");
}

TEST(CrxFile, HeaderIsCopiedTrimmedWithoutTheCompactLines) {
  std::string header = CompactHeader(1);
  std::string withBlanks = Labelled("YORK", "MARKER NAME") + "    \n";
  size_t end = header.find(Labelled("", "END OF HEADER"));
  header.insert(end, withBlanks);
  Decoded decoded = Decode(header);
  ASSERT_EQ(decoded.result, 0) << decoded.error;
  std::string expected = RinexHeader(1);
  expected.insert(expected.find(Labelled("", "END OF HEADER")),
                  Labelled("YORK", "MARKER NAME") + "\n");
  EXPECT_EQ(decoded.output, expected);
}

TEST(CrxFile, HeaderLineMayHold254CharactersButNot255) {
  std::string header = CompactHeader(1);
  size_t end = header.find(Labelled("", "END OF HEADER"));
  std::string longest = Labelled("", "COMMENT");
  longest += std::string(254 - longest.size(), 'x');
  std::string accepted = header;
  accepted.insert(end, longest + "\n");
  Decoded decoded = Decode(accepted);
  EXPECT_EQ(decoded.result, 0) << decoded.error;
  EXPECT_NE(decoded.output.find(longest + "\n"), std::string::npos);

  std::string refused = header;
  refused.insert(end, longest + "y\n");
  decoded = Decode(refused);
  EXPECT_EQ(decoded.result, -1);
  EXPECT_EQ(decoded.error, kInvalidLine);
  // A carriage return before the line feed is not part of the line.
  std::string crlf = header;
  crlf.insert(end, longest + "\r\n");
  EXPECT_EQ(Decode(crlf).result, 0);
}

TEST(CrxFile, InputEndingInsideTheHeaderOrALineIsTruncated) {
  std::string header = CompactHeader(1);
  std::string noEnd = header.substr(0, header.find(Labelled("", "END OF HEADER")));
  Decoded decoded = Decode(noEnd);
  EXPECT_EQ(decoded.result, -1);
  EXPECT_EQ(decoded.error, kTruncated);

  // A last line without line feed is cut short, unless it already runs past
  // what a line may hold.
  decoded = Decode(noEnd + std::string(255, 'x'));
  EXPECT_EQ(decoded.error, kTruncated);
  decoded = Decode(noEnd + std::string(256, 'x'));
  EXPECT_EQ(decoded.error, kInvalidLine);

  // The last line of an epoch lacks its line feed.
  decoded = Decode(header + kOneEpoch.substr(0, kOneEpoch.size() - 1));
  EXPECT_EQ(decoded.result, -1);
  EXPECT_EQ(decoded.error, kTruncated);
  EXPECT_EQ(Body(decoded, 1), "");
}

TEST(CrxFile, InputEndingBetweenRecordsIsSuccess) {
  Decoded headerOnly = Decode(CompactHeader(1));
  EXPECT_EQ(headerOnly.result, 0) << headerOnly.error;
  EXPECT_EQ(headerOnly.output, RinexHeader(1));

  Decoded oneEpoch = Decode(CompactHeader(1) + kOneEpoch);
  EXPECT_EQ(oneEpoch.result, 0) << oneEpoch.error;
  EXPECT_EQ(Body(oneEpoch, 1), kOneEpochRinex);

  // The end-of-file mark ends the decoding whatever follows it.
  Decoded marked = Decode(CompactHeader(1) + kOneEpoch + "\x1a\ngarbage\n");
  EXPECT_EQ(marked.result, 0) << marked.error;
  EXPECT_EQ(Body(marked, 1), kOneEpochRinex);
}

TEST(CrxFile, CrLfInputDecodesLikeLfInput) {
  // The second epoch is 30 s later: only column 17 of its line differs.
  std::string compact = CompactHeader(1) + kOneEpoch + std::string(16, ' ') + "3\n\n1000\n";
  std::string crlf;
  for (char c : compact) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  Decoded lf = Decode(compact);
  ASSERT_EQ(lf.result, 0) << lf.error;
  EXPECT_EQ(Body(lf, 1), kOneEpochRinex + EpochLine({"G01"}, 0, ' ', 30) + "\n" + Fields({"1235.567"}));
  Decoded withCr = Decode(crlf);
  EXPECT_EQ(withCr.result, 0) << withCr.error;
  EXPECT_EQ(withCr.output, lf.output);
}

TEST(CrxFile, EventEpochIsCopiedWithItsRecordsAndMayChangeTheTypes) {
  std::string event = EpochLine({}, 4, '&').substr(0, 29) + "  3";
  std::string compact = CompactHeader(1) + kOneEpoch + event + "   \n" +
                        Labelled("A NEW COMMENT", "COMMENT") + "  \n" +
                        Labelled("     2    L1    L2", "# / TYPES OF OBSERV") + "\n" +
                        Labelled("", "COMMENT") + "\n" +
                        EpochLine({"G02"}, 0, '&') + "\n\n0&5 0&-500\n";
  Decoded decoded = Decode(compact);
  ASSERT_EQ(decoded.result, 0) << decoded.error;
  EXPECT_EQ(Body(decoded, 1),
            kOneEpochRinex + " " + event.substr(1) + "   \n" +
                Labelled("A NEW COMMENT", "COMMENT") + "\n" +
                Labelled("     2    L1    L2", "# / TYPES OF OBSERV") + "\n" +
                Labelled("", "COMMENT") + "\n" + EpochLine({"G02"}) + "\n" +
                Fields({".005", "-.500"}));

  // Ending right after the records is a success; anything but an
  // initialization epoch after them is not.
  std::string records = event + "\n" + Labelled("", "COMMENT") + "\n" +
                        Labelled("", "COMMENT") + "\n" + Labelled("", "COMMENT") + "\n";
  Decoded ended = Decode(CompactHeader(1) + kOneEpoch + records);
  EXPECT_EQ(ended.result, 0) << ended.error;
  // An event line shorter than 30 characters announces no records.
  Decoded bare = Decode(CompactHeader(1) + "&21  1  1  0  0  0.0000000  2\n" + kOneEpoch);
  EXPECT_EQ(bare.result, 0) << bare.error;
  EXPECT_EQ(Body(bare, 1), " 21  1  1  0  0  0.0000000  2\n" + kOneEpochRinex);
  Decoded bad = Decode(CompactHeader(1) + kOneEpoch + records + EpochLine({"G01"}) + "\n");
  EXPECT_EQ(bad.result, -1);
  EXPECT_EQ(bad.error, "Error in reading compressed rinex file");
  // A record missing from the end of the file.
  Decoded cut = Decode(CompactHeader(1) + kOneEpoch + event + "\n" + Labelled("", "COMMENT") +
                       "\n");
  EXPECT_EQ(cut.result, -1);
  EXPECT_EQ(cut.error, kTruncated);
}

TEST(CrxFile, TypeListsOfMoreThanNineTypesKeepTheirCount) {
  // The second "# / TYPES OF OBSERV" line has a blank count field.
  std::string compact = CompactHeader(11) + EpochLine({"G01"}, 0, '&') + "\n\n" +
                        "0&1 0&2 0&3 0&4 0&5 0&6 0&7 0&8 0&9 0&10 0&11\n";
  Decoded decoded = Decode(compact);
  ASSERT_EQ(decoded.result, 0) << decoded.error;
  EXPECT_EQ(Body(decoded, 11),
            EpochLine({"G01"}) + "\n" +
                Fields({".001", ".002", ".003", ".004", ".005", ".006", ".007", ".008", ".009",
                        ".010", ".011"}));

  Decoded tooMany = Decode(CompactHeader(65));
  EXPECT_EQ(tooMany.result, -1);
  EXPECT_EQ(tooMany.error,
            "ERROR in compressed rinex file: exceed maximum number of observation types");
}

TEST(CrxFile, FilesThatCannotBeOpenedAreNamed) {
  ScratchDir dir;
  std::string missing = dir.File("missing.21d");
  Result failed = Crx2Rnx(missing.c_str(), dir.File("out.21o").c_str());
  EXPECT_FALSE(failed.ok);
  EXPECT_EQ(std::string(failed.message), "Error unable to open compressed rinex file " + missing);
  EXPECT_FALSE(Exists(dir.File("out.21o")));

  WriteFile(dir.File("in.21d"), CompactHeader(1));
  std::string unwritable = dir.File("no/such/dir/out.21o");
  failed = Crx2Rnx(dir.File("in.21d").c_str(), unwritable.c_str());
  EXPECT_FALSE(failed.ok);
  EXPECT_EQ(std::string(failed.message),
            "Error unable to open output for crx2rnx conversion. Output file : " + unwritable);

  // The input named as the output stays as it was.
  std::string input = dir.File("in.21d");
  failed = Crx2Rnx(input.c_str(), input.c_str());
  EXPECT_FALSE(failed.ok);
  EXPECT_EQ(std::string(failed.message),
            "Error unable to open output for crx2rnx conversion. Output file : " + input);
  EXPECT_EQ(ReadFile(input), CompactHeader(1));
}

TEST(CrxFile, FullDiskIsAFailureEvenWhenOnlyTheLastFlushFails) {
  if (!Exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  ScratchDir dir;
  // Small enough to sit in the output buffer until the file is closed.
  WriteFile(dir.File("small.21d"), CompactHeader(1) + kOneEpoch);
  Result failed = Crx2Rnx(dir.File("small.21d").c_str(), "/dev/full");
  EXPECT_FALSE(failed.ok);
  EXPECT_EQ(std::string(failed.message), "Error writing to disk.  Disk may be full");
  failed = Crx2Rnx(SharedData("crinex/york0440.15d").c_str(), "/dev/full");
  EXPECT_FALSE(failed.ok);
  EXPECT_EQ(std::string(failed.message), "Error writing to disk.  Disk may be full");
}

}  // namespace
}  // namespace stanvex::testing
