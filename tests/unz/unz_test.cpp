// The .Z decoder against files written by compress(1), hand-packed streams
// and damaged input.
#include "unz.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "archive_tools.h"
#include "test_support.h"

namespace stanvex::testing {
namespace {

// QvUnZ_Extract's thrown code, or 0 when it returned.
int Extract(const std::string& input, const std::string& output) {
  try {
    QvUnZ_Extract(input.c_str(), output.c_str());
  } catch (int code) {
    return code;
  }
  return 0;
}

// Packs 9-bit codes as compress does: least significant bit first, and after
// a clear code (256) the rest of the group of eight codes is padding.
std::string Pack(const std::vector<uint32_t>& codes, uint8_t flags = 0x90) {
  std::string bytes = {'\x1f', '\x9d', static_cast<char>(flags)};
  std::vector<bool> bits;
  size_t in_group = 0;
  for (uint32_t code : codes) {
    for (int b = 0; b < 9; ++b) bits.push_back(((code >> b) & 1u) != 0);
    ++in_group;
    if (code == 256 && (flags & 0x80) != 0) {
      while (in_group % 8 != 0) {
        for (int b = 0; b < 9; ++b) bits.push_back(false);
        ++in_group;
      }
      in_group = 0;
    }
  }
  for (size_t i = 0; i < bits.size(); i += 8) {
    uint8_t byte = 0;
    for (size_t b = 0; b < 8 && i + b < bits.size(); ++b)
      if (bits[i + b]) byte |= static_cast<uint8_t>(1u << b);
    bytes += static_cast<char>(byte);
  }
  return bytes;
}

class UnzTest : public ::testing::Test {
 protected:
  // Decodes the given stream; returns the code, output in decoded_.
  int Decode(const std::string& stream) {
    WriteFile(dir_.File("in.Z"), stream);
    const int code = Extract(dir_.File("in.Z"), dir_.File("out"));
    decoded_ = Exists(dir_.File("out")) ? ReadFile(dir_.File("out")) : std::string("<none>");
    return code;
  }
  ScratchDir dir_;
  std::string decoded_;
};

TEST_F(UnzTest, RealArchiveDecodesToItsPlainTwin) {
  ASSERT_TRUE(HaveSharedData());
  ASSERT_EQ(Extract(SharedData("compress/brdc2800.15n.Z"), dir_.File("brdc2800.15n")), 0);
  EXPECT_EQ(ReadFile(dir_.File("brdc2800.15n")), ReadFile(SharedData("compress/brdc2800.15n")));
}

// A whole day of RINEX fills the table at every width, so the width changes,
// the group padding and the clear codes of block mode are all exercised.
TEST_F(UnzTest, CompressOutputRoundTripsAtEveryWidth) {
  ASSERT_TRUE(HaveSharedData());
  const std::string plain = SharedData("rinex/zimm0010.21o");
  for (int bits : {10, 12, 13, 16}) {
    SCOPED_TRACE(bits);
    ASSERT_TRUE(CompressFile(plain, dir_.File("z.Z"), bits));
    ASSERT_EQ(Extract(dir_.File("z.Z"), dir_.File("z")), 0);
    EXPECT_TRUE(ReadFile(dir_.File("z")) == ReadFile(plain));
  }
}

TEST_F(UnzTest, IncompressibleDataRoundTrips) {
  std::mt19937 random(7);
  std::string noise(300000, '\0');
  for (char& c : noise) c = static_cast<char>(random());
  WriteFile(dir_.File("noise"), noise);
  ASSERT_TRUE(CompressFile(dir_.File("noise"), dir_.File("noise.Z"), 12));
  ASSERT_EQ(Extract(dir_.File("noise.Z"), dir_.File("back")), 0);
  EXPECT_TRUE(ReadFile(dir_.File("back")) == noise);
}

TEST_F(UnzTest, EmptyStreamGivesEmptyFile) {
  WriteFile(dir_.File("empty"), "");
  ASSERT_TRUE(CompressFile(dir_.File("empty"), dir_.File("empty.Z")));
  ASSERT_EQ(Extract(dir_.File("empty.Z"), dir_.File("out")), 0);
  EXPECT_EQ(ReadFile(dir_.File("out")), "");
}

TEST_F(UnzTest, HandPackedStreamsDecode) {
  EXPECT_EQ(Decode(Pack({'A', 'B', 257, 259})), 0);  // 257 = "AB", 259 = "ABA"
  EXPECT_EQ(decoded_, "ABABABA");
  EXPECT_EQ(Decode(Pack({'A', 257, 258})), 0);  // a code defined by itself, twice
  EXPECT_EQ(decoded_, "AAAAAA");
  // After a clear the table restarts: 257 is "CD", not "AB".
  EXPECT_EQ(Decode(Pack({'A', 'B', 256, 'C', 'D', 257})), 0);
  EXPECT_EQ(decoded_, "ABCDCD");
  // Without block mode 256 is an ordinary entry.
  EXPECT_EQ(Decode(Pack({'A', 256}, 0x10)), 0);
  EXPECT_EQ(decoded_, "AAA");
}

TEST_F(UnzTest, OpenFailuresAreCodesOneAndTwo) {
  EXPECT_EQ(Extract(dir_.File("missing.Z"), dir_.File("out")), UNZ_INPUT_NOT_OPENED);
  WriteFile(dir_.File("in.Z"), Pack({'A'}));
  EXPECT_EQ(Extract(dir_.File("in.Z"), dir_.File("no/such/dir/out")), UNZ_OUTPUT_NOT_OPENED);
}

TEST_F(UnzTest, OtherFormatsAreCodeFourAndMakeNoOutput) {
  WriteFile(dir_.File("plain"), "not compressed at all\n");
  ASSERT_TRUE(GzipFile(dir_.File("plain"), dir_.File("really.gz")));
  for (const std::string& name : {std::string("really.gz"), std::string("plain")}) {
    EXPECT_EQ(Extract(dir_.File(name), dir_.File("out")), UNZ_NOT_Z_FILE) << name;
    EXPECT_FALSE(Exists(dir_.File("out")));
  }
  EXPECT_EQ(Decode(""), UNZ_NOT_Z_FILE);
  EXPECT_EQ(Decode("\x1f"), UNZ_NOT_Z_FILE);
}

TEST_F(UnzTest, DamagedStreamsAreCodeFiveAndLeaveNoOutput) {
  const struct {
    const char* what;
    std::string stream;
  } cases[] = {
      {"magic without the flags byte", std::string("\x1f\x9d", 2)},
      {"largest width 17", std::string("\x1f\x9d\x91\x41\x00", 5)},
      {"largest width 8", std::string("\x1f\x9d\x88\x41\x00", 5)},
      {"first code not a literal", Pack({300})},
      {"code beyond the next entry", Pack({'A', 'B', 259})},
      {"literal missing after a clear", Pack({'A', 256, 257})},
      // Eight 9-bit codes fill 9 bytes exactly; one more byte is part of a code.
      {"stream cut inside a code", Pack({'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H'}) + "Z"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Decode(c.stream), UNZ_CORRUPT) << c.what;
    EXPECT_EQ(decoded_, "<none>") << c.what;
  }
}

// Whatever the damage, the decoder stops with code 5 or returns bytes; it
// never crashes or reads outside its table (the sanitizer builds check).
TEST_F(UnzTest, RandomDamageIsSurvived) {
  ASSERT_TRUE(HaveSharedData());
  const std::string original = ReadFile(SharedData("compress/brdc2800.15n.Z"));
  std::mt19937 random(11);
  int corrupt = 0;
  for (int round = 0; round < 60; ++round) {
    std::string damaged = original.substr(0, 8000);
    for (int hits = 0; hits < 4; ++hits)
      damaged[3 + random() % (damaged.size() - 3)] = static_cast<char>(random());
    const int code = Decode(damaged);
    ASSERT_TRUE(code == 0 || code == UNZ_CORRUPT) << code;
    if (code == UNZ_CORRUPT) ++corrupt;
  }
  EXPECT_GT(corrupt, 0);
}

// A cut stream decodes to a prefix of the original or is reported corrupt.
TEST_F(UnzTest, CutStreamGivesPrefixOrCodeFive) {
  ASSERT_TRUE(HaveSharedData());
  const std::string original = ReadFile(SharedData("compress/brdc2800.15n.Z"));
  const std::string plain = ReadFile(SharedData("compress/brdc2800.15n"));
  int corrupt = 0;
  for (size_t length = 3; length < original.size(); length += 997) {
    const int code = Decode(original.substr(0, length));
    if (code == UNZ_CORRUPT) {
      ++corrupt;
      continue;
    }
    ASSERT_EQ(code, 0);
    ASSERT_LT(decoded_.size(), plain.size());
    ASSERT_TRUE(plain.compare(0, decoded_.size(), decoded_) == 0) << length;
  }
  EXPECT_GT(corrupt, 0);
}

// 24 MiB of zeros pack into a few kilobytes: with a limit of 1 MiB the
// decoder stops before writing more, and with room enough it unpacks all.
TEST_F(UnzTest, BombStopsAtTheOutputLimit) {
  WriteFile(dir_.File("zeros"), std::string(24u << 20, '\0'));
  ASSERT_TRUE(CompressFile(dir_.File("zeros"), dir_.File("bomb.Z")));
  ASSERT_LT(ReadFile(dir_.File("bomb.Z")).size(), 1u << 20);
  const auto decode = [&](unsigned long long limit) {
    std::FILE* in = std::fopen(dir_.File("bomb.Z").c_str(), "rb");
    std::FILE* out = std::fopen(dir_.File("out").c_str(), "wb");
    const int code = UnzDecompressStreamLimited(in, out, limit);
    std::fclose(in);
    std::fclose(out);
    return code;
  };
  EXPECT_EQ(decode(1u << 20), UNZ_TOO_LARGE);
  EXPECT_LE(ReadFile(dir_.File("out")).size(), 1u << 20);
  EXPECT_EQ(decode(24u << 20), 0);
  EXPECT_EQ(ReadFile(dir_.File("out")).size(), 24u << 20);
}

}  // namespace
}  // namespace stanvex::testing
