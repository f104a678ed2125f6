// The companion DLLs as the core binds them on Windows: the converter and
// the interpolation library loaded at run time by name, the zip library
// loaded by name, UnZ.dll linked through its import library, and the
// export table of stanvex.dll itself.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base/last_error.h"
#include "base/paths.h"
#include "base/request_state.h"
#include "convert/converter_binding.h"
#include "extract/extract_file.h"
#include "obsfiles/resample.h"
#include "platform/platform.h"
#include "stanvex.h"
#include "test_support.h"

namespace stanvex {
namespace {

using testing::ReadFile;
using testing::SharedData;

class WinCompanionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(testing::HaveSharedData());
    ResetLibraryStateForTesting();
    ASSERT_TRUE(platform::SetCurrentDir(dir_.path().c_str()));
  }

  bool CopyShared(const std::string& relative, const std::string& name) {
    return platform::CopyFile(SharedData(relative).c_str(), name.c_str(), true);
  }

  testing::CurrentDirGuard guard_;
  testing::ScratchDir dir_;
};

TEST_F(WinCompanionsTest, ConverterDllTurnsARealHourIntoObnAndIntObnRefinesIt) {
  ASSERT_TRUE(CopyShared("rinex/07590920.05o", "07590920.05o"));
  ASSERT_TRUE(CopyShared("rinex/07590920.05n", "07590920.05n"));
  char obn[kPathSize];
  Result converted = ConvertRinexToObn("07590920.05o", "07590920.05n", obn, 0, 0);
  ASSERT_TRUE(converted.ok) << converted.message;
  ASSERT_TRUE(platform::FileExists("07590920.obn"));

  AvgPosition average{};
  double start = 0, end = 0;
  int32_t valid = 0;
  NewGetAvgOBNPos("07590920.obn", &average, &start, &end, &valid);
  ASSERT_EQ(valid, 1);
  // The station's approximate position is near 35.16 N, 139.61 E.
  EXPECT_NEAR(+average.position1, 35.1609, 0.001);
  EXPECT_NEAR(+average.position2, 139.61, 0.01);

  // 30 s to 15 s goes through IntObn.dll; the input is consumed.
  Result resampled = ResampleObn(WorkingDirectory, "07590920.obn", "fine.obn", 15.0);
  ASSERT_TRUE(resampled.ok) << resampled.message;
  EXPECT_TRUE(platform::FileExists("fine.obn"));
  EXPECT_GT(platform::FileSize("fine.obn"), platform::FileSize("07590920.obn"));
}

TEST_F(WinCompanionsTest, UnixCompressAndGzipDecodeToTheirPlainFiles) {
  ASSERT_TRUE(CopyShared("compress/brdc2800.15n.Z", "brdc2800.15n.Z"));
  char z[kCompressionTypeSize] = "Z";
  Result unpacked = ExtractFile(z, "brdc2800.15n.Z", "brdc2800.15n", dir_.path().c_str());
  ASSERT_TRUE(unpacked.ok) << unpacked.message;
  EXPECT_EQ(ReadFile("brdc2800.15n"), ReadFile(SharedData("compress/brdc2800.15n")));
  EXPECT_FALSE(platform::FileExists("brdc2800.15n.Z"));

  ASSERT_TRUE(CopyShared("rinex/cbw10010.21n.gz", "cbw10010.21n.gz"));
  char gz[kCompressionTypeSize] = "gz";
  unpacked = ExtractFile(gz, "cbw10010.21n.gz", "cbw10010.21n", dir_.path().c_str());
  ASSERT_TRUE(unpacked.ok) << unpacked.message;
  const std::string plain = ReadFile("cbw10010.21n");
  EXPECT_NE(plain.find("RINEX VERSION / TYPE"), std::string::npos);
}

// UnZ.dll reports a damaged file by throwing its code, which the caller in
// another module catches: both must share one unwinder.
TEST_F(WinCompanionsTest, DamagedCompressFileFailsWithItsCodeAcrossTheDll) {
  testing::WriteFile("bad.Z", std::string("\x1f\x9d\x90\xff\xff\xff\xff", 7));  // first code 511
  char z[kCompressionTypeSize] = "Z";
  Result failed = ExtractFile(z, "bad.Z", "bad", dir_.path().c_str());
  EXPECT_FALSE(failed.ok);
  EXPECT_EQ(std::string(failed.message), "The input file appears to be corrupt bad.Z");
  EXPECT_TRUE(platform::FileExists("bad.Z"));
  EXPECT_FALSE(platform::FileExists("bad"));
}

TEST_F(WinCompanionsTest, ZipMembersLandInTheFolderThroughUnzipDll) {
  const std::string archive = STANVEX_WIN_ZIP_FIXTURE;
  if (!platform::FileExists(archive.c_str())) GTEST_SKIP() << "no zip fixture";
  ASSERT_TRUE(platform::CopyFile(archive.c_str(), "day.zip", true));
  const std::string unpacked = dir_.File("unpacked");
  ASSERT_TRUE(platform::MakeDirectory(unpacked.c_str()));
  char zip[kCompressionTypeSize] = "ZIP";
  Result extracted = ExtractFile(zip, "day.zip", "", unpacked.c_str());
  ASSERT_TRUE(extracted.ok) << extracted.message;
  EXPECT_EQ(ReadFile(unpacked + "\\07590920.05o"), ReadFile(SharedData("rinex/07590920.05o")));
  EXPECT_EQ(ReadFile(unpacked + "\\07590920.05n"), ReadFile(SharedData("rinex/07590920.05n")));
}

TEST(WinExportsTest, StanvexDllExportsExactlyTheDecoratedNames) {
  platform::LibraryHandle library = platform::LoadLibraryByName("stanvex.dll");
  ASSERT_NE(library, nullptr);
  const char* const decorated[] = {
      "_SetCallBack@4",       "_iGetLastError@4",        "_ChangeTempDir@4",
      "_iInitalizeNEW@12",    "_vClearMem@4",            "_iFindClosestStation@36",
      "_iFTP@56",             "_iGetManfactFile@4",      "_NewGetAvgOBNPos@20",
      "_StopFtpProcessing@0", "_StopInerpolation@0"};
  for (const char* name : decorated) {
    EXPECT_NE(platform::FindFunction(library, name), nullptr) << name;
    // Neither the plain nor the underscore-less form is exported as well.
    std::string plain(name + 1);
    EXPECT_EQ(platform::FindFunction(library, plain.c_str()), nullptr) << plain;
    EXPECT_EQ(platform::FindFunction(library, plain.substr(0, plain.find('@')).c_str()), nullptr)
        << plain;
  }
  platform::FreeLibrary(library);
}

}  // namespace
}  // namespace stanvex
