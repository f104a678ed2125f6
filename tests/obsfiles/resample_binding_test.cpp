// How ResampleObn binds and drives the interpolation library, with stand-in
// libraries put in place beside the test program (where the core looks).
#include <cstring>
#include <string>

#include "base/text.h"
#include "intobn_api.h"
#include "resample_fixture.h"

namespace stanvex::testing {
namespace {

class ResampleBindingTest : public ResampleTest {
 protected:
  void SetUp() override {
    ResampleTest::SetUp();
    installed_ = std::string(platform::LibraryDirectory()) + "/libintobn.so";
    WriteInput(MakeSynthFile(0.0, 30.0, 10, {1, 2}));
  }
  void TearDown() override {
    platform::DeleteFile(installed_.c_str());
    ResampleTest::TearDown();
  }
  // Puts the stand-in `variant` in place as the library, or none.
  void UseLibrary(const char* variant) {
    platform::DeleteFile(installed_.c_str());
    if (variant == nullptr) return;
    const std::string fake =
        std::string(platform::LibraryDirectory()) + "/libfake_intobn_" + variant + ".so";
    ASSERT_TRUE(platform::CopyFile(fake.c_str(), installed_.c_str(), true)) << fake;
  }
  void ExpectInputKept() {
    EXPECT_TRUE(Exists("in.obn") && Exists("in.nvb") && Exists("in.sta"));
    EXPECT_FALSE(Exists("out.obn"));
  }
  std::string installed_;
};

TEST_F(ResampleBindingTest, MissingLibraryOrFunctionFailsWithItsName) {
  UseLibrary(nullptr);
  EXPECT_EQ(Keep(ResampleObn(WorkingDirectory, "in.obn", "out.obn", 10.0)), -1);
  EXPECT_STREQ(Error(), "Error unable to open file IntObn.dll");
  ExpectInputKept();
  const struct {
    const char* variant;
    const char* text;
  } cases[] = {
      {"no_do", "Error can't find function _DoInterpolation@4"},
      {"no_error", "Error can't find function _GetInterpError@4"},
      {"no_stop", "Unable to find DLL function _StopInterpolation@0"},
  };
  for (const auto& c : cases) {
    UseLibrary(c.variant);
    EXPECT_EQ(Keep(ResampleObn(WorkingDirectory, "in.obn", "out.obn", 10.0)), -1) << c.variant;
    EXPECT_STREQ(Error(), c.text);
    ExpectInputKept();
  }
  EXPECT_FALSE(Exists("request.bin"));
}

TEST_F(ResampleBindingTest, RequestCarriesNamesIntervalsAndConstants) {
  UseLibrary("full");
  CopyText(WorkingDirectory, sizeof WorkingDirectory, dir_.path().c_str());
  ASSERT_EQ(Keep(ResampleObn(WorkingDirectory, "in.obn", "out.obn", 10.0)), 0) << Error();
  const std::string bytes = ReadFile("request.bin");
  ASSERT_EQ(bytes.size(), sizeof(InterpolationRequest));
  auto i32 = [&](size_t offset) {
    int32_t v;
    std::memcpy(&v, bytes.data() + offset, 4);
    return v;
  };
  auto f64 = [&](size_t offset) {
    double v;
    std::memcpy(&v, bytes.data() + offset, 8);
    return v;
  };
  EXPECT_EQ(i32(0), static_cast<int32_t>(sizeof(InterpolationRequest)));
  EXPECT_EQ(std::string(bytes.data() + 8), dir_.path());
  EXPECT_EQ(std::string(bytes.data() + 268), "in.obn");
  EXPECT_EQ(std::string(bytes.data() + 4364), "out.obn");
  EXPECT_DOUBLE_EQ(f64(4712), 30.0);
  EXPECT_DOUBLE_EQ(f64(4752), 10.0);
  EXPECT_DOUBLE_EQ(f64(4768), 200.0);
  EXPECT_DOUBLE_EQ(f64(4776), 180.0);
  const struct {
    size_t offset;
    int32_t value;
  } constants[] = {{4, 0},      {264, 1},    {4620, 1},   {4624, 1},  {4628, 0},
                   {4696, 0},   {4708, 111}, {4720, 1},   {4740, 104}, {4744, 0},
                   {4748, 5},   {4760, 1},   {4764, 4},   {4784, 0},  {5384, -1}};
  for (const auto& c : constants) EXPECT_EQ(i32(c.offset), c.value) << "offset " << c.offset;
  // Every other byte is zero.
  size_t nonzero = 0;
  for (size_t k = 4788; k < 5384; ++k) nonzero += bytes[k] != 0;
  for (size_t k = 4364 + 8; k < 4620; ++k) nonzero += bytes[k] != 0;
  EXPECT_EQ(nonzero, 0u);
}

TEST_F(ResampleBindingTest, ProgressOutsideZeroToHundredIsIgnoredAndMessagesPass) {
  UseLibrary("full");
  ASSERT_EQ(Keep(ResampleObn(WorkingDirectory, "in.obn", "out.obn", 15.0)), 0) << Error();
  std::vector<int32_t> percents;
  for (const StatusRecord& r : Sent(STATUS_INTERP_PERCENT)) percents.push_back(r.value1);
  EXPECT_EQ(percents, (std::vector<int32_t>{0, 50, 100}));
  ASSERT_EQ(Sent(STATUS_TEXT).size(), 1u);
  EXPECT_STREQ(Sent(STATUS_TEXT)[0].text, "fake interpolation");
  EXPECT_TRUE(Exists("out.obn") && Exists("out.nvb") && Exists("out.sta"));
  EXPECT_FALSE(Exists("in.obn") || Exists("in.nvb") || Exists("in.sta"));
}

TEST_F(ResampleBindingTest, LibraryFailureTextBecomesTheLastError) {
  UseLibrary("fails");
  EXPECT_EQ(Keep(ResampleObn(WorkingDirectory, "in.obn", "out.obn", 10.0)), -1);
  EXPECT_STREQ(Error(), "Fake failure: input rejected");
  ExpectInputKept();
}

TEST_F(ResampleBindingTest, NavigationFileSurvivesALibraryThatDoesNotWriteIt) {
  UseLibrary("no_nvb");
  ASSERT_EQ(Keep(ResampleObn(WorkingDirectory, "in.obn", "out.obn", 10.0)), 0) << Error();
  EXPECT_EQ(ReadFile("out.nvb"), "$EPHREC nav\n");
  EXPECT_FALSE(Exists("in.nvb"));
}

TEST_F(ResampleBindingTest, SuccessWithoutOutputFileIsAFailure) {
  UseLibrary("no_file");
  EXPECT_EQ(Keep(ResampleObn(WorkingDirectory, "in.obn", "out.obn", 10.0)), -1);
  EXPECT_NE(std::string(Error()).find("out.obn"), std::string::npos);
  ExpectInputKept();
}

}  // namespace
}  // namespace stanvex::testing
