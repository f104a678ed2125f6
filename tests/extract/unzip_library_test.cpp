// The zip library binding: the real libunzipdll, loaded by name.
#include "extract/unzip_library.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "archive_tools.h"
#include "platform/platform.h"
#include "test_support.h"

namespace stanvex::testing {
namespace {

std::string CurrentDir() {
  char buffer[1024];
  platform::GetCurrentDir(buffer, sizeof buffer);
  return buffer;
}

TEST(UnzipLibraryTest, LoadingTwiceLoadsOnce) {
  UnzipLibrary library;
  ASSERT_EQ(library.LoadUnzipLibrary(), 1);
  EXPECT_EQ(library.LoadUnzipLibrary(), 1);
  EXPECT_TRUE(library.IsLoaded());
  EXPECT_EQ(library.GetUnzipVersion(), 100);
  EXPECT_EQ(library.UnloadUnzipLibrary(), 1);
  EXPECT_FALSE(library.IsLoaded());
  EXPECT_EQ(library.UnloadUnzipLibrary(), 1);
}

TEST(UnzipLibraryTest, LoadFailuresSetTheirState) {
  UnzipLibrary missing("NOSUCHUNZIP.DLL");
  EXPECT_EQ(missing.LoadUnzipLibrary(), 0);
  EXPECT_EQ(missing.state(), UnzipLibrary::kNotLoaded);

  UnzipLibrary without_exec("UNZIPNOEXEC.DLL");
  EXPECT_EQ(without_exec.LoadUnzipLibrary(), 0);
  EXPECT_EQ(without_exec.state(), UnzipLibrary::kEntryPointMissing);
  EXPECT_FALSE(without_exec.IsLoaded());

  UnzipLibrary not_loaded;
  EXPECT_EQ(not_loaded.GetUnzipVersion(), 0);
  EXPECT_EQ(not_loaded.state(), UnzipLibrary::kVersionWithoutLibrary);
  EXPECT_EQ(not_loaded.ExtractAll("a.zip", "."), 0);
}

// ExtractAll works inside the target directory but hands back the caller's
// current directory, whether the archive was good, bad or not there.
TEST(UnzipLibraryTest, CurrentDirectoryIsRestored) {
  ScratchDir dir;
  CurrentDirGuard guard;
  ASSERT_TRUE(platform::SetCurrentDir(dir.path().c_str()));
  ASSERT_TRUE(platform::MakeDirectory("into"));
  ASSERT_TRUE(ZipMembers(dir.File("a.zip"), {{"x.txt", "x"}}));
  WriteFile(dir.File("bad.zip"), "garbage");
  const std::string before = CurrentDir();
  UnzipLibrary library;
  ASSERT_EQ(library.LoadUnzipLibrary(), 1);
  EXPECT_EQ(library.ExtractAll("a.zip", "into"), 1);  // relative to the caller's directory
  EXPECT_EQ(CurrentDir(), before);
  EXPECT_EQ(ReadFile(dir.File("into/x.txt")), "x");
  EXPECT_EQ(library.ExtractAll("bad.zip", "into"), 0);
  EXPECT_EQ(CurrentDir(), before);
  EXPECT_EQ(library.ExtractAll("missing.zip", "into"), 0);
  EXPECT_EQ(library.ExtractAll("a.zip", "no-such-dir"), 0);
  EXPECT_EQ(CurrentDir(), before);
}

}  // namespace
}  // namespace stanvex::testing
