// The core's converter binding, with our converter library and with stand-in
// libraries for the paths ours never takes.
#include "convert/converter_binding.h"

#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "base/last_error.h"
#include "base/paths.h"
#include "base/request_state.h"
#include "base/status_channel.h"
#include "platform/platform.h"
#include "real_data.h"
#include "test_support.h"

namespace {

using stanvex::ConvertRinexToObn;
using stanvex::ConvertRinexToObnWith;
using stanvex::testing::Exists;
using stanvex::testing::ScratchDir;

std::vector<StatusRecord> received;
void STANVEX_CALL Collect(StatusRecord* record) { received.push_back(*record); }

class ConverterBinding : public ::testing::Test {
 protected:
  void SetUp() override {
    stanvex::ResetLibraryStateForTesting();
    stanvex::ResetConverterBindingForTesting();
    received.clear();
    stanvex::RegisteredCallBack = &Collect;
  }
  void TearDown() override { stanvex::RegisteredCallBack = nullptr; }
  std::vector<StatusRecord> WithCode(int32_t code) const {
    std::vector<StatusRecord> list;
    for (const StatusRecord& r : received)
      if (r.code == code) list.push_back(r);
    return list;
  }
  // Two small files standing for the day's RINEX files.
  void MakeInputs(const std::string& obs, const std::string& nav) {
    stanvex::testing::WriteFile(obs, "observations");
    stanvex::testing::WriteFile(nav, "navigation");
  }
  ScratchDir dir;
  char obn[stanvex::kPathSize];
};

TEST_F(ConverterBinding, ConvertsRealDataReportsTheCountsAndRemovesTheRinexFiles) {
  ASSERT_TRUE(stanvex::testing::HaveSharedData());
  const std::string obs = dir.File("0759092a.05o");
  const std::string nav = dir.File("0759092a.05n");
  stanvex::testing::WriteFile(obs, stanvex::testing::ReadFile(
                                       stanvex::testing::SharedData("rinex/07590920.05o")));
  stanvex::testing::WriteFile(nav, stanvex::testing::ReadFile(
                                       stanvex::testing::SharedData("rinex/07590920.05n")));
  stanvex::Result converted = ConvertRinexToObn(obs.c_str(), nav.c_str(), obn, 0, 1);
  ASSERT_TRUE(converted.ok) << converted.message;
  EXPECT_EQ(std::string(obn), dir.File("0759092a.obn"));
  EXPECT_TRUE(real_data::ReadObn(obn).wellFormed);
  EXPECT_TRUE(Exists(dir.File("0759092a.nvb")));
  EXPECT_TRUE(Exists(dir.File("0759092a.sta")));
  EXPECT_FALSE(Exists(obs));
  EXPECT_FALSE(Exists(nav));

  std::vector<StatusRecord> done = WithCode(STATUS_CONVERT_DONE);
  ASSERT_EQ(done.size(), 1u);
  EXPECT_EQ(done[0].value1, 120);
  EXPECT_EQ(done[0].value2, 120);
  EXPECT_EQ(done[0].value3, 120);
  EXPECT_GT(done[0].value4, 100);
  EXPECT_EQ(done[0].text[0], '\0');
  EXPECT_EQ(done[0].real, 0.0);
  std::vector<StatusRecord> percents = WithCode(STATUS_CONVERT_PERCENT);
  ASSERT_FALSE(percents.empty());
  for (size_t i = 0; i < percents.size(); ++i) {
    EXPECT_EQ(percents[i].value1 % 5, 0);
    if (i > 0) {
      EXPECT_GT(percents[i].value1, percents[i - 1].value1);
    }
  }
  EXPECT_EQ(percents.back().value1, 100);
  EXPECT_FALSE(WithCode(STATUS_CONVERT_TEXT).empty());
}

TEST_F(ConverterBinding, FailedConversionKeepsTheRinexFilesAndGivesTheLibrarysReason) {
  const std::string obs = dir.File("abcd0010.02o");
  const std::string nav = dir.File("abcd0010.02n");  // neither is RINEX
  MakeInputs(obs, nav);
  stanvex::Result failed = ConvertRinexToObn(obs.c_str(), nav.c_str(), obn, 1, 1);
  EXPECT_FALSE(failed.ok);
  EXPECT_NE(std::strstr(failed.message, "not a RINEX navigation file"), nullptr)
      << failed.message;
  EXPECT_EQ(std::string(obn), dir.File("abcd0010.obn"));
  EXPECT_TRUE(Exists(obs));
  EXPECT_TRUE(Exists(nav));
  EXPECT_TRUE(received.empty());
}

TEST_F(ConverterBinding, MissingLibraryFailsBeforeTouchingAnything) {
  const std::string obs = dir.File("abcd0010.02o");
  const std::string nav = dir.File("abcd0010.02n");
  MakeInputs(obs, nav);
  std::strcpy(obn, "untouched");
  stanvex::Result failed =
      ConvertRinexToObnWith("NOSUCHCONVERTER.DLL", obs.c_str(), nav.c_str(), obn, 0, 1);
  EXPECT_FALSE(failed.ok);
  EXPECT_STREQ(failed.message, "Unable to Open NOSUCHCONVERTER.DLL");
  EXPECT_STREQ(obn, "untouched");
  EXPECT_TRUE(Exists(obs));
  EXPECT_TRUE(Exists(nav));
  EXPECT_TRUE(received.empty());
}

TEST_F(ConverterBinding, LibrariesLackingFunctionsFailCleanlyWithAMessage) {
  const std::string obs = dir.File("abcd0010.02o");
  const std::string nav = dir.File("abcd0010.02n");
  MakeInputs(obs, nav);
  stanvex::Result failed =
      ConvertRinexToObnWith("R2O_NOCONVERT.DLL", obs.c_str(), nav.c_str(), obn, 0, 1);
  EXPECT_FALSE(failed.ok);
  EXPECT_STREQ(failed.message, "Unable to find _ConvertFile@12 in R2O_NOCONVERT.DLL");
  failed = ConvertRinexToObnWith("R2O_NOERRTEXT.DLL", obs.c_str(), nav.c_str(), obn, 0, 1);
  EXPECT_FALSE(failed.ok);
  EXPECT_NE(std::strstr(failed.message, "failed (code 3)"), nullptr) << failed.message;
  EXPECT_TRUE(Exists(obs));
  EXPECT_TRUE(Exists(nav));
  EXPECT_TRUE(received.empty());
}

// The scripted stand-in keeps the records it was given; the test holds its
// own reference to the library so that they outlive the binding's release.
class ScriptedConverter : public ConverterBinding {
 protected:
  void SetUp() override {
    ConverterBinding::SetUp();
    library = stanvex::platform::LoadLibraryByName("R2O_SCRIPTED.DLL");
    ASSERT_NE(library, nullptr);
  }
  void TearDown() override {
    stanvex::platform::FreeLibrary(library);
    ConverterBinding::TearDown();
  }
  const rin2obn::ConverterRequest& Request() {
    using Get = const rin2obn::ConverterRequest* (*)();
    return *reinterpret_cast<Get>(stanvex::platform::FindFunction(library, "LastRequest"))();
  }
  const rin2obn::ConverterCallbacks& Callbacks() {
    using Get = const rin2obn::ConverterCallbacks* (*)();
    return *reinterpret_cast<Get>(stanvex::platform::FindFunction(library, "LastCallbacks"))();
  }
  int Calls(const char* name) {
    using Get = int (*)();
    return reinterpret_cast<Get>(stanvex::platform::FindFunction(library, name))();
  }
  stanvex::platform::LibraryHandle library = nullptr;
};

TEST_F(ScriptedConverter, RequestAndCallbacksRecordsHoldTheirFixedWords) {
  ASSERT_TRUE(ConvertRinexToObnWith("R2O_SCRIPTED.DLL", "  /tmp/abcd0010.02o", "/tmp/brdc0010.02n",
                                    obn, 7, 0)
                  .ok);
  const rin2obn::ConverterRequest& r = Request();
  EXPECT_EQ(r.size, 2672);
  EXPECT_STREQ(r.observationName, "  /tmp/abcd0010.02o");
  EXPECT_STREQ(r.obnName, "/tmp/abcd0010.obn");  // leading blanks dropped
  EXPECT_STREQ(obn, "/tmp/abcd0010.obn");
  EXPECT_EQ(r.word516, 300);
  EXPECT_EQ(r.option, 1);
  EXPECT_EQ(r.word536, 3);
  EXPECT_EQ(r.word560, 1);
  EXPECT_STREQ(r.navigationName, "/tmp/brdc0010.02n");
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&r);
  for (size_t i : {524u, 535u, 540u, 559u, 2584u, 2671u}) EXPECT_EQ(bytes[i], 0) << i;
  const rin2obn::ConverterCallbacks& c = Callbacks();
  EXPECT_EQ(c.size, static_cast<int32_t>(sizeof c));
  EXPECT_EQ(c.zero4, 0);
  EXPECT_EQ(c.message, &stanvex::OnConverterMessage);
  EXPECT_EQ(c.progress, &stanvex::OnConverterProgress);
  EXPECT_EQ(Calls("InitializeCalls"), 1);
  EXPECT_EQ(Calls("FreeCalls"), 1);

  ASSERT_TRUE(ConvertRinexToObnWith("R2O_SCRIPTED.DLL", "/tmp.d/abcd0010", "n", obn, 0, 0).ok);
  EXPECT_STREQ(obn, "/tmp.d/abcd0010.obn");
  EXPECT_EQ(Request().option, 0);
}

TEST_F(ScriptedConverter, ProgressIsSentInStepsOfFiveAndOnlyWhenItChanges) {
  // The script calls (0,3) (1,3) (1,3) (2,3) (3,3) (5,0) (-4,3) (9,3), after
  // one message, then reports the counts 11, 22, 33, 44.
  ASSERT_TRUE(ConvertRinexToObnWith("R2O_SCRIPTED.DLL", "a.o", "a.n", obn, 0, 0).ok);
  ASSERT_EQ(received.size(), 7u);
  EXPECT_EQ(received[0].code, STATUS_CONVERT_TEXT);
  EXPECT_STREQ(received[0].text, "scripted message");
  EXPECT_DOUBLE_EQ(received[0].real, 2.5);
  const int expected[] = {30, 65, 100, 0, 100};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(received[1 + i].code, STATUS_CONVERT_PERCENT);
    EXPECT_EQ(received[1 + i].value1, expected[i]);
    EXPECT_EQ(received[1 + i].value2, 0);
  }
  EXPECT_EQ(received[6].code, STATUS_CONVERT_DONE);
  EXPECT_EQ(received[6].value1, 11);
  EXPECT_EQ(received[6].value4, 44);
  // The last percentage lives on: a second conversion does not resend 30 ... 100
  // from scratch, it starts from 100.
  received.clear();
  EXPECT_EQ(stanvex::LastConverterPercentage(), 100);
  ASSERT_TRUE(ConvertRinexToObnWith("R2O_SCRIPTED.DLL", "a.o", "a.n", obn, 0, 0).ok);
  EXPECT_EQ(WithCode(STATUS_CONVERT_PERCENT).front().value1, 0);
}

TEST_F(ScriptedConverter, OutputNameLongerThanTheCallersBufferFailsWithoutConverting) {
  const int before = Calls("InitializeCalls");
  char small[16] = "untouched";
  stanvex::Result failed = ConvertRinexToObnWith("R2O_SCRIPTED.DLL", "/tmp/abcd0010.02o", "n",
                                                 small, 0, 0, sizeof small);
  EXPECT_FALSE(failed.ok);
  EXPECT_STREQ(small, "untouched");
  EXPECT_STREQ(failed.message, "The OBN file name /tmp/abcd0010.obn is too long");
  EXPECT_EQ(Calls("InitializeCalls"), before);
  EXPECT_TRUE(received.empty());
}

TEST_F(ScriptedConverter, ScriptedFailureTextComesFromTheLibrary) {
  stanvex::Result failed = ConvertRinexToObnWith("R2O_SCRIPTED.DLL", "fail.o", "a.n", obn, 0, 0);
  EXPECT_FALSE(failed.ok);
  EXPECT_STREQ(failed.message, "scripted failure");
  EXPECT_EQ(Calls("FreeCalls"), 0);
  EXPECT_TRUE(received.empty());
}

}  // namespace
