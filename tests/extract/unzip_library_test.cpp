// The zip library binding: the real libunzipdll, loaded by name.
#include "extract/unzip_library.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

#include "archive_tools.h"
#include "platform/loaded_library.h"
#include "platform/platform.h"
#include "test_support.h"

namespace stanvex::testing {
namespace {

std::string CurrentDir() {
  char buffer[1024];
  platform::GetCurrentDir(buffer, sizeof buffer);
  return buffer;
}

// A call's Result as the 1 (success) or 0 the library's operations stand for.
int Code(const Result& result) { return result.ok ? 1 : 0; }

int32_t VersionOf(UnzipLibrary& library) {
  int32_t version = 0;
  library.GetUnzipVersion(&version);
  return version;
}

// The table binding every companion library uses, over the stand-in that
// lacks its extraction function.
TEST(LoadedLibraryTest, EntryPointsFillTheirSlotsAndTheFirstMissingRequiredOneIsNamed) {
  struct Table {
    int32_t (*version)();
    void* exec;
    void* optional;
  };
  const platform::EntryPoint entries[] = {
      {"_GetUnzDllVersion@0", offsetof(Table, version), true},
      {"_NoSuchFunction@0", offsetof(Table, optional), false},
      {"_UnzDllExec@4", offsetof(Table, exec), true},
  };
  platform::LoadedLibrary library = platform::LoadedLibrary::Open("UNZIPNOEXEC.DLL");
  ASSERT_TRUE(library.IsOpen());
  Table table{};
  table.optional = &table;  // overwritten: a missing optional entry point is null
  EXPECT_EQ(platform::FindEntryPoints(library, table, entries), 2);
  ASSERT_NE(table.version, nullptr);
  EXPECT_EQ(table.version(), 1);  // the stand-in's version
  EXPECT_EQ(table.optional, nullptr);
  EXPECT_EQ(table.exec, nullptr);

  // Ownership moves; the moved-from handle finds nothing and frees nothing.
  platform::LoadedLibrary moved = std::move(library);
  EXPECT_FALSE(library.IsOpen());  // NOLINT(bugprone-use-after-move)
  EXPECT_EQ(library.Find("_GetUnzDllVersion@0"), nullptr);
  EXPECT_NE(moved.Find("_GetUnzDllVersion@0"), nullptr);
  moved.Close();
  EXPECT_FALSE(moved.IsOpen());

  // A library that cannot be loaded is a handle holding nothing.
  platform::LoadedLibrary missing = platform::LoadedLibrary::Open("NOSUCHLIBRARY.DLL");
  EXPECT_FALSE(missing.IsOpen());
  Table none{};
  EXPECT_EQ(platform::FindEntryPoints(missing, none, entries), 0);
}

TEST(UnzipLibraryTest, LoadingTwiceLoadsOnce) {
  UnzipLibrary library;
  ASSERT_EQ(Code(library.LoadUnzipLibrary()), 1);
  EXPECT_EQ(Code(library.LoadUnzipLibrary()), 1);
  EXPECT_TRUE(library.IsLoaded());
  EXPECT_EQ(VersionOf(library), 100);
  EXPECT_EQ(Code(library.UnloadUnzipLibrary()), 1);
  EXPECT_FALSE(library.IsLoaded());
  EXPECT_EQ(Code(library.UnloadUnzipLibrary()), 1);
}

TEST(UnzipLibraryTest, LoadFailuresSetTheirState) {
  UnzipLibrary missing("NOSUCHUNZIP.DLL");
  EXPECT_EQ(Code(missing.LoadUnzipLibrary()), 0);
  EXPECT_EQ(missing.state(), UnzipLibrary::kNotLoaded);

  UnzipLibrary without_exec("UNZIPNOEXEC.DLL");
  EXPECT_EQ(Code(without_exec.LoadUnzipLibrary()), 0);
  EXPECT_EQ(without_exec.state(), UnzipLibrary::kEntryPointMissing);
  EXPECT_FALSE(without_exec.IsLoaded());

  UnzipLibrary not_loaded;
  EXPECT_EQ(VersionOf(not_loaded), 0);
  EXPECT_EQ(not_loaded.state(), UnzipLibrary::kVersionWithoutLibrary);
  EXPECT_EQ(Code(not_loaded.ExtractAll("a.zip", ".")), 0);
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
  ASSERT_EQ(Code(library.LoadUnzipLibrary()), 1);
  EXPECT_EQ(Code(library.ExtractAll("a.zip", "into")), 1);  // relative to the caller's directory
  EXPECT_EQ(CurrentDir(), before);
  EXPECT_EQ(ReadFile(dir.File("into/x.txt")), "x");
  EXPECT_EQ(Code(library.ExtractAll("bad.zip", "into")), 0);
  EXPECT_EQ(CurrentDir(), before);
  EXPECT_EQ(Code(library.ExtractAll("missing.zip", "into")), 0);
  EXPECT_EQ(Code(library.ExtractAll("a.zip", "no-such-dir")), 0);
  EXPECT_EQ(CurrentDir(), before);
}

}  // namespace
}  // namespace stanvex::testing
