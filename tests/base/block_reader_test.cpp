#include "base/block_reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "test_support.h"

namespace stanvex {
namespace {

using testing::ScratchDir;
using testing::WriteFile;

// Opens a file holding text and reads blocks from it.
class BlockFile {
 public:
  explicit BlockFile(const std::string& text) {
    path_ = dir_.File("blocks.txt");
    WriteFile(path_, text);
    file_ = std::fopen(path_.c_str(), "r");
  }
  ~BlockFile() {
    if (file_ != nullptr) std::fclose(file_);
  }
  int Read() {
    Result read = ReadBlock(file_, block.get());
    return read.ok ? 0 : read.AtEnd() ? -1 : 1;
  }
  FILE* file() { return file_; }
  std::unique_ptr<TextBlock> block{new TextBlock};

 private:
  ScratchDir dir_;
  std::string path_;
  FILE* file_ = nullptr;
};

TEST(ReadBlock, ReadsKeywordEntriesAndValues) {
  BlockFile f("junk line\nStation {\n  sName: abcd ; the name\n  lat: 34 15 22.5 S\n\n}\n");
  ASSERT_EQ(f.Read(), 0);
  EXPECT_STREQ(f.block->name, "Station");
  ASSERT_EQ(f.block->count, 2);  // the blank line adds no entry
  EXPECT_STREQ(f.block->entries[0].key, "sName:");
  EXPECT_EQ(f.block->entries[0].valueCount, 1);
  EXPECT_STREQ(f.block->entries[0].values[0], "abcd");
  EXPECT_EQ(f.block->entries[1].valueCount, 4);
  EXPECT_STREQ(f.block->entries[1].values[3], "S");
  EXPECT_EQ(f.Read(), -1);
}

TEST(ReadBlock, OpeningLineRules) {
  // No blank before the brace, nothing but blanks before it, and a brace
  // beyond the 16th character do not open blocks.
  BlockFile f(
      "Station{\n a: 1\n}\n"
      "   { b: 2\n}\n"
      "VeryLongKeyword1 {\n c: 3\n}\n"
      "Keyword123456 { d: 4\n}\n");
  ASSERT_EQ(f.Read(), 0);
  EXPECT_STREQ(f.block->name, "Keyword123456");
  ASSERT_EQ(f.block->count, 1);  // the rest of the opening line is an entry
  EXPECT_STREQ(f.block->entries[0].key, "d:");
  EXPECT_EQ(f.Read(), -1);
}

TEST(ReadBlock, ClosingLineIsDroppedWhole) {
  BlockFile f("S {\n a: 1\n b: 2 }\n");
  ASSERT_EQ(f.Read(), 0);
  ASSERT_EQ(f.block->count, 1);
  EXPECT_STREQ(f.block->entries[0].key, "a:");
}

TEST(ReadBlock, QuotedBlanksBecomeBackQuotes) {
  BlockFile f("S {\n name: \"Big Bear\" x\n}\n");
  ASSERT_EQ(f.Read(), 0);
  ASSERT_EQ(f.block->entries[0].valueCount, 2);
  EXPECT_STREQ(f.block->entries[0].values[0], "\"Big`Bear\"");
  char text[64] = {};
  EXPECT_EQ(GetBlockField("NAME:", f.block.get(), "%s", text), 1);
  EXPECT_STREQ(text, "Big`Bear");
}

TEST(ReadBlock, AtMost32EntriesAndRestReadOutsideTheBlock) {
  std::string text = "S {\n";
  for (int i = 0; i < 33; ++i) text += " k" + std::to_string(i) + ": 1\n";
  text += "}\nT {\n x: 1\n}\n";
  BlockFile f(text);
  ASSERT_EQ(f.Read(), 0);
  EXPECT_EQ(f.block->count, 32);
  ASSERT_EQ(f.Read(), 0);  // k32 and the brace are skipped outside a block
  EXPECT_STREQ(f.block->name, "T");
  EXPECT_EQ(f.block->count, 1);
}

TEST(ReadBlock, AtMost15ValuesPerEntry) {
  std::string line = " k:";
  for (int i = 0; i < 20; ++i) line += " v" + std::to_string(i);
  BlockFile f("S {\n" + line + "\n}\n");
  ASSERT_EQ(f.Read(), 0);
  EXPECT_EQ(f.block->entries[0].valueCount, 15);
  EXPECT_STREQ(f.block->entries[0].values[14], "v14");
}

TEST(ReadBlock, LongLinesAreReadIn254CharacterPieces) {
  std::string value254(254 - 3, 'x');  // "k: " + value = 254 characters
  std::string long_line = "m: " + std::string(251, 'y') + " n: 7";  // 259 characters
  BlockFile f("S {\nk: " + value254 + "\n" + long_line + "\n}\n");
  ASSERT_EQ(f.Read(), 0);
  ASSERT_EQ(f.block->count, 3);
  EXPECT_EQ(std::string(f.block->entries[0].values[0]), value254);
  EXPECT_EQ(std::string(f.block->entries[1].values[0]), std::string(251, 'y'));
  // What follows the first 254 characters is read as a line of its own, and
  // the block notes the line it came from (a line of 254 is not long).
  EXPECT_STREQ(f.block->entries[2].key, "n:");
  EXPECT_STREQ(f.block->entries[2].values[0], "7");
  EXPECT_EQ(f.block->line, 1);
  EXPECT_EQ(f.block->longLine, 3);
}

TEST(ReadBlock, FileEndingAfterClosingBraceGivesTheBlockOnce) {
  BlockFile f("S {\n a: 1\n}");
  EXPECT_EQ(f.Read(), 0);
  EXPECT_EQ(f.Read(), -1);
  EXPECT_EQ(f.Read(), -1);
}

TEST(ReadBlock, LastLineWithoutNewlineIsEndOfFile) {
  BlockFile opening("junk\nS { a: 1");
  EXPECT_EQ(opening.Read(), -1);
  BlockFile entry("S {\n a: 1\n b: 2");
  ASSERT_EQ(entry.Read(), 0);
  EXPECT_EQ(entry.block->count, 1);
}

TEST(ReadBlock, CarriageReturnsAreBlanks) {
  BlockFile f("S {\r\n a: 1\r\n}\r\n");
  ASSERT_EQ(f.Read(), 0);
  ASSERT_EQ(f.block->count, 1);
  EXPECT_STREQ(f.block->entries[0].values[0], "1");
}

TEST(GetBlockField, FetchesKeysWithoutCaseAndEachEntryOnce) {
  BlockFile f("S {\n El1: 1 2\n el1: 3 4\n}\n");
  ASSERT_EQ(f.Read(), 0);
  long a = 0, b = 0;
  EXPECT_EQ(GetBlockField("EL1:", f.block.get(), "%ld%ld", &a, &b), 2);
  EXPECT_EQ(a, 1);
  EXPECT_EQ(GetBlockField("EL1:", f.block.get(), "%ld%ld", &a, &b), 2);
  EXPECT_EQ(b, 4);
  EXPECT_EQ(GetBlockField("EL1:", f.block.get(), "%ld", &a), -1);
  EXPECT_EQ(GetBlockField("missing:", f.block.get(), "%ld", &a), -1);
}

TEST(GetBlockField, BadFormatConvertsNothing) {
  BlockFile f("S {\n a: 1\n}\n");
  ASSERT_EQ(f.Read(), 0);
  int value = 0;
  EXPECT_EQ(GetBlockField("a:", f.block.get(), "%q", &value), 0);
  // The entry is used all the same.
  EXPECT_EQ(GetBlockField("a:", f.block.get(), "%d", &value), -1);
}

TEST(ScanFields, ConvertsEveryLetter) {
  char c = 0;
  int d = 0;
  float f = 0;
  double lf = 0;
  long ld = 0;
  char s[16] = {};
  EXPECT_EQ(ScanFields("Nx 12,2.5\t-3.25e1 77 text", "%c%d%f%lf%ld%s", &c, &d, &f, &lf, &ld, s), 6);
  EXPECT_EQ(c, 'N');
  EXPECT_EQ(d, 12);
  EXPECT_FLOAT_EQ(f, 2.5f);
  EXPECT_DOUBLE_EQ(lf, -32.5);
  EXPECT_EQ(ld, 77);
  EXPECT_STREQ(s, "text");
  long tail = 0;
  EXPECT_EQ(ScanFields("5", "%l", &tail), 1);
  EXPECT_EQ(tail, 5);
}

TEST(ScanFields, StopsAtEndOfTextAndAtDottedInteger) {
  float a = 0, b = 0, c = 0;
  char hem = '?';
  EXPECT_EQ(ScanFields("34 15 22.5 ", "%f%f%f%c", &a, &b, &c, &hem), 3);
  EXPECT_EQ(hem, '?');
  int n = 0, m = 0;
  EXPECT_EQ(ScanFields("4 .5", "%d%d", &n, &m), 1);
  EXPECT_EQ(ScanFields("", "%d", &n), 0);
}

TEST(ScanFields, RestOfTextAndUnknownLetter) {
  char first[8] = {}, rest[64] = {};
  EXPECT_EQ(ScanFields("a b  c", "%s%S", first, rest), 2);
  EXPECT_STREQ(rest, "b  c");
  int x = 0;
  EXPECT_EQ(ScanFields("1 2", "%d%x", &x, &x), -1);
}

TEST(ScanFields, StringCopiesAreBounded) {
  char small[8];
  std::memset(small, '#', sizeof small);
  EXPECT_EQ(ScanFields("abcdefghijkl", "%7s", small), 1);
  EXPECT_STREQ(small, "abcdefg");
  std::string longest(300, 'z');
  char big[256];
  EXPECT_EQ(ScanFields(longest.c_str(), "%S", big), 1);
  EXPECT_EQ(std::string(big), std::string(255, 'z'));
}

}  // namespace
}  // namespace stanvex
