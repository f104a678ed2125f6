#include <gtest/gtest.h>

#include <string>

#include "obsfiles/nvb_file.h"
#include "test_support.h"

namespace stanvex {
namespace {

using testing::ScratchDir;
using testing::WriteFile;

// The number of ephemerides read (ReadNvbTagged or ReadNvbPlain) puts into
// table from path, -1 when it fails.
int Count(Result (*read)(const char*, EphemerisTime*, int*), const char* path,
          EphemerisTime* table) {
  int count = 0;
  return read(path, table, &count).ok ? count : -1;
}

std::string GpsEphBlock(const std::string& el1, const std::string& el5) {
  return "GpsEph {\n  Prn: 5\n  El1: " + el1 + "\n  El2: 1 2 3 4\n  El5: " + el5 + "\n}\n";
}

TEST(NvbTagged, ReadsWeekAndTimeOfEveryGpsEphBlock) {
  ScratchDir dir;
  const std::string path = dir.File("t.nvb");
  WriteFile(path, "$EPHREC 1\n" + GpsEphBlock("2138 1 2 3 4", "7200 0.5 0.6 0.7") +
                      "Other {\n  El1: 9 9 9 9 9\n  El5: 1 1 1 1\n}\n" +
                      GpsEphBlock("2138 1 2 3 4", "14400 0 0 0") +
                      // El1 with four values gives no week: the block is not accepted.
                      GpsEphBlock("2138 1 2 3", "21600 0 0 0") +
                      // week 10000 and seconds 604801 are out of range.
                      GpsEphBlock("10000 1 2 3 4", "100 0 0 0") +
                      GpsEphBlock("2000 1 2 3 4", "604801 0 0 0") +
                      // Keys compare without regard to case; the last matching entry wins.
                      "gpseph {\n  el1: 1 1 1 1 1\n  EL1: 2001 1 1 1 1\n  el5: 604800 0 0 0\n}\n");
  EphemerisTime table[kEphemerisTableSize];
  ASSERT_EQ(Count(ReadNvbTagged, path.c_str(), table), 3);
  EXPECT_EQ(table[0].week, 2138);  // weeks after the 2019 rollover are kept
  EXPECT_EQ(table[0].seconds, 7200);
  EXPECT_EQ(table[1].seconds, 14400);
  EXPECT_EQ(table[2].week, 2001);
  EXPECT_EQ(table[2].seconds, 604800);
}

TEST(NvbTagged, FortyBlocksFillThirtyTwoEntries) {
  ScratchDir dir;
  const std::string path = dir.File("t.nvb");
  std::string text = "$EPHREC\n";
  for (int i = 0; i < 40; ++i)
    text += GpsEphBlock("2138 0 0 0 0", std::to_string(i * 100) + " 0 0 0");
  WriteFile(path, text);
  EphemerisTime table[kEphemerisTableSize + 1];
  table[kEphemerisTableSize].week = -7;  // guard after the table
  ASSERT_EQ(Count(ReadNvbTagged, path.c_str(), table), 32);
  EXPECT_EQ(table[31].seconds, 3100);
  EXPECT_EQ(table[kEphemerisTableSize].week, -7);
}

TEST(NvbTagged, JoinedFileSkipsLaterHeaderLines) {
  ScratchDir dir;
  const std::string path = dir.File("j.nvb");
  WriteFile(path, "$EPHREC\r\n" + GpsEphBlock("2138 0 0 0 0", "86400 0 0 0") + "$EPHREC\r\n" +
                      GpsEphBlock("2138 0 0 0 0", "172800 0 0 0"));
  EphemerisTime table[kEphemerisTableSize];
  ASSERT_EQ(Count(ReadNvbTagged, path.c_str(), table), 2);
  EXPECT_EQ(table[1].seconds, 172800);
}

TEST(NvbTagged, OtherFirstLineOrMissingFileIsNotTagged) {
  ScratchDir dir;
  const std::string path = dir.File("p.nvb");
  WriteFile(path, " $EPHREC\n" + GpsEphBlock("2138 0 0 0 0", "1 0 0 0"));
  EphemerisTime table[kEphemerisTableSize];
  EXPECT_EQ(Count(ReadNvbTagged, path.c_str(), table), -1);
  EXPECT_EQ(Count(ReadNvbTagged, dir.File("none.nvb").c_str(), table), -1);
  WriteFile(path, "");
  EXPECT_EQ(Count(ReadNvbTagged, path.c_str(), table), -1);
}

TEST(NvbPlain, ReadsSixLineGroupsAndStopsAtAnIncompleteOne) {
  ScratchDir dir;
  const std::string path = dir.File("p.nvb");
  std::string text;
  text += "5 2138 x\nl2\nl3\nl4\n7200 rest\nl6\n";
  text += "7 -1\nl2\nl3\nl4\n7200\nl6\n";  // week out of range: skipped
  // A line longer than the read buffer still counts as one line.
  text += "9 1100\n" + std::string(450, 'x') + "\nl3\nl4\n600\nl6\n";
  text += "9 2138\nl2\nl3\n";  // cut group
  WriteFile(path, text);
  EphemerisTime table[kEphemerisTableSize];
  ASSERT_EQ(Count(ReadNvbPlain, path.c_str(), table), 2);
  EXPECT_EQ(table[0].week, 2138);
  EXPECT_EQ(table[0].seconds, 7200);
  EXPECT_EQ(table[1].week, 1100);
  EXPECT_EQ(table[1].seconds, 600);
  EXPECT_EQ(Count(ReadNvbPlain, dir.File("none.nvb").c_str(), table), -1);
}

TEST(NvbReference, PrefersTheMiddleThenItsNeighboursWithNonZeroSeconds) {
  const EphemerisTime a[] = {{1, 0}, {2, 0}, {3, 30}, {4, 0}};
  EXPECT_EQ(PickReferenceEphemeris(4, a), &a[2]);
  const EphemerisTime b[] = {{1, 60}, {2, 0}, {3, 0}, {4, 0}};
  EXPECT_EQ(PickReferenceEphemeris(4, b), &b[0]);
  const EphemerisTime c[] = {{1, 0}, {2, 0}, {3, 0}, {4, 5}, {5, 7}};
  EXPECT_EQ(PickReferenceEphemeris(5, c), &c[3]);  // after the middle before before it
  const EphemerisTime zeros[] = {{1, 0}, {2, 0}, {3, 0}};
  EXPECT_EQ(PickReferenceEphemeris(3, zeros), &zeros[1]);
  EXPECT_EQ(PickReferenceEphemeris(0, zeros), nullptr);
}

TEST(NvbReference, FromEitherFormOrNone) {
  ScratchDir dir;
  const std::string tagged = dir.File("t.nvb");
  WriteFile(tagged, "$EPHREC\n" + GpsEphBlock("100 0 0 0 0", "345600 0 0 0"));
  int32_t week = -1;
  double seconds = -1;
  ASSERT_TRUE(GetNvbReference(tagged.c_str(), &week, &seconds).ok);
  EXPECT_EQ(week, 100);
  EXPECT_EQ(seconds, 345600.0);

  const std::string plain = dir.File("p.nvb");
  WriteFile(plain, "1 2138\na\nb\nc\n1800\nd\n");
  ASSERT_TRUE(GetNvbReference(plain.c_str(), &week, &seconds).ok);
  EXPECT_EQ(week, 2138);
  EXPECT_EQ(seconds, 1800.0);

  WriteFile(plain, "");
  week = 77;
  EXPECT_FALSE(GetNvbReference(plain.c_str(), &week, &seconds).ok);
  EXPECT_EQ(week, 77);
  EXPECT_FALSE(GetNvbReference(dir.File("missing.nvb").c_str(), &week, &seconds).ok);
}

}  // namespace
}  // namespace stanvex
