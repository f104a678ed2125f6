#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "platform/methods.h"
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

// A link planted under an output's name is replaced, never written through;
// a device or pipe named as the output is written into and stays what it is.
TEST(PlatformFilesTest, NewFilesReplaceLinksAndKeepDevices) {
  testing::ScratchDir dir;
  testing::WriteFile(dir.File("victim"), "victim");
  ASSERT_EQ(::symlink(dir.File("victim").c_str(), dir.File("out").c_str()), 0);
  std::FILE* out = CreateNewFile(dir.File("out").c_str());
  ASSERT_NE(out, nullptr);
  std::fputs("data", out);
  std::fclose(out);
  EXPECT_EQ(testing::ReadFile(dir.File("victim")), "victim");
  EXPECT_EQ(testing::ReadFile(dir.File("out")), "data");

  ASSERT_EQ(::symlink(dir.File("victim").c_str(), dir.File("copy.part").c_str()), 0);
  EXPECT_TRUE(CopyFile(dir.File("out").c_str(), dir.File("copy").c_str(), true));
  EXPECT_EQ(testing::ReadFile(dir.File("victim")), "victim");

  // A pipe stands for a device here (a fault must not remove a real one).
  const std::string pipe = dir.File("pipe");
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  int reader = ::open(pipe.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  std::FILE* device = CreateNewFile(pipe.c_str());
  ASSERT_NE(device, nullptr);
  std::fclose(device);
  EXPECT_EQ(CreateOwnerOnlyFile(pipe.c_str()), nullptr);  // never for a secret
  ::close(reader);
  struct stat st;
  ASSERT_EQ(::lstat(pipe.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));

  // A file for a secret is its owner's alone.
  std::FILE* secret = CreateOwnerOnlyFile(dir.File("login").c_str());
  ASSERT_NE(secret, nullptr);
  std::fclose(secret);
  ASSERT_EQ(::lstat(dir.File("login").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

// A tree goes whole; a link inside is removed itself, never followed.
TEST(PlatformFilesTest, RemoveTreeRemovesLinksNotWhatTheyPointTo) {
  testing::ScratchDir dir;
  testing::WriteFile(dir.File("outside"), "kept");
  ASSERT_TRUE(MakeDirectory(dir.File("tree").c_str()));
  ASSERT_TRUE(MakeDirectory(dir.File("tree/sub").c_str()));
  testing::WriteFile(dir.File("tree/sub/file"), "x");
  ASSERT_EQ(::symlink(dir.path().c_str(), dir.File("tree/sub/up").c_str()), 0);
  EXPECT_TRUE(RemoveTree(dir.File("tree").c_str()));
  EXPECT_FALSE(IsDirectory(dir.File("tree").c_str()));
  EXPECT_EQ(testing::ReadFile(dir.File("outside")), "kept");
  EXPECT_TRUE(RemoveTree(dir.File("tree").c_str()));  // nothing left to remove
}

// A wrapper table sees the calls of the functions above, and of the streams
// they make; entries it leaves null, and the table it replaced, stay in use.
int wrappedWrites = 0;
const Methods* beneath = nullptr;
long CountedWrite(int file, const void* data, size_t size) {
  ++wrappedWrites;
  return beneath->write(file, data, size);
}
bool RefusedRemove(const char*) {
  SetLastSystemError(AccessDeniedError());
  return false;
}

TEST(PlatformMethodsTest, InstalledTableWrapsTheSystemAndIsRemovedAgain) {
  testing::ScratchDir dir;
  Methods wrapper{};
  wrapper.version = kMethodsVersion;
  wrapper.write = CountedWrite;
  wrapper.remove = RefusedRemove;
  beneath = InstallMethods(&wrapper);
  EXPECT_EQ(beneath, &SystemMethods());
  std::FILE* out = CreateNewFile(dir.File("a").c_str());
  ASSERT_NE(out, nullptr);
  std::fputs("through the table", out);
  EXPECT_EQ(std::fclose(out), 0);
  EXPECT_EQ(wrappedWrites, 1);  // the stream's one buffer, written out at the close
  EXPECT_FALSE(DeleteFile(dir.File("a").c_str()));
  EXPECT_EQ(LastSystemError(), AccessDeniedError());
  EXPECT_EQ(InstallMethods(nullptr), &wrapper);
  EXPECT_EQ(testing::ReadFile(dir.File("a")), "through the table");
  EXPECT_TRUE(DeleteFile(dir.File("a").c_str()));
}

TEST(PlatformTicksTest, SleepAdvancesTicks) {
  uint32_t start = TickCount();
  SleepMilliseconds(20);
  EXPECT_GE(static_cast<uint32_t>(TickCount() - start), 15u);
}

}  // namespace
}  // namespace stanvex::platform
