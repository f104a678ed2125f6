// The command-line host's commands that read files and write others, run as
// a program: they keep their inputs, and write nothing but their outputs.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "archive_tools.h"
#include "obn_test_util.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace stanvex::testing {
namespace {

int RunStanvex(const std::string& arguments, std::string* output) {
  const std::string command = Quote(OutDir() + "/stanvex") + " " + arguments + " 2>&1";
  std::FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return -1;
  char buffer[512];
  size_t got;
  output->clear();
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output->append(buffer, got);
  const int status = pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Every entry of folder with its content ("" for a link's target name).
std::vector<std::pair<std::string, std::string>> Contents(const std::string& folder) {
  std::vector<std::pair<std::string, std::string>> entries;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    entries.push_back({name, entry.is_symlink() ? "-> " + fs::read_symlink(entry.path()).string()
                                                : ReadFile(entry.path().string())});
  }
  std::sort(entries.begin(), entries.end());
  return entries;
}

class FileCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!Exists(OutDir() + "/stanvex")) GTEST_SKIP() << "no stanvex program";
    WriteFile(dir_.File("plain"), "     2.11           OBSERVATION DATA\n");
    ASSERT_TRUE(GzipFile(dir_.File("plain"), dir_.File("a.gz")));
    ASSERT_TRUE(CompressFile(dir_.File("plain"), dir_.File("a.Z")));
    WriteFile(dir_.File("text.gz"), "<html>not found</html>\n");
    WriteFile(dir_.File("c.crx"), "1.0                 COMPACT RINEX FORMAT\n");
    ASSERT_TRUE(WriteObnFile(dir_.File("a.obn"), {MakeEpoch(100, 5), MakeEpoch(101, 5)}, 1.0f));
    ASSERT_TRUE(WriteObnFile(dir_.File("b.obn"), {MakeEpoch(102, 5)}, 1.0f));
    fs::create_symlink("a.gz", dir_.File("link.gz"));
    fs::create_symlink("a.obn", dir_.File("link.obn"));
    fs::create_hard_link(dir_.File("a.Z"), dir_.File("hard.Z"));
  }
  std::string Q(const char* name) { return Quote(dir_.File(name)); }
  ScratchDir dir_;
};

// An output that is the input (the same name, another path, a link, a hard
// link) is refused before anything is written; a failed unpacking keeps its
// input too. The folder is the same afterwards.
TEST_F(FileCommandsTest, CommandsKeepTheirInputs) {
  const std::string other = Quote(dir_.path() + "/./");
  const struct {
    std::string arguments;
    const char* message;
  } cases[] = {
      {"unpack gz " + Q("text.gz") + " " + Q("out"), "Error unzipping the file"},
      {"unpack gz " + Q("a.gz") + " " + Q("a.gz"), "would overwrite the input"},
      {"unpack gz " + Q("a.gz") + " " + other + "a.gz", "would overwrite the input"},
      {"unpack gz " + Q("a.gz") + " " + Q("link.gz"), "would overwrite the input"},
      {"unpack z " + Q("a.Z") + " " + Q("hard.Z"), "would overwrite the input"},
      {"crx2rnx " + Q("c.crx") + " " + other + "c.crx", "would overwrite the input"},
      {"obn join " + Q("link.obn") + " " + Q("b.obn") + " " + Q("a.obn"),
       "would overwrite the input"},
      {"obn splice " + Q("a.obn") + " 100 101 -o " + other + "a.obn", "would overwrite the input"},
      {"obn resample " + Q("a.obn") + " " + Q("link.obn") + " 2", "would overwrite the input"},
  };
  const auto before = Contents(dir_.path());
  for (const auto& c : cases) {
    std::string out;
    EXPECT_EQ(RunStanvex(c.arguments, &out), 1) << c.arguments;
    EXPECT_NE(out.find(c.message), std::string::npos) << c.arguments << "\n" << out;
    EXPECT_EQ(Contents(dir_.path()), before) << c.arguments;
  }
  // Unpacked: the input stays as it was beside the output.
  const std::pair<const char*, const char*> unpacked[] = {{"gz", "a.gz"}, {"z", "a.Z"}};
  for (const auto& [type, input] : unpacked) {
    const std::string packed = ReadFile(dir_.File(input));
    std::string out;
    ASSERT_EQ(RunStanvex(std::string("unpack ") + type + " " + Q(input) + " " + Q("out"), &out), 0)
        << out;
    EXPECT_EQ(ReadFile(dir_.File("out")), ReadFile(dir_.File("plain"))) << input;
    EXPECT_EQ(ReadFile(dir_.File(input)), packed) << input;
  }
}

// A zip archive's one member becomes OUTPUT, whatever its stored name; files
// beside OUTPUT of that name are left alone. Several members fail, named.
TEST_F(FileCommandsTest, UnpackZipWritesOnlyOutput) {
  ASSERT_TRUE(ZipMembers(dir_.File("one.zip"), {{"plain", "from the archive\n"}}));
  ASSERT_TRUE(ZipMembers(dir_.File("two.zip"), {{"m1", "1"}, {"sub/m2", "2"}}));
  auto before = Contents(dir_.path());
  std::string out;
  ASSERT_EQ(RunStanvex("unpack zip " + Q("one.zip") + " " + Q("day.05o"), &out), 0) << out;
  EXPECT_EQ(ReadFile(dir_.File("day.05o")), "from the archive\n");
  before.push_back({"day.05o", "from the archive\n"});
  std::sort(before.begin(), before.end());
  EXPECT_EQ(Contents(dir_.path()), before);

  EXPECT_EQ(RunStanvex("unpack zip " + Q("two.zip") + " " + Q("x"), &out), 1);
  EXPECT_NE(out.find("the archive " + dir_.File("two.zip") +
                     " holds 2 files, OUTPUT takes one: m1, sub/m2; nothing was written"),
            std::string::npos)
      << out;
  EXPECT_EQ(Contents(dir_.path()), before);
}

}  // namespace
}  // namespace stanvex::testing
