// The dispatcher with real gzip, compress and zip files: which unpacker a
// type selects, what happens to the downloaded file, and the texts of its
// failures.
#include "extract/extract_file.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "archive_tools.h"
#include "base/last_error.h"
#include "base/request_state.h"
#include "base/status_channel.h"
#include "platform/platform.h"
#include "test_support.h"

namespace stanvex::testing {
namespace {

std::vector<std::string> g_texts;
void STANVEX_CALL Collect(StatusRecord* record) { g_texts.emplace_back(record->text); }

const char* kPlain =
    "     2.11           OBSERVATION DATA    G (GPS)             RINEX VERSION / TYPE\n"
    "                                                            END OF HEADER\n";

class ExtractFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetLibraryStateForTesting();
    g_texts.clear();
    RegisteredCallBack = &Collect;
    WriteFile(dir_.File("plain.src"), kPlain);
  }
  void TearDown() override { ResetLibraryStateForTesting(); }

  // Runs ExtractFile with a writable copy of type; returns 1 for success, 0
  // for a failure (Error() tells it) and leaves the type as ExtractFile left
  // it in type_.
  int Run(const char* type, const std::string& input, const std::string& output) {
    std::memset(type_, 0, sizeof type_);
    std::strncpy(type_, type, sizeof type_ - 1);
    return Keep(ExtractFile(type_, input.c_str(), output.c_str(), dir_.path().c_str()));
  }
  int Keep(const Result& result) {
    last_ = result;
    return result.ok ? 1 : 0;
  }
  std::string Error() const { return last_.message; }

  ScratchDir dir_;
  CurrentDirGuard guard_;
  char type_[kCompressionTypeSize];
  Result last_;
};

TEST_F(ExtractFileTest, TypeIsMatchedWithoutRegardToCaseAndLeftLowerCase) {
  for (const char* type : {"GZ", "Gz", "gz"}) {
    ASSERT_TRUE(GzipFile(dir_.File("plain.src"), dir_.File("a.gz")));
    EXPECT_EQ(Run(type, dir_.File("a.gz"), dir_.File("a")), 1) << type;
    EXPECT_STREQ(type_, "gz");
    EXPECT_EQ(ReadFile(dir_.File("a")), kPlain);
  }
  for (const char* type : {"Z", "z"}) {
    ASSERT_TRUE(CompressFile(dir_.File("plain.src"), dir_.File("a.Z")));
    EXPECT_EQ(Run(type, dir_.File("a.Z"), dir_.File("b")), 1) << type;
    EXPECT_STREQ(type_, "z");
    EXPECT_EQ(ReadFile(dir_.File("b")), kPlain);
  }
  ASSERT_TRUE(ZipMembers(dir_.File("a.zip"), {{"c", kPlain}}));
  EXPECT_EQ(Run("ZIP", dir_.File("a.zip"), dir_.File("c")), 1);
  EXPECT_STREQ(type_, "zip");
  EXPECT_EQ(ReadFile(dir_.File("c")), kPlain);
}

TEST_F(ExtractFileTest, GzipSendsItsTextAndDeletesTheDownload) {
  ASSERT_TRUE(GzipFile(dir_.File("plain.src"), dir_.File("a.gz")));
  ASSERT_EQ(Run("gz", dir_.File("a.gz"), dir_.File("a")), 1);
  EXPECT_FALSE(Exists(dir_.File("a.gz")));
  EXPECT_EQ(ReadFile(dir_.File("a")), kPlain);
  EXPECT_EQ(g_texts, std::vector<std::string>{"GZIP Function Called"});
}

TEST_F(ExtractFileTest, EmptyGzipStreamGivesEmptyFile) {
  WriteFile(dir_.File("empty"), "");
  ASSERT_TRUE(GzipFile(dir_.File("empty"), dir_.File("e.gz")));
  ASSERT_EQ(Run("gz", dir_.File("e.gz"), dir_.File("e")), 1);
  EXPECT_TRUE(Exists(dir_.File("e")));
  EXPECT_EQ(ReadFile(dir_.File("e")), "");
}

// Every gzip failure ends with the one text and without the download; no
// partial plain file is left either.
TEST_F(ExtractFileTest, GzipFailuresDeleteTheDownloadAndLeaveNoOutput) {
  ASSERT_TRUE(HaveSharedData());
  const std::string real = ReadFile(SharedData("rinex/zimm0010.21o"));
  WriteFile(dir_.File("big"), real.substr(0, 400000));
  ASSERT_TRUE(GzipFile(dir_.File("big"), dir_.File("good.gz")));
  const std::string good = ReadFile(dir_.File("good.gz"));
  std::string bad_crc = good;
  bad_crc[bad_crc.size() - 8] ^= 0x55;  // first byte of the CRC-32 in the trailer
  const struct {
    const char* what;
    std::string content;
  } cases[] = {
      {"cut short", good.substr(0, good.size() / 2)},
      {"trailer missing", good.substr(0, good.size() - 8)},
      {"CRC damaged", bad_crc},
      {"an error page saved as .gz", "<html><body>550 No such file</body></html>\n"},
      {"empty download", ""},
  };
  for (const auto& c : cases) {
    WriteFile(dir_.File("x.gz"), c.content);
    EXPECT_EQ(Run("gz", dir_.File("x.gz"), dir_.File("x")), 0) << c.what;
    EXPECT_EQ(Error(), "Error unzipping the file " + dir_.File("x.gz")) << c.what;
    EXPECT_FALSE(Exists(dir_.File("x.gz"))) << c.what;
    EXPECT_FALSE(Exists(dir_.File("x"))) << c.what;
  }
  EXPECT_EQ(Run("gz", dir_.File("missing.gz"), dir_.File("x")), 0);
  EXPECT_EQ(Error(), "Error unzipping the file " + dir_.File("missing.gz"));
}

// 24 MiB of zeros in a gzip file of a few kilobytes, unpacked with a limit
// of 1 MiB: stopped with its own text and no plain file left.
TEST_F(ExtractFileTest, GzipBombStopsAtTheLimit) {
  WriteFile(dir_.File("zeros"), std::string(24u << 20, '\0'));
  ASSERT_TRUE(GzipFile(dir_.File("zeros"), dir_.File("bomb.gz")));
  bool tooLarge = false;
  EXPECT_EQ(
      Keep(GunzipFile(dir_.File("bomb.gz").c_str(), dir_.File("x").c_str(), 1u << 20, &tooLarge)),
      0);
  EXPECT_TRUE(tooLarge);
  EXPECT_EQ(Error(), "Error gzip failed unzipping " + dir_.File("bomb.gz") +
                         ": it unpacks to more than 1048576 bytes");
  EXPECT_FALSE(Exists(dir_.File("x")));
  tooLarge = false;
  EXPECT_EQ(
      Keep(GunzipFile(dir_.File("bomb.gz").c_str(), dir_.File("x").c_str(), 24u << 20, &tooLarge)),
      1);
  EXPECT_FALSE(tooLarge);
}

TEST_F(ExtractFileTest, GunzipFileNamesTheStepThatFailed) {
  EXPECT_EQ(Keep(GunzipFile(dir_.File("missing.gz").c_str(), dir_.File("x").c_str())), 0);
  EXPECT_EQ(Error(), "Error unable to open the input file " + dir_.File("missing.gz"));
  ASSERT_TRUE(GzipFile(dir_.File("plain.src"), dir_.File("a.gz")));
  EXPECT_EQ(Keep(GunzipFile(dir_.File("a.gz").c_str(), dir_.File("no/dir/x").c_str())), 0);
  EXPECT_EQ(Error(), "Error unable to open the output file " + dir_.File("no/dir/x"));
  WriteFile(dir_.File("text.gz"), "plain text\n");
  EXPECT_EQ(Keep(GunzipFile(dir_.File("text.gz").c_str(), dir_.File("x").c_str())), 0);
  EXPECT_EQ(Error(), "Error gzip failed unzipping " + dir_.File("text.gz"));
  EXPECT_TRUE(Exists(dir_.File("text.gz")));  // only the dispatcher deletes
}

TEST_F(ExtractFileTest, CompressSuccessDeletesTheDownload) {
  ASSERT_TRUE(CompressFile(dir_.File("plain.src"), dir_.File("a.Z")));
  ASSERT_EQ(Run("z", dir_.File("a.Z"), dir_.File("a")), 1);
  EXPECT_FALSE(Exists(dir_.File("a.Z")));
  EXPECT_EQ(ReadFile(dir_.File("a")), kPlain);
}

TEST_F(ExtractFileTest, CompressFailuresKeepTheDownloadWithTheirTexts) {
  ASSERT_TRUE(GzipFile(dir_.File("plain.src"), dir_.File("gz.Z")));
  EXPECT_EQ(Run("z", dir_.File("gz.Z"), dir_.File("a")), 0);
  EXPECT_EQ(Error(), "The input file does not appear to be a valid Z File " + dir_.File("gz.Z"));
  EXPECT_TRUE(Exists(dir_.File("gz.Z")));

  WriteFile(dir_.File("bad.Z"), std::string("\x1f\x9d\x90\xff\xff\xff\xff", 7));  // first code 511
  EXPECT_EQ(Run("z", dir_.File("bad.Z"), dir_.File("a")), 0);
  EXPECT_EQ(Error(), "The input file appears to be corrupt " + dir_.File("bad.Z"));
  EXPECT_TRUE(Exists(dir_.File("bad.Z")));
  EXPECT_FALSE(Exists(dir_.File("a")));

  EXPECT_EQ(Run("z", dir_.File("missing.Z"), dir_.File("a")), 0);
  EXPECT_EQ(Error(), "File could not be opened for reading " + dir_.File("missing.Z"));

  ASSERT_TRUE(CompressFile(dir_.File("plain.src"), dir_.File("a.Z")));
  EXPECT_EQ(Run("z", dir_.File("a.Z"), dir_.File("no/dir/a")), 0);
  EXPECT_EQ(Error(), "Output file cannot be opened for writing " + dir_.File("no/dir/a"));
  EXPECT_TRUE(Exists(dir_.File("a.Z")));

  // An output named like the input must not destroy the download.
  const std::string packed = ReadFile(dir_.File("a.Z"));
  EXPECT_EQ(Run("z", dir_.File("a.Z"), dir_.File("a.Z")), 0);
  EXPECT_EQ(Error(), "Output file cannot be opened for writing " + dir_.File("a.Z"));
  EXPECT_EQ(ReadFile(dir_.File("a.Z")), packed);
}

TEST_F(ExtractFileTest, UnknownTypeTouchesNothing) {
  WriteFile(dir_.File("a.rnx"), kPlain);
  for (const char* type : {"rnx", "", "gzip"}) {
    EXPECT_EQ(Run(type, dir_.File("a.rnx"), dir_.File("a")), 1) << type;
    EXPECT_EQ(ReadFile(dir_.File("a.rnx")), kPlain);
    EXPECT_FALSE(Exists(dir_.File("a")));
  }
  EXPECT_TRUE(g_texts.empty());
}

TEST_F(ExtractFileTest, ZipUnpacksEveryMemberIntoTheDirectory) {
  ASSERT_TRUE(
      ZipMembers(dir_.File("day.zip"),
                 {{"abcd0010.21o", kPlain}, {"abcd0010.21n", "nav\n"}, {"sub/notes.txt", "n"}}));
  ASSERT_EQ(Run("zip", dir_.File("day.zip"), dir_.File("unused")), 1);
  EXPECT_EQ(ReadFile(dir_.File("abcd0010.21o")), kPlain);
  EXPECT_EQ(ReadFile(dir_.File("abcd0010.21n")), "nav\n");
  EXPECT_EQ(ReadFile(dir_.File("sub/notes.txt")), "n");
  EXPECT_FALSE(Exists(dir_.File("day.zip")));
  EXPECT_FALSE(Exists(dir_.File("unused")));
  EXPECT_TRUE(platform::SameDirectory(".", dir_.path().c_str()));
}

// Names that are absolute or climb out are never written anywhere; the
// archive then fails and the download is kept.
TEST_F(ExtractFileTest, ZipSlipIsRefused) {
  ScratchDir outside;
  const std::string work = dir_.File("work");
  ASSERT_TRUE(platform::MakeDirectory(work.c_str()));
  const std::string absolute = outside.File("absolute.txt");
  ASSERT_TRUE(ZipMembers(dir_.File("slip.zip"), {{"good.txt", "g"},
                                                 {"../climbed.txt", "x"},
                                                 {"a/../../deep.txt", "x"},
                                                 {absolute, "x"},
                                                 {"..\\back.txt", "x"}}));
  std::strcpy(type_, "zip");
  EXPECT_EQ(Keep(ExtractFile(type_, dir_.File("slip.zip").c_str(), "unused", work.c_str())), 0);
  EXPECT_EQ(Error(), "Error UnZip was unable unzip the file " + dir_.File("slip.zip"));
  EXPECT_FALSE(Exists(dir_.File("climbed.txt")));
  EXPECT_FALSE(Exists(dir_.File("deep.txt")));
  EXPECT_FALSE(Exists(absolute));
  EXPECT_FALSE(Exists(dir_.File("work/..\\back.txt")));
  EXPECT_EQ(ReadFile(dir_.File("work/good.txt")), "g");
  EXPECT_TRUE(Exists(dir_.File("slip.zip")));
}

TEST_F(ExtractFileTest, ZipMemberWithBadCrcFailsAndIsRemoved) {
  const std::string content(5000, 'r');
  ASSERT_TRUE(ZipMembers(dir_.File("crc.zip"), {{"member.txt", content}}, /*deflate=*/false));
  std::string zip = ReadFile(dir_.File("crc.zip"));
  const size_t at = zip.find(content);
  ASSERT_NE(at, std::string::npos);
  zip[at + 100] = 's';  // a byte of the stored member's data
  WriteFile(dir_.File("crc.zip"), zip);
  EXPECT_EQ(Run("zip", dir_.File("crc.zip"), "unused"), 0);
  EXPECT_EQ(Error(), "Error UnZip was unable unzip the file " + dir_.File("crc.zip"));
  EXPECT_FALSE(Exists(dir_.File("member.txt")));
  EXPECT_TRUE(Exists(dir_.File("crc.zip")));
}

// The member's deflate stream is damaged so that it ends before the stated
// size: once cleanly (a shorter valid stream in its place, CRC and size of the
// whole text left in the headers) and by single bit flips spread over the
// stream. Each must fail and keep the download, or unpack to the exact text.
TEST_F(ExtractFileTest, ZipMemberWhoseStreamEndsEarlyNeverPasses) {
  std::string text;
  uint32_t seed = 12345;
  for (int line = 0; line < 1500; ++line) {
    seed = seed * 1103515245u + 12345u;
    text += " 21  1  3  0 " + std::to_string(line % 60) + " 0.0000000  0 " +
            std::to_string(seed % 12 + 4) + "G" + std::to_string(seed % 32) + "  " +
            std::to_string(seed) + ".125 8\n";
  }
  WriteFile(dir_.File("member.txt"), text);
  // zipfile and zlib.compressobj with the same settings write the same raw
  // stream, so the stream can be found in the archive and replaced in place.
  const std::string script =
      "import sys, zipfile, zlib\n"
      "data = open(sys.argv[1], 'rb').read()\n"
      "def raw(d):\n"
      "    c = zlib.compressobj(zlib.Z_DEFAULT_COMPRESSION, zlib.DEFLATED, -15)\n"
      "    return c.compress(d) + c.flush()\n"
      "with zipfile.ZipFile(sys.argv[2], 'w', zipfile.ZIP_DEFLATED) as z:\n"
      "    z.writestr('member.txt', data)\n"
      "archive = open(sys.argv[2], 'rb').read()\n"
      "full = raw(data)\n"
      "at = archive.index(full)\n"
      "short = raw(data[:len(data) // 2])\n"
      "short += bytes(len(full) - len(short))\n"
      "open(sys.argv[3], 'wb').write(archive[:at] + short + archive[at + len(full):])\n"
      "print(at, len(full))\n";
  const std::string positions = dir_.File("positions");
  ASSERT_TRUE(RunTool("/usr/bin/python3 -c " + Quote(script) + " " +
                      Quote(dir_.File("member.txt")) +
                      " " + Quote(dir_.File("good.zip")) + " " + Quote(dir_.File("short.zip")) +
                      " > " + Quote(positions)));
  size_t at = 0, length = 0;
  ASSERT_EQ(std::sscanf(ReadFile(positions).c_str(), "%zu %zu", &at, &length), 2);

  EXPECT_EQ(Run("zip", dir_.File("short.zip"), "unused"), 0);
  EXPECT_EQ(Error(), "Error UnZip was unable unzip the file " + dir_.File("short.zip"));
  EXPECT_TRUE(Exists(dir_.File("short.zip")));
  EXPECT_FALSE(Exists(dir_.File("member.txt")));

  const std::string good = ReadFile(dir_.File("good.zip"));
  int failed = 0;
  for (size_t flip = 0; flip < 60; ++flip) {
    std::string damaged = good;
    const size_t bit = flip * 8 * length / 60 + flip % 8;
    damaged[at + bit / 8] = static_cast<char>(damaged[at + bit / 8] ^ (1 << (bit % 8)));
    WriteFile(dir_.File("flip.zip"), damaged);
    if (Run("zip", dir_.File("flip.zip"), "unused") == 1) {
      EXPECT_EQ(ReadFile(dir_.File("member.txt")), text) << "bit " << bit;
      continue;
    }
    ++failed;
    EXPECT_TRUE(Exists(dir_.File("flip.zip"))) << "bit " << bit;
    EXPECT_FALSE(Exists(dir_.File("member.txt"))) << "bit " << bit;
  }
  EXPECT_GT(failed, 50);
}

TEST_F(ExtractFileTest, NotAZipArchiveFails) {
  WriteFile(dir_.File("page.zip"), "<html>404</html>");
  EXPECT_EQ(Run("zip", dir_.File("page.zip"), "unused"), 0);
  EXPECT_EQ(Error(), "Error UnZip was unable unzip the file " + dir_.File("page.zip"));
  EXPECT_TRUE(Exists(dir_.File("page.zip")));
}

}  // namespace
}  // namespace stanvex::testing
