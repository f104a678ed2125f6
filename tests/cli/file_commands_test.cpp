// The command-line host's commands that read files and write others, run as
// a program: they keep their inputs, and write nothing but their outputs.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "archive_tools.h"
#include "obn_test_util.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace stanvex::testing {
namespace {

// Runs stanvex with arguments whose words "@name" stand for dir's file name;
// returns its exit status and its output (both streams) in *output.
int RunIn(const ScratchDir& dir, const std::string& arguments, std::string* output) {
  std::string command = Quote(OutDir() + "/stanvex");
  std::istringstream words(arguments);
  for (std::string word; words >> word;)
    command += " " + (word[0] == '@' ? Quote(dir.path() + "/" + word.substr(1)) : word);
  std::FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return -1;
  char buffer[512];
  output->clear();
  for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
    output->append(buffer, got);
  const int status = pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Every entry of folder with its content (a link with its target's name).
std::vector<std::pair<std::string, std::string>> Contents(const std::string& folder) {
  std::vector<std::pair<std::string, std::string>> entries;
  for (const auto& entry : fs::directory_iterator(folder))
    entries.push_back({entry.path().filename().string(),
                       entry.is_symlink() ? "-> " + fs::read_symlink(entry.path()).string()
                                          : ReadFile(entry.path().string())});
  std::sort(entries.begin(), entries.end());
  return entries;
}

// An output that is the input (the same name, another path, a link, a hard
// link) is refused before anything is written, and a failed unpacking keeps
// its input: the folder is the same afterwards. Unpacked, the input stays.
TEST(FileCommands, CommandsKeepTheirInputs) {
  if (!Exists(OutDir() + "/stanvex")) GTEST_SKIP() << "no stanvex program";
  ScratchDir dir;
  WriteFile(dir.File("plain"), "     2.11           OBSERVATION DATA\n");
  ASSERT_TRUE(GzipFile(dir.File("plain"), dir.File("a.gz")));
  ASSERT_TRUE(CompressFile(dir.File("plain"), dir.File("a.Z")));
  WriteFile(dir.File("text.gz"), "<html>not found</html>\n");
  WriteFile(dir.File("c.crx"), "1.0                 COMPACT RINEX FORMAT\n");
  ASSERT_TRUE(WriteObnFile(dir.File("a.obn"), {MakeEpoch(100, 5), MakeEpoch(101, 5)}, 1.0f));
  ASSERT_TRUE(WriteObnFile(dir.File("b.obn"), {MakeEpoch(102, 5)}, 1.0f));
  fs::create_symlink("a.gz", dir.File("link.gz"));
  fs::create_symlink("a.obn", dir.File("link.obn"));
  fs::create_hard_link(dir.File("a.Z"), dir.File("hard.Z"));
  const char* const refused[] = {
      "unpack gz @text.gz @out",        "unpack gz @a.gz @a.gz",
      "unpack gz @a.gz @./a.gz",        "unpack gz @a.gz @link.gz",
      "unpack z @a.Z @hard.Z",          "crx2rnx @c.crx @./c.crx",
      "obn join @link.obn @b.obn @a.obn", "obn splice @a.obn 100 101 -o @./a.obn",
      "obn resample @a.obn @link.obn 2"};
  const auto before = Contents(dir.path());
  const std::string gz = ReadFile(dir.File("a.gz")), z = ReadFile(dir.File("a.Z"));
  std::string out;
  for (const char* arguments : refused) {
    EXPECT_EQ(RunIn(dir, arguments, &out), 1) << arguments;
    const char* reason =
        std::strstr(arguments, "text.gz") ? "Error unzipping the file" : "would overwrite";
    EXPECT_NE(out.find(reason), std::string::npos) << arguments << "\n" << out;
    EXPECT_EQ(Contents(dir.path()), before) << arguments;
  }
  for (const char* arguments : {"unpack gz @a.gz @out", "unpack z @a.Z @out"}) {
    ASSERT_EQ(RunIn(dir, arguments, &out), 0) << out;
    EXPECT_EQ(ReadFile(dir.File("out")), ReadFile(dir.File("plain"))) << arguments;
  }
  EXPECT_EQ(ReadFile(dir.File("a.gz")), gz);
  EXPECT_EQ(ReadFile(dir.File("a.Z")), z);
}

// A zip archive's one member becomes OUTPUT, whatever its stored name; a file
// of that name beside OUTPUT is left alone. Several members fail, named.
TEST(FileCommands, UnpackZipWritesOnlyOutput) {
  if (!Exists(OutDir() + "/stanvex")) GTEST_SKIP() << "no stanvex program";
  ScratchDir dir;
  WriteFile(dir.File("plain"), "beside\n");
  ASSERT_TRUE(ZipMembers(dir.File("one.zip"), {{"plain", "from the archive\n"}}));
  ASSERT_TRUE(ZipMembers(dir.File("two.zip"), {{"m1", "1"}, {"sub/m2", "2"}}));
  auto before = Contents(dir.path());
  std::string out;
  ASSERT_EQ(RunIn(dir, "unpack zip @one.zip @day.05o", &out), 0) << out;
  before.insert(before.begin(), {"day.05o", "from the archive\n"});
  EXPECT_EQ(Contents(dir.path()), before);

  EXPECT_EQ(RunIn(dir, "unpack zip @two.zip @x", &out), 1);
  EXPECT_NE(out.find("the archive " + dir.File("two.zip") +
                     " holds 2 files, OUTPUT takes one: m1, sub/m2; nothing was written"),
            std::string::npos)
      << out;
  EXPECT_EQ(Contents(dir.path()), before);
}

}  // namespace
}  // namespace stanvex::testing
