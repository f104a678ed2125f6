// stanvex catalogue import run as a program: station lists as users' tools
// save them (a UTF-8 byte-order mark, columns in any order, units in the
// column names), and the lists it must refuse or partly leave out.
#include <sys/wait.h>

#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

using namespace std::string_literals;
using stanvex::testing::OutDir;

// Runs the stanvex program; returns its exit status, with its output (both
// streams) in output.
int RunStanvex(const std::string& arguments, std::string* output) {
  const std::string command = "'" + OutDir() + "/stanvex' " + arguments + " 2>&1";
  std::FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return -1;
  char buffer[512];
  size_t got;
  output->clear();
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output->append(buffer, got);
  const int status = pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(CatalogueImportCommand, ListsAreReadByTheirColumnNames) {
  if (!stanvex::testing::Exists(OutDir() + "/stanvex")) GTEST_SKIP() << "no stanvex program";
  struct Case {
    const char* name;
    std::string list;
    int exit;
    std::vector<std::string> shown, notShown;
  } const cases[] = {
      {"byte-order mark, longitude before latitude",
       "\xEF\xBB\xBFname,lon,lat,height\nwtzr,12.879,49.144,666.4\n", 0,
       {"sName: wtzr\n  lat: 49 8 38.40000 N\n  lon: 12 52 44.40000 E\n  ht: 666.400\n"},
       {"left out"}},
      {"X Y Z in another order, units in brackets, CRLF",
       "\xEF\xBB\xBFZ (m);Station;X [m];\"Y\"\r\n4633133.728;ZIMM00CHE;4331297.348;567555.639\r\n",
       0, {"lName: ZIMM00CHE\n  lat: 46 52 37.", "lon: 7 27 "}, {"left out"}},
      {"a header without a height column",
       "\xEF\xBB\xBFSite,Longitude,Latitude,Elevation\nwtzr,12.879,49.144,666.4\n", 1,
       {"list.csv: line 1: the header line names no height (height, ht, h or hgt) column, nor "
        "X, Y and Z columns\n"},
       {"Station {"}},
      {"a NUL byte in a name", "name lat lon height\nwt\0r 1 2 3\nwtzr 49.144 12.879 666.4\n"s, 0,
       {"list.csv: line 2: the name \"wt\\x00r\" holds a NUL byte (left out)\n", "sName: wtzr\n"},
       {}},
      {"UTF-16 text", "\xFF\xFEn\0a\0m\0e\0"s, 1,
       {"list.csv: the list is UTF-16 text; save it as UTF-8 or plain ASCII text\n"},
       {"left out"}},
  };
  stanvex::testing::ScratchDir dir;
  const std::string list = dir.File("list.csv");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    stanvex::testing::WriteFile(list, c.list);
    std::string out;
    EXPECT_EQ(RunStanvex("catalogue import '" + list + "' --service X", &out), c.exit) << out;
    // Messages name the list as given.
    for (std::string shown : c.shown) {
      if (shown.compare(0, 9, "list.csv:") == 0) shown = list + shown.substr(8);
      EXPECT_NE(out.find(shown), std::string::npos) << shown << "\nin\n" << out;
    }
    for (const std::string& hidden : c.notShown)
      EXPECT_EQ(out.find(hidden), std::string::npos) << hidden << "\nin\n" << out;
  }
}

}  // namespace
