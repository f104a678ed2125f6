// Real compact RINEX files against their known decodings.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <zlib.h>

#include "base/last_error.h"
#include "crinex/crx2rnx.h"
#include "test_support.h"

namespace stanvex::testing {
namespace {

std::vector<std::string> TrimmedLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  std::string line;
  while (std::getline(stream, line)) {
    size_t end = line.find_last_not_of(" \r");
    lines.push_back(end == std::string::npos ? std::string() : line.substr(0, end + 1));
  }
  return lines;
}

// The content of a gzip file, as the retrieval unpacks it before decoding.
std::string Gunzip(const std::string& path) {
  std::string content;
  gzFile file = gzopen(path.c_str(), "rb");
  if (!file) return content;
  char block[65536];
  for (int got; (got = gzread(file, block, sizeof block)) > 0;)
    content.append(block, static_cast<size_t>(got));
  gzclose(file);
  return content;
}

std::string DecodeShared(const std::string& name, const ScratchDir& dir) {
  std::string output = dir.File("out.o");
  Result decoding = Crx2Rnx(SharedData("crinex/" + name).c_str(), output.c_str());
  EXPECT_TRUE(decoding.ok) << decoding.message;
  return ReadFile(output);
}

TEST(CrxReference, MixedSevenTypeFileDecodesByteForByte) {
  ASSERT_TRUE(HaveSharedData());
  ScratchDir dir;
  std::string decoded = DecodeShared("wsra0010.21d", dir);
  EXPECT_TRUE(decoded == ReadFile(SharedData("crinex/wsra0010.21o")));
}

TEST(CrxReference, ElevenTypeFileDecodesLineForLine) {
  ASSERT_TRUE(HaveSharedData());
  ScratchDir dir;
  std::vector<std::string> decoded = TrimmedLines(DecodeShared("zegv0010.21d", dir));
  std::vector<std::string> expected = TrimmedLines(ReadFile(SharedData("crinex/zegv0010.21o")));
  ASSERT_EQ(decoded.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) ASSERT_EQ(decoded[i], expected[i]) << "line " << i + 1;
}

TEST(CrxReference, WholeDayDecodesEveryEpoch) {
  ASSERT_TRUE(HaveSharedData());
  ScratchDir dir;
  std::string decoded = DecodeShared("york0440.15d", dir);
  // Every observation epoch line of the day, " 15  2 13 hh mm ss.0000000  0 nn",
  // and the event epochs (flag 4) between them.
  size_t epochs = 0, events = 0;
  for (size_t at = decoded.find("\n 15  2 13 "); at != std::string::npos;
       at = decoded.find("\n 15  2 13 ", at + 1)) {
    char flag = decoded[at + 29];
    epochs += flag == '0';
    events += flag == '4';
  }
  EXPECT_EQ(epochs, 2880u);
  EXPECT_EQ(events, 23u);
  EXPECT_NE(decoded.find("\n 15  2 13 23 59 30.0000000  0"), std::string::npos);
  // Decoding twice in one process gives the same text: no state leaks from
  // one decoding into the next.
  ScratchDir again;
  EXPECT_TRUE(DecodeShared("york0440.15d", again) == decoded);
}

// Compact RINEX 3.0 files and their decodings by the reference decoder, byte
// for byte: mixed G/R/E/C, a clock offset on every epoch, a malformed
// satellite count (sample), RINEX 4.00 observations and an event record.
TEST(CrxReference, CompactRinex3FilesDecodeByteForByte) {
  ASSERT_TRUE(HaveSharedData());
  const std::pair<const char*, const char*> pairs[] = {
      {"ACOR00ESP_R_20213550000_01D_30S_MO.crx", "ACOR00ESP_R_20213550000_01D_30S_MO.rnx"},
      {"VLNS0010.22D", "VLNS0010.22O"},
      {"flrs0010.12d", "flrs0010.12o"},
      {"sample.crx", "sample.rnx"},
      {"KMS300DNK_R_20221591000_01H_30S_MO.crx", "KMS300DNK_R_20221591000_01H_30S_MO.rnx"},
      {"kais329w.18d", "kais329w.18o"},
  };
  for (const auto& [compact, rinex] : pairs) {
    std::string expected = ReadFile(SharedData(std::string("rinex3/") + rinex));
    if (expected.empty()) continue;  // not in this copy of the data
    ScratchDir dir;
    std::string output = dir.File("out.rnx");
    Result decoding = Crx2Rnx(SharedData(std::string("rinex3/") + compact).c_str(), output.c_str());
    ASSERT_TRUE(decoding.ok) << compact << ": " << decoding.message;
    std::string decoded = ReadFile(output);
    if (decoded == expected) continue;
    // Name the first line that differs.
    size_t at = 0;
    while (at < decoded.size() && at < expected.size() && decoded[at] == expected[at]) ++at;
    size_t lineStart = decoded.rfind('\n', at == 0 ? 0 : at - 1);
    lineStart = lineStart == std::string::npos ? 0 : lineStart + 1;
    size_t lineNumber =
        1 + static_cast<size_t>(std::count(decoded.begin(),
                                           decoded.begin() + static_cast<long>(lineStart), '\n'));
    ADD_FAILURE() << compact << " differs at line " << lineNumber << ":\n  ours: "
                  << decoded.substr(lineStart, decoded.find('\n', lineStart) - lineStart)
                  << "\n  ref:  "
                  << expected.substr(lineStart, expected.find('\n', lineStart) - lineStart);
  }
}

TEST(CrxReference, GzippedCompactRinex3DecodesOnceUnpacked) {
  ASSERT_TRUE(HaveSharedData());
  std::string compact = Gunzip(SharedData("rinex3/sample.crx.gz"));
  if (compact.empty()) GTEST_SKIP() << "no sample.crx.gz";
  ScratchDir dir;
  WriteFile(dir.File("sample.crx"), compact);
  Result decoding = Crx2Rnx(dir.File("sample.crx").c_str(), dir.File("sample.rnx").c_str());
  ASSERT_TRUE(decoding.ok) << decoding.message;
  EXPECT_TRUE(ReadFile(dir.File("sample.rnx")) == ReadFile(SharedData("rinex3/sample.rnx")));
}

// A whole multi-GNSS day: every epoch carries as many record lines as its
// line announces, each of a satellite of a system the header lists.
TEST(CrxReference, CompactRinex3WholeDayDecodesEveryEpoch) {
  ASSERT_TRUE(HaveSharedData());
  std::string compact = Gunzip(SharedData("rinex3/NIST00USA_R_20230010000_01D_30S_MO.crx.gz"));
  if (compact.empty()) GTEST_SKIP() << "no NIST00USA day";
  ScratchDir dir;
  WriteFile(dir.File("day.crx"), compact);
  Result decoding = Crx2Rnx(dir.File("day.crx").c_str(), dir.File("day.rnx").c_str());
  ASSERT_TRUE(decoding.ok) << decoding.message;
  std::string decoded = ReadFile(dir.File("day.rnx"));
  std::istringstream lines(decoded.substr(decoded.find("END OF HEADER\n") + 14));
  std::string line, last;
  size_t epochs = 0, records = 0, mostSatellites = 0;
  int expecting = 0;
  while (std::getline(lines, line)) {
    if (line[0] == '>') {
      ASSERT_EQ(expecting, 0) << last;
      ASSERT_EQ(line.size(), 35u) << line;  // no clock offset in this file
      expecting = std::stoi(line.substr(32, 3));
      mostSatellites = std::max(mostSatellites, static_cast<size_t>(expecting));
      ++epochs;
      last = line;
      continue;
    }
    ASSERT_GT(expecting--, 0) << line;
    ASSERT_NE(std::string("CEGRS").find(line[0]), std::string::npos) << line;
    ++records;
  }
  EXPECT_EQ(expecting, 0);
  EXPECT_EQ(epochs, 2880u);
  EXPECT_EQ(last, "> 2023 01 01 23 59 30.0000000  0 38");
  EXPECT_GT(mostSatellites, 30u);
  EXPECT_GT(records, 2880u * 30);
}

}  // namespace
}  // namespace stanvex::testing
