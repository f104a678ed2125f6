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

namespace {

// The options that choose among a list's stations, as the bundled
// catalogue's script uses them, and their refusals.
TEST(CatalogueImportCommand, StationsAreChosenByActivityAndAnotherList) {
  if (!stanvex::testing::Exists(OutDir() + "/stanvex")) GTEST_SKIP() << "no stanvex program";
  stanvex::testing::ScratchDir dir;
  const std::string positions = dir.File("cors.csv"), holdings = dir.File("holdings.txt");
  stanvex::testing::WriteFile(positions,
                              "site,x_m,y_m,z_m\n"
                              "1nsu,-293349.474,-5420742.384,3336980.862\n"
                              "p041,-1283634.161,-4726427.893,4074798.043\n"
                              "amc2,-1248596.122,-4819428.205,3976505.999\n");
  stanvex::testing::WriteFile(
      holdings,
      "Sta  Lat(deg) Long(deg) Hgt(m) X(m) Y(m) Z(m) Dtbeg Dtend\n"
      "1NSU 0 0 0 -293349.5323 -5420742.3561 3336980.8353 2004-01-16 2024-09-28\n"
      "P041 0 0 0 -1283634.1615 -4726427.8931 4074798.0428 2004-02-22 2024-09-28\n"
      "AMC2 0 0 0 -1248596.1223 -4819428.2054 3976505.9986 1998-10-21 2018-04-04\n");
  struct Case {
    std::string arguments;
    int exit;
    std::vector<std::string> shown, notShown;
  } const cases[] = {
      {"'" + positions + "' --only-in '" + holdings + "' --active-since 2024-01-01 --except p041",
       0,
       {"sName: 1nsu\n", "; with data on or after 2024-01-01\n",
        "1 stations imported of 3 read; 1 without data since 2024-01-01; 1 left out by --except"},
       {"sName: amc2", "sName: p041"}},
      {"'" + holdings + "' --active-since 2018-04-04", 0,
       {"sName: amc2\n", "(holdings list)\n", "3 stations imported of 3 read"}, {}},
      {"'" + positions + "' --active-since 2024-01-01", 1,
       {"--active-since: " + positions + " (a table) gives no last day of data"}, {"Station {"}},
      {"'" + holdings + "' --active-since 2024-1-1", 1,
       {"--active-since: \"2024-1-1\" is not a date (YYYY-MM-DD)"}, {}},
      {"'" + holdings + "' --except 1nsu,a/b", 1,
       {"--except: the name \"a/b\" is not 4 letters or digits"}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    std::string out;
    EXPECT_EQ(RunStanvex("catalogue import " + c.arguments + " --service NOAA", &out), c.exit) << out;
    for (const std::string& shown : c.shown)
      EXPECT_NE(out.find(shown), std::string::npos) << shown << "\nin\n" << out;
    for (const std::string& hidden : c.notShown)
      EXPECT_EQ(out.find(hidden), std::string::npos) << hidden << "\nin\n" << out;
  }
}

}  // namespace
