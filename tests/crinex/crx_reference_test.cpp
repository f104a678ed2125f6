// Real compact RINEX files against their known decodings.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "api/library_state.h"
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

std::string DecodeShared(const std::string& name, const ScratchDir& dir) {
  std::string output = dir.File("out.o");
  EXPECT_EQ(Crx2Rnx(SharedData("crinex/" + name).c_str(), output.c_str()), 0) << LastErrorText;
  return ReadFile(output);
}

TEST(CrxReference, MixedSevenTypeFileDecodesByteForByte) {
  if (!HaveSharedData()) GTEST_SKIP() << "no shared data";
  ScratchDir dir;
  std::string decoded = DecodeShared("wsra0010.21d", dir);
  EXPECT_TRUE(decoded == ReadFile(SharedData("crinex/wsra0010.21o")));
}

TEST(CrxReference, ElevenTypeFileDecodesLineForLine) {
  if (!HaveSharedData()) GTEST_SKIP() << "no shared data";
  ScratchDir dir;
  std::vector<std::string> decoded = TrimmedLines(DecodeShared("zegv0010.21d", dir));
  std::vector<std::string> expected = TrimmedLines(ReadFile(SharedData("crinex/zegv0010.21o")));
  ASSERT_EQ(decoded.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) ASSERT_EQ(decoded[i], expected[i]) << "line " << i + 1;
}

TEST(CrxReference, WholeDayDecodesEveryEpoch) {
  if (!HaveSharedData()) GTEST_SKIP() << "no shared data";
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

}  // namespace
}  // namespace stanvex::testing
