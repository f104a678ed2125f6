// The zip library itself: driven through its record as the core drives it,
// and its member-name checks.
#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <unistd.h>
#endif

#include <cstdint>
#include <string>

#include "archive_tools.h"
#include "member_names.h"
#include "platform/platform.h"
#include "test_support.h"
#include "unzipdll_api.h"

namespace stanvex::testing {
namespace {

// The extraction entry point, loaded by name as the core loads it.
class UnzipLibrary {
 public:
  UnzipLibrary() : module_(platform::LoadLibraryByName("UNZIPDLL.DLL")) {
    if (module_ != nullptr)
      exec_ = reinterpret_cast<int32_t(UNZIPDLL_CALL*)(UnzipCommand*)>(
          platform::FindFunction(module_, "_UnzDllExec@4"));
  }
  ~UnzipLibrary() {
    if (module_ != nullptr) platform::FreeLibrary(module_);
  }
  UnzipLibrary(const UnzipLibrary&) = delete;
  UnzipLibrary& operator=(const UnzipLibrary&) = delete;
  bool loaded() const { return exec_ != nullptr; }
  int32_t Exec(UnzipCommand* command) const { return exec_(command); }

 private:
  platform::LibraryHandle module_;
  int32_t(UNZIPDLL_CALL* exec_)(UnzipCommand*) = nullptr;
};

// The library itself, driven through its record: file specifications select
// members, and an impossible count is refused rather than read.
TEST(UnzipLibraryTest, CommandFileSpecificationsSelectMembers) {
  ScratchDir dir;
  CurrentDirGuard guard;
  ASSERT_TRUE(ZipMembers(dir.File("a.zip"), {{"abcd0010.21o", "o"}, {"abcd0010.21n", "n"}}));
  ASSERT_TRUE(platform::SetCurrentDir(dir.path().c_str()));
  UnzipLibrary library;
  ASSERT_TRUE(library.loaded());
  auto exec = [&library](UnzipCommand* command) { return library.Exec(command); };
  char archive[] = "a.zip";
  char spec[kUnzipFileSpecSize] = "*.21n";
  UnzipCommand command{};
  command.archive = archive;
  command.fileSpecCount = 1;
  command.fileSpecs[0] = spec;
  EXPECT_EQ(exec(&command), 0);
  EXPECT_TRUE(Exists(dir.File("abcd0010.21n")));
  EXPECT_FALSE(Exists(dir.File("abcd0010.21o")));
  command.fileSpecCount = kUnzipMaxFileSpecs + 1;
  EXPECT_EQ(exec(&command), -1);
  EXPECT_EQ(exec(nullptr), -1);
}

#if !defined(_WIN32)
// A folder of a member's path that is a link planted in the working folder
// is never followed: that member fails, the others are extracted.
TEST(UnzipLibraryTest, LinkedFolderOfAMemberIsNotFollowed) {
  ScratchDir dir;
  ScratchDir outside;
  CurrentDirGuard guard;
  ASSERT_TRUE(ZipMembers(dir.File("a.zip"),
                         {{"sub/abcd0010.21o", "o"}, {"real/abcd0010.21n", "n"}}));
  ASSERT_EQ(::symlink(outside.path().c_str(), dir.File("sub").c_str()), 0);
  ASSERT_TRUE(platform::SetCurrentDir(dir.path().c_str()));
  UnzipLibrary library;
  ASSERT_TRUE(library.loaded());
  auto exec = [&library](UnzipCommand* command) { return library.Exec(command); };
  char archive[] = "a.zip";
  UnzipCommand command{};
  command.archive = archive;
  EXPECT_EQ(exec(&command), 1) << "one member failed";
  EXPECT_FALSE(Exists(outside.File("abcd0010.21o"))) << "written through the link";
  EXPECT_EQ(ReadFile(dir.File("real/abcd0010.21n")), "n");
}
#endif

TEST(MemberNamesTest, NamesThatLeaveTheDirectoryAreUnsafe) {
  for (const char* name : {"a.txt", "sub/a.txt", "sub/", "..a", "a..", "a/..b/c", "./a"})
    EXPECT_TRUE(unzipdll::IsSafeMemberName(name)) << name;
  for (const char* name : {"", "..", "../a", "a/../../b", "a/..", "/etc/passwd", "\\a",
                           "a\\..\\..\\b", "C:\\a", "C:a"})
    EXPECT_FALSE(unzipdll::IsSafeMemberName(name)) << name;
}

TEST(MemberNamesTest, FileSpecificationsMatchAsOnWindows) {
  EXPECT_TRUE(unzipdll::MatchesFileSpec("*.*", "noextension"));
  EXPECT_TRUE(unzipdll::MatchesFileSpec("*", "a.b"));
  EXPECT_TRUE(unzipdll::MatchesFileSpec("*.21?", "abcd0010.21o"));
  EXPECT_FALSE(unzipdll::MatchesFileSpec("*.21?", "abcd0010.21"));
  EXPECT_TRUE(unzipdll::MatchesFileSpec("a*b*c", "aXbYbZc"));
  EXPECT_FALSE(unzipdll::MatchesFileSpec("a*b*c", "aXbYbZ"));
}

}  // namespace
}  // namespace stanvex::testing
