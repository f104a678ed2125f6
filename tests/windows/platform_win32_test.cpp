// The Windows platform layer: separators, names compared without regard to
// case, directory identity, copies that never leave partial targets, and
// loading libraries by their own names with decorated function names.
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "test_support.h"

namespace stanvex::platform {
namespace {

using stanvex::testing::ReadFile;
using stanvex::testing::ScratchDir;
using stanvex::testing::WriteFile;

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::string Slashes(std::string text) {
  for (char& c : text) {
    if (c == '\\') c = '/';
  }
  return text;
}

TEST(WinPlatformTest, BackslashSeparatesAndSlashIsAccepted) {
  EXPECT_EQ(PathSeparator(), '\\');
  EXPECT_TRUE(IsPathSeparator('\\'));
  EXPECT_TRUE(IsPathSeparator('/'));
  EXPECT_FALSE(IsPathSeparator(':'));
}

TEST(WinPlatformTest, FileNamesCompareWithoutCase) {
  EXPECT_TRUE(SameFileName("WSRA0010.21D", "wsra0010.21d"));
  EXPECT_FALSE(SameFileName("wsra0010.21d", "wsra0010.21o"));
}

TEST(WinPlatformTest, SameDirectoryIgnoresCaseSlashesAndTrailingSeparator) {
  ScratchDir dir;
  const std::string path = dir.path();
  EXPECT_TRUE(SameDirectory(path.c_str(), Upper(path).c_str()));
  EXPECT_TRUE(SameDirectory(path.c_str(), (path + "\\").c_str()));
  EXPECT_TRUE(SameDirectory(path.c_str(), Slashes(path).c_str()));
  EXPECT_TRUE(SameDirectory(path.c_str(), (path + "\\sub\\..").c_str()));

  const std::string sub = dir.File("sub");
  ASSERT_TRUE(MakeDirectory(sub.c_str()));
  EXPECT_FALSE(SameDirectory(path.c_str(), sub.c_str()));
  // A file or a missing folder is never "the same directory".
  WriteFile(dir.File("plain"), "x");
  EXPECT_FALSE(SameDirectory(dir.File("plain").c_str(), dir.File("plain").c_str()));
  EXPECT_FALSE(SameDirectory(dir.File("missing").c_str(), dir.File("missing").c_str()));
}

TEST(WinPlatformTest, CopyWithoutReplaceKeepsTargetAndLeavesNoPartialFile) {
  ScratchDir dir;
  const std::string source = dir.File("source");
  const std::string target = dir.File("target");
  WriteFile(source, "new");
  WriteFile(target, "old");
  EXPECT_FALSE(CopyFile(source.c_str(), target.c_str(), false));
  EXPECT_EQ(ReadFile(target), "old");
  EXPECT_TRUE(CopyFile(source.c_str(), target.c_str(), true));
  EXPECT_EQ(ReadFile(target), "new");
  EXPECT_FALSE(FileExists((target + ".part").c_str()));

  // A missing source fails and leaves neither target nor temporary file.
  const std::string fresh = dir.File("fresh");
  EXPECT_FALSE(CopyFile(dir.File("missing").c_str(), fresh.c_str(), true));
  EXPECT_FALSE(FileExists(fresh.c_str()));
  EXPECT_FALSE(FileExists((fresh + ".part").c_str()));
}

TEST(WinPlatformTest, MoveReplacesTargetAndDeleteReportsMissingFile) {
  ScratchDir dir;
  const std::string source = dir.File("a");
  const std::string target = dir.File("b");
  WriteFile(source, "moved");
  WriteFile(target, "replaced");
  ASSERT_TRUE(MoveFile(source.c_str(), target.c_str()));
  EXPECT_FALSE(FileExists(source.c_str()));
  EXPECT_EQ(ReadFile(target), "moved");
  EXPECT_EQ(FileSize(target.c_str()), 5);
  EXPECT_EQ(FileSize(dir.path().c_str()), -1);  // a folder has no file size

  EXPECT_TRUE(DeleteFile(target.c_str()));
  EXPECT_FALSE(DeleteFile(target.c_str()));
  EXPECT_EQ(LastSystemError(), static_cast<int>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(FileSize(target.c_str()), -1);
}

TEST(WinPlatformTest, CurrentDirectoryRoundTripAndTooSmallBuffer) {
  stanvex::testing::CurrentDirGuard guard;
  ScratchDir dir;
  ASSERT_TRUE(SetCurrentDir(dir.path().c_str()));
  char buffer[512];
  ASSERT_TRUE(GetCurrentDir(buffer, sizeof buffer));
  EXPECT_TRUE(SameDirectory(buffer, dir.path().c_str()));
  char tiny[4] = "abc";
  EXPECT_FALSE(GetCurrentDir(tiny, sizeof tiny));
  EXPECT_STREQ(tiny, "");
  EXPECT_FALSE(SetCurrentDir(dir.File("missing").c_str()));
  EXPECT_FALSE(SetCurrentDir(nullptr));
}

TEST(WinPlatformTest, TempDirectoriesAreFreshAndBounded) {
  char first[MAX_PATH];
  char second[MAX_PATH];
  ASSERT_TRUE(MakeTempDirectory("svx", first, sizeof first));
  ASSERT_TRUE(MakeTempDirectory("svx", second, sizeof second));
  EXPECT_TRUE(IsDirectory(first));
  EXPECT_TRUE(IsDirectory(second));
  EXPECT_STRNE(first, second);
  EXPECT_TRUE(::RemoveDirectoryA(first));
  EXPECT_TRUE(::RemoveDirectoryA(second));
  char small[8];
  EXPECT_FALSE(MakeTempDirectory("svx", small, sizeof small));
}

TEST(WinPlatformTest, LibrariesLoadByTheirOwnNamesAndExportDecoratedNamesOnly) {
  // Windows names are not mapped: any case finds the DLL beside the program.
  char mapped[64];
  MapLibraryName("RIN2OBN.DLL", mapped, sizeof mapped);
  EXPECT_STREQ(mapped, "RIN2OBN.DLL");
  EXPECT_NE(LibraryDirectory()[0], '\0');

  LibraryHandle library = LoadLibraryByName("rin2obn.dll");
  ASSERT_NE(library, nullptr);
  EXPECT_NE(FindFunction(library, "_ConvertFile@12"), nullptr);
  EXPECT_NE(FindFunction(library, "_GetErrString@4"), nullptr);
  EXPECT_EQ(FindFunction(library, "ConvertFile"), nullptr);
  EXPECT_EQ(FindFunction(library, "ConvertFile@12"), nullptr);
  FreeLibrary(library);

  EXPECT_EQ(LoadLibraryByName("NoSuchCompanion.dll"), nullptr);
  EXPECT_EQ(FindFunction(nullptr, "_ConvertFile@12"), nullptr);
}

TEST(WinPlatformTest, GatewayHostResolvesOnlyForANameTheResolverKnows) {
  EXPECT_TRUE(GatewayHostResolves("localhost"));
  EXPECT_TRUE(GatewayHostResolves("127.0.0.1"));
  EXPECT_FALSE(GatewayHostResolves(""));
  EXPECT_FALSE(GatewayHostResolves(nullptr));
}

}  // namespace
}  // namespace stanvex::platform
