#include <gtest/gtest.h>

#include "platform/platform.h"
#include "test_support.h"

namespace stanvex::platform {
namespace {

TEST(PlatformNamesTest, WindowsLibraryNamesMapToSharedObjects) {
  char out[64];
#if !defined(_WIN32)
  MapLibraryName("RIN2OBN.DLL", out, sizeof out);
  EXPECT_STREQ(out, "librin2obn.so");
  MapLibraryName("IntObn.dll", out, sizeof out);
  EXPECT_STREQ(out, "libintobn.so");
  MapLibraryName("wininet.dll", out, sizeof out);
  EXPECT_STREQ(out, "libwininet.so");
  UndecorateName("_ConvertFile@12", out, sizeof out);
  EXPECT_STREQ(out, "ConvertFile");
  UndecorateName("_StopFtpProcessing@0", out, sizeof out);
  EXPECT_STREQ(out, "StopFtpProcessing");
  UndecorateName("InternetOpenA", out, sizeof out);
  EXPECT_STREQ(out, "InternetOpenA");
#endif
}

TEST(PlatformFilesTest, CopyWithoutReplaceKeepsTheTarget) {
  testing::ScratchDir dir;
  testing::WriteFile(dir.File("a"), "new");
  testing::WriteFile(dir.File("b"), "old");
  EXPECT_FALSE(CopyFile(dir.File("a").c_str(), dir.File("b").c_str(), false));
  EXPECT_EQ(testing::ReadFile(dir.File("b")), "old");
  EXPECT_TRUE(CopyFile(dir.File("a").c_str(), dir.File("b").c_str(), true));
  EXPECT_EQ(testing::ReadFile(dir.File("b")), "new");
  EXPECT_TRUE(CopyFile(dir.File("a").c_str(), dir.File("c").c_str(), false));
  EXPECT_EQ(testing::ReadFile(dir.File("c")), "new");
  EXPECT_FALSE(CopyFile(dir.File("missing").c_str(), dir.File("d").c_str(), true));
  EXPECT_FALSE(FileExists(dir.File("d").c_str()));
}

TEST(PlatformFilesTest, MoveDeleteAndDirectories) {
  testing::ScratchDir dir;
  testing::WriteFile(dir.File("a"), "x");
  EXPECT_TRUE(MoveFile(dir.File("a").c_str(), dir.File("b").c_str()));
  EXPECT_FALSE(FileExists(dir.File("a").c_str()));
  EXPECT_TRUE(DeleteFile(dir.File("b").c_str()));
  EXPECT_FALSE(DeleteFile(dir.File("b").c_str()));
  EXPECT_TRUE(MakeDirectory(dir.File("sub").c_str()));
  EXPECT_TRUE(SameDirectory(dir.path().c_str(), (dir.File("sub") + "/..").c_str()));
  EXPECT_FALSE(SameDirectory(dir.path().c_str(), dir.File("sub").c_str()));
}

TEST(PlatformTicksTest, SleepAdvancesTicks) {
  uint32_t start = TickCount();
  SleepMilliseconds(20);
  EXPECT_GE(static_cast<uint32_t>(TickCount() - start), 15u);
}

}  // namespace
}  // namespace stanvex::platform
