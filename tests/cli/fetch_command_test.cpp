// The command-line host's retrieval and catalogue commands, run as a program
// against the simulated archive (file:// addresses, or a loopback FTP server
// where a login is needed). Every run gets a TMPDIR of its own, so the test
// sees each temporary folder the program makes and leaves.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "ftp_fixture.h"
#include "https_fixture.h"
#include "sample_archive_cache.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace stanvex::testing {
namespace {

std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += (c == '\'') ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::vector<std::string> Entries(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename());
  return names;
}

class FetchCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    program_ = OutDir() + "/stanvex";
    if (!Exists(program_)) GTEST_SKIP() << "the stanvex program is not built";
    archive_ = SampleArchive();
    ASSERT_FALSE(archive_.empty()) << "the simulated archive could not be made";
    fs::create_directories(temp_.File("tmp"));
    fs::create_directories(dest_.path());
    catalogue_ = CatalogueWithGzipServiceAt("");
  }

  // Runs stanvex with arguments (and environment settings before it);
  // returns its exit status, output (both streams) in output_.
  int Stanvex(const std::string& arguments, const std::string& environment = "") {
    const std::string command = "env -u STANVEX_PASSWORD TMPDIR=" + Quote(temp_.File("tmp")) +
                                " " + environment + " " + Quote(program_) + " " + arguments +
                                " < /dev/null 2>&1";
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return -1;
    char buffer[512];
    size_t got;
    output_.clear();
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output_.append(buffer, got);
    const int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // "fetch" with the archive's catalogue (or catalogue), station simc and a
  // window, into the destination folder.
  std::string Fetch(const std::string& from, const std::string& to,
                    const std::string& catalogue = "", const std::string& station = "simc") {
    return "fetch --catalogue " + Quote(catalogue.empty() ? catalogue_ : catalogue) +
           " --station " + station + " --from " + Quote(from) + " --to " + Quote(to) +
           " --dest " + Quote(dest_.path());
  }

  // Folders the program left in its TMPDIR.
  std::vector<std::string> LeftInTemp() { return Entries(temp_.File("tmp")); }

  // A copy of the archive's catalogue with its addresses in the archive's
  // folder (it was made under another name), but service SIMGZ at address
  // when one is given.
  std::string CatalogueWithGzipServiceAt(const std::string& address, bool bearer = false) {
    std::string text = ReadFile(archive_ + "/catalogue/manufact.dwn");
    if (!address.empty())
      text = std::regex_replace(text, std::regex("ftpAd: [^\\n]*/archive/simgz"),
                                "ftpAd: " + address + (bearer ? "\n  auth: bearer" : ""));
    text = std::regex_replace(text, std::regex("ftpAd: file://[^\\n]*/archive/"),
                              "ftpAd: file://" + archive_ + "/archive/");
    const std::string folder = temp_.File(address.empty() ? "catalogue" : "catalogue2");
    fs::create_directories(folder);
    WriteFile(folder + "/manufact.dwn", text);
    return folder;
  }

  std::string program_, archive_, catalogue_, output_;
  ScratchDir temp_, dest_;
};

TEST_F(FetchCommandTest, RefusesBadTimesAndIntervalsBeforeAnyWork) {
  const struct {
    const char* from;
    const char* to;
    const char* more;
    const char* message;
  } cases[] = {
      {"2022-12-31", "nan", "", "invalid time (calendar time or GPS seconds): nan"},
      {"2022-12-31", "inf", "", "invalid time (calendar time or GPS seconds): inf"},
      {"2021-02-31", "2021-03-01", "", "invalid time: 2021-02-31 (no such date or time)"},
      {"2022-12-31 10:00:00junk", "2023-01-01", "", "invalid time: 2022-12-31 10:00:00junk"},
      {"2022-12-31", "2050-01-01", "",
       "2050-01-01 is after 2048-01-24 03:14:07 GPS, the last time 32-bit GPS seconds hold"},
      {"-100", "2022-12-31", "", "-100 is before the start of GPS time (1980-01-06)"},
      {"2022-12-31 01:00", "2022-12-31 02:00", "--interval 0.001",
       "invalid --interval 0.001: give a number of seconds of at least 0.05"},
      {"2022-12-31 01:00", "2022-12-31 02:00", "--interval -5", "invalid --interval -5"},
      {"2022-12-31 01:00", "2022-12-31 02:00", "--interval nan", "invalid --interval nan"},
      {"2022-12-31 01:00", "2022-12-31 02:00", "--interval 0", "invalid --interval 0"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Stanvex(Fetch(c.from, c.to) + " " + c.more), 1) << c.message;
    EXPECT_NE(output_.find(c.message), std::string::npos) << output_;
  }
  EXPECT_TRUE(LeftInTemp().empty());
  EXPECT_TRUE(Entries(dest_.path()).empty());
  // 29 February of a leap year is a date.
  EXPECT_EQ(Stanvex(Fetch("2024-02-29", "2024-02-29 01:00", "", "nosuch")), 1);
  EXPECT_NE(output_.find("station nosuch is not in the catalogue"), std::string::npos) << output_;
  // A station is looked up under the service asked for.
  EXPECT_EQ(Stanvex(Fetch("2024-02-29", "2024-02-29 01:00") + " --service NOPE"), 1);
  EXPECT_NE(output_.find("station simc of service NOPE is not in the catalogue"), std::string::npos)
      << output_;
}

// Whatever the way out, the program's temporary folders are gone, and the
// user's catalogue folder receives nothing (catalogue files are joined in a
// private folder).
TEST_F(FetchCommandTest, LeavesNoTemporaryFolderAndWritesNothingBesideTheCatalogue) {
  const std::string catalogue = catalogue_;
  const std::vector<std::string> before = Entries(catalogue);

  EXPECT_EQ(Stanvex(Fetch("2022-12-31 01:00", "2022-12-31 02:00", "", "nosuch")), 1);
  EXPECT_NE(output_.find("is not in the catalogue"), std::string::npos) << output_;
  EXPECT_TRUE(LeftInTemp().empty());

  const std::string broken = temp_.File("broken");
  fs::create_directories(broken);
  WriteFile(broken + "/manufact.dwn", "Station {\n sName: simc\n}\n");
  EXPECT_EQ(Stanvex(Fetch("2022-12-31 01:00", "2022-12-31 02:00", broken)), 1);
  EXPECT_NE(output_.find("NO services found"), std::string::npos) << output_;
  EXPECT_TRUE(LeftInTemp().empty());

  ASSERT_EQ(Stanvex(Fetch("2022-12-31 01:00", "2022-12-31 02:00")), 0) << output_;
  EXPECT_EQ(output_.find("warning"), std::string::npos) << output_;
  EXPECT_TRUE(Exists(dest_.File("simc3650.obn")));
  EXPECT_TRUE(LeftInTemp().empty());

  ASSERT_EQ(Stanvex("catalogue " + Quote(catalogue)), 0) << output_;
  EXPECT_NE(output_.find("simc"), std::string::npos) << output_;
  ASSERT_EQ(Stanvex("nearest " + Quote(catalogue) + " --lat 45.47 --lon 9.19"), 0) << output_;
  EXPECT_NE(output_.find("simc"), std::string::npos) << output_;
  EXPECT_TRUE(LeftInTemp().empty());
  EXPECT_EQ(Entries(catalogue), before);
}

// A delivery that cannot place the companions (a folder stands where the
// NVB file goes) leaves the files in the working folder: the program keeps
// that folder and names it.
TEST_F(FetchCommandTest, UndeliveredFilesAreKeptAndNamed) {
  fs::create_directories(dest_.File("simc3650.nvb"));
  EXPECT_EQ(Stanvex(Fetch("2022-12-31 01:00", "2022-12-31 02:00")), 1);
  std::smatch found;
  ASSERT_TRUE(std::regex_search(output_, found,
                                std::regex("the files that were not delivered are in (\\S+)")))
      << output_;
  const std::string kept = found[1];
  EXPECT_EQ(kept.rfind(temp_.File("tmp"), 0), 0u) << kept;
  EXPECT_TRUE(Exists(kept + "/simc3650.sta")) << output_;
  EXPECT_TRUE(Exists(kept + "/simc3650.obn") || Exists(dest_.File("simc3650.obn")));

  // Under --nearest the folder kept never keeps the login file.
  WriteFile(temp_.File("token"), "s3cretPW\n");
  Stanvex("fetch --catalogue " + Quote(catalogue_) + " --nearest 1 --lat 45.47 --lon 9.19" +
          " --from '2022-12-31 01:00' --to '2022-12-31 02:00' --dest " + Quote(dest_.path()) +
          " --password-file " + Quote(temp_.File("token")));
  ASSERT_TRUE(std::regex_search(
      output_, found, std::regex("not delivered are in (\\S+stanvex-nearest-[^/\\s]+)\\s")))
      << output_;
  EXPECT_TRUE(fs::is_directory(found[1].str())) << output_;
  EXPECT_FALSE(Exists(found[1].str() + "/login")) << output_;
}

// "working files kept in F" is said only when F is kept and holds files.
TEST_F(FetchCommandTest, WorkingFilesAreSaidKeptOnlyWhenKept) {
  const std::string work = temp_.File("work");
  fs::create_directories(work);
  const struct {
    std::string arguments;
    int status;
    bool kept;
  } cases[] = {
      // No data for that day: nothing reaches the working folder.
      {Fetch("2022-06-01 01:00", "2022-06-01 02:00") + " --keep-rinex", 1, false},
      {Fetch("2022-06-01 01:00", "2022-06-01 02:00") + " --work " + Quote(work), 1, false},
      {Fetch("2022-12-31 01:00", "2022-12-31 02:00") + " --keep-rinex", 0, true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Stanvex(c.arguments), c.status) << c.arguments << "\n" << output_;
    std::smatch found;
    const bool said =
        std::regex_search(output_, found, std::regex("working files kept in (\\S+?)\\)?\n"));
    EXPECT_EQ(said, c.kept) << c.arguments << "\n" << output_;
    const std::string kept = said ? found[1].str() : "";
    if (said)
      EXPECT_TRUE(fs::is_directory(kept) && !fs::is_empty(kept)) << output_;
    else
      EXPECT_TRUE(LeftInTemp().empty()) << c.arguments;
  }
}

// A day file that ends at noon: the fetch of 06:00 to 18:00 succeeds and
// warns with the span it got.
TEST_F(FetchCommandTest, DataShorterThanTheWindowAreWarnedAbout) {
  const std::string service = temp_.File("simgz");
  fs::copy(archive_ + "/archive/simgz", service, fs::copy_options::recursive);
  const std::string day = service + "/data/2022/12/31/simc3650.22o.gz";
  ASSERT_TRUE(Exists(day));
  const std::string plain = temp_.File("plain.22o");
  ASSERT_EQ(std::system(("gzip -dc " + Quote(day) + " > " + Quote(plain)).c_str()), 0);
  std::string text = ReadFile(plain);
  const size_t noon = text.find("\n 22 12 31 12  0  0.0000000");
  ASSERT_NE(noon, std::string::npos);
  WriteFile(plain, text.substr(0, noon + 1));
  ASSERT_EQ(std::system(("gzip -c " + Quote(plain) + " > " + Quote(day)).c_str()), 0);
  const std::string catalogue = CatalogueWithGzipServiceAt("file://" + service);

  ASSERT_EQ(Stanvex(Fetch("2022-12-31 06:00", "2022-12-31 18:00", catalogue)), 0) << output_;
  EXPECT_NE(output_.find("warning: the data cover only 2022-12-31 06:00:00 to 2022-12-31 "
                         "11:59:30 of the window 2022-12-31 06:00:00 to 2022-12-31 18:00:00"),
            std::string::npos)
      << output_;
  ASSERT_EQ(Stanvex(Fetch("2022-12-31 06:00", "2022-12-31 11:00", catalogue)), 0) << output_;
  EXPECT_EQ(output_.find("warning"), std::string::npos) << output_;
}

// The password reaches a server that admits only alice from a file, from
// STANVEX_PASSWORD or typed on a terminal (without echo); --help warns about
// --password.
TEST_F(FetchCommandTest, PasswordComesFromAFileTheEnvironmentOrTheTerminal) {
  FtpServerOptions options;
  options.root = archive_ + "/archive";
  options.users = {"alice:s3cretPW"};
  options.noAnonymous = true;
  FtpServer server(options);
  ASSERT_TRUE(server.running()) << server.error();
  const std::string catalogue =
      CatalogueWithGzipServiceAt("ftp://" + server.Address() + "/simgz");
  const std::string fetch =
      Fetch("2022-12-31 01:00", "2022-12-31 02:00", catalogue) + " --user alice";
  WriteFile(temp_.File("password"), "s3cretPW\n");
  WriteFile(temp_.File("wrong"), "guess\n");

  EXPECT_EQ(Stanvex(fetch + " --password-file " + Quote(temp_.File("password"))), 0) << output_;
  EXPECT_EQ(Stanvex(fetch, "STANVEX_PASSWORD=s3cretPW"), 0) << output_;
  EXPECT_EQ(Stanvex(fetch + " --password-file " + Quote(temp_.File("wrong"))), 1) << output_;
  EXPECT_EQ(Stanvex(fetch + " --password-file " + Quote(temp_.File("missing"))), 1);
  EXPECT_NE(output_.find("cannot read the password file"), std::string::npos) << output_;
  // The variable serves a named user only: an anonymous login never sends it.
  const int sent = server.CountLog("PASS s3cretPW");
  EXPECT_EQ(Stanvex(Fetch("2022-12-31 01:00", "2022-12-31 02:00", catalogue),
                    "STANVEX_PASSWORD=s3cretPW"),
            1);
  EXPECT_GT(server.CountLog("USER anonymous"), 0);
  EXPECT_EQ(server.CountLog("PASS s3cretPW"), sent);

  // On a terminal: the prompt appears, the typed password is not echoed.
  const std::string script =
      "import os, pty, sys\n"
      "pid, fd = pty.fork()\n"
      "if pid == 0:\n"
      "    os.execv(sys.argv[1], sys.argv[1:])\n"
      "seen = b''\n"
      "while b'password for alice' not in seen:\n"
      "    seen += os.read(fd, 1024)\n"
      "os.write(fd, b's3cretPW\\n')\n"
      "while True:\n"
      "    try:\n"
      "        chunk = os.read(fd, 4096)\n"
      "    except OSError:\n"
      "        break\n"
      "    if not chunk:\n"
      "        break\n"
      "    seen += chunk\n"
      "status = os.waitpid(pid, 0)[1]\n"
      "sys.stdout.write(seen.decode(errors='replace'))\n"
      "sys.exit(os.waitstatus_to_exitcode(status))\n";
  const std::string arguments = Quote(program_) + " fetch --quiet --catalogue " + Quote(catalogue) +
                                " --station simc --from '2022-12-31 01:00'" +
                                " --to '2022-12-31 02:00'" +
                                " --dest " + Quote(dest_.path()) + " --user alice";
  const std::string command = "env -u STANVEX_PASSWORD TMPDIR=" + Quote(temp_.File("tmp")) +
                              " timeout 60 /usr/bin/python3 -c " + Quote(script) + " " + arguments;
  std::FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string typed;
  char buffer[512];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) typed.append(buffer, got);
  EXPECT_EQ(pclose(pipe), 0) << typed;
  EXPECT_NE(typed.find("FTP password for alice: "), std::string::npos) << typed;
  EXPECT_EQ(typed.find("s3cretPW"), std::string::npos) << typed;
  EXPECT_NE(typed.find("delivered"), std::string::npos) << typed;
  EXPECT_TRUE(LeftInTemp().empty());

  EXPECT_EQ(Stanvex("fetch --help"), 0);
  EXPECT_NE(output_.find("process list"), std::string::npos) << output_;
  EXPECT_NE(output_.find("--password-file"), std::string::npos) << output_;
}

// The nearby commands refuse what they cannot do before any work, naming it.
TEST_F(FetchCommandTest, NearbyCommandsRefuseBadRequests) {
  const std::string fetch = Fetch("2022-12-31 01:00", "2022-12-31 02:00");
  const std::string available = "available --catalogue " + Quote(catalogue_);
  const std::string near = " --nearest 2 --lat 45.4 --lon 9.1";
  // A working folder longer than the library keeps is refused, never cut.
  const std::string longTemp = temp_.File("long/" + std::string(120, 'd'));
  // Little memory for the program, except where a sanitizer's shadow memory
  // needs more address space than the limit gives (it then reports a large
  // allocation itself).
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  const std::string littleMemory = "";
#else
  const std::string littleMemory = "sh -c 'ulimit -v 2000000; exec \"$0\" \"$@\"'";
#endif
  fs::create_directories(longTemp);
  const struct {
    std::string arguments;
    std::string message;
    std::string environment = "";
  } cases[] = {
      {fetch + near, "give either --station or --nearest N, not both"},
      {"fetch --catalogue " + Quote(catalogue_) + " --from 2022-12-31 --to 2022-12-31",
       "give either --station or --nearest N"},
      {"fetch --catalogue " + Quote(catalogue_) + near +
           " --from 2022-12-31 --to 2022-12-31 --work /tmp",
       "--work does not go with --nearest"},
      {"fetch --catalogue " + Quote(catalogue_) + near + " --jobs 0" +
           " --from 2022-12-31 --to 2022-12-31",
       "--jobs needs a number of 1 or more"},
      {"fetch --catalogue " + Quote(catalogue_) + " --nearest 2 --lat 0 --lon 0 --max-km 10" +
           " --from 2022-12-31 --to 2022-12-31",
       "no station within 10 km"},
      {available + " --from 2022-12-31 --to 2022-12-31", "give either --station or --nearest N"},
      {available + " --station simc --from 2023-01-02 --to 2022-12-31",
       "Invalid Time Range the Start time can not be larger then the end time"},
      {available + " --station simc --from 2022-01-01 --to 2022-12-31",
       "Error the window touches 364 days; at most 31 are asked"},
      // A count beyond any catalogue asks them all, in little memory.
      {available + " --nearest 2147483647 --lat 45.4 --lon 9.1 --from 2022-01-01 --to 2022-12-31",
       "Error the window touches 364 days; at most 31 are asked",
       littleMemory},
      {available + " --station simc --from 2022-12-31 --to 2022-12-31",
       "Error: the directory " + longTemp + "/stanvex-available-", "TMPDIR=" + Quote(longTemp)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Stanvex(c.arguments, c.environment), 1) << c.arguments;
    EXPECT_NE(output_.find(c.message), std::string::npos) << c.arguments << "\n" << output_;
  }
  EXPECT_TRUE(Entries(longTemp).empty());
  EXPECT_TRUE(LeftInTemp().empty());
  EXPECT_TRUE(Entries(dest_.path()).empty());
}

// A service of bearer tokens (auth: bearer): the token reaches its own HTTPS
// host, from a file, STANVEX_PASSWORD or the host's netrc entry; without a
// good one the fetch fails with the token text. The host its first server
// redirects to, a plain HTTP address and a plain FTP address never see it,
// and no output shows it.
TEST_F(FetchCommandTest, BearerTokenGoesOverHttpsToTheServicesOwnHostOnly) {
  const auto& certificates = TestCertificates::Get();
  ASSERT_TRUE(certificates.ok()) << certificates.error();
  const std::string token = "tok-3f9a1c", nav = "/simgz/data/2022/12/31/simc3650.22n.gz";
  HttpsServerOptions options;
  options.root = archive_ + "/archive";
  options.bind = "127.0.0.2";
  HttpsServer other(options);
  options.bind = "127.0.0.1";
  options.plain = true;
  HttpsServer plain(options);
  options.plain = false;
  options.token = token;
  options.redirects = {{nav, other.Url() + nav}};
  HttpsServer own(options);
  options.redirects = {{"*", plain.Url() + nav}};
  HttpsServer toPlain(options);
  FtpServerOptions ftpOptions;
  ftpOptions.root = archive_ + "/archive";
  FtpServer ftp(ftpOptions);
  for (const HttpsServer* server : {&other, &plain, &own, &toPlain})
    ASSERT_TRUE(server->running()) << server->error();
  ASSERT_TRUE(ftp.running()) << ftp.error();
  WriteFile(temp_.File("token"), token + "\n");
  WriteFile(temp_.File("wrong"), "wrong-7e2\n");
  WriteFile(temp_.File("netrc"), "machine 127.0.0.1 login x password " + token + "\n");
  const std::string trust = "CURL_CA_BUNDLE=" + Quote(certificates.Authority()) + " NETRC=";
  const std::string noNetrc = trust + Quote(temp_.File("none"));
  const std::string file = " --password-file " + Quote(temp_.File("token"));
  const struct {
    std::string address, options, environment;
    int status;
    const char* text;
    bool bearer = true;
  } cases[] = {
      {own.Url() + "/simgz", file, noNetrc, 0, "delivered"},
      {own.Url() + "/simgz", "", noNetrc + " STANVEX_PASSWORD=" + token, 0, "delivered"},
      {own.Url() + "/simgz", "", trust + Quote(temp_.File("netrc")), 0, "delivered"},
      {own.Url() + "/simgz", "", noNetrc, 1, "wants a token"},
      {own.Url() + "/simgz", " --password-file " + Quote(temp_.File("wrong")), noNetrc, 1,
       "es login, then es user get-access-token"},
      {toPlain.Url() + "/simgz", file, noNetrc, 1, "wants a token"},
      {plain.Url() + "/simgz", file, noNetrc, 1,
       "goes over HTTPS only: it is not sent to http://127.0.0.1:"},
      {plain.Url() + "/simgz", file, noNetrc, 1, "is of a kind this program does not use"},
      {"ftp://" + ftp.Address() + "/simgz", file, noNetrc, 0, "it is not sent to ftp://"},
      // Nor does an FTP address of the service get the token of its host's netrc entry.
      {"ftp://" + ftp.Address() + "/simgz", "", trust + Quote(temp_.File("netrc")), 0,
       "delivered"},
      // Another archive never gets the token as its anonymous password.
      {"ftp://" + ftp.Address() + "/simgz", file, noNetrc, 0, "delivered", false},
  };
  for (const auto& c : cases) {
    const std::string catalogue = CatalogueWithGzipServiceAt(c.address, c.bearer);
    EXPECT_EQ(Stanvex(Fetch("2022-12-31 01:00", "2022-12-31 02:00", catalogue) + c.options,
                      c.environment),
              c.status)
        << c.address << c.options << "\n" << output_;
    EXPECT_NE(output_.find(c.text), std::string::npos) << c.address << c.options << output_;
    EXPECT_EQ(output_.find(token), std::string::npos) << output_;
    EXPECT_EQ(output_.find("wrong-7e2"), std::string::npos) << output_;
  }
  EXPECT_GT(own.CountLog("BEARER " + token), 0);
  EXPECT_GT(other.CountLog("GET " + nav), 0);
  EXPECT_EQ(other.CountLog("BEARER"), 0);
  EXPECT_EQ(other.CountLog("AUTH"), 0);
  EXPECT_TRUE(plain.LogLines().empty());
  EXPECT_EQ(ftp.CountLog("PASS " + token), 0);
  EXPECT_TRUE(LeftInTemp().empty());
}

// stanvex available asks an HTTPS archive by HEAD only: a day without its
// observation file is missing (exit 2), a window of days with data exits 0,
// and a bearer service without its token says a token is needed.
TEST_F(FetchCommandTest, AvailableTellsWhichDaysHaveDataWithoutFetching) {
  const auto& certificates = TestCertificates::Get();
  ASSERT_TRUE(certificates.ok()) << certificates.error();
  const std::string served = temp_.File("served");
  fs::create_directories(served);
  fs::copy(archive_ + "/archive/simgz", served + "/simgz", fs::copy_options::recursive);
  fs::remove(served + "/simgz/data/2023/01/01/simc0010.23o.gz");
  HttpsServerOptions options;
  options.root = served;
  options.token = "tok-55a";
  HttpsServer server(options);
  ASSERT_TRUE(server.running()) << server.error();
  WriteFile(temp_.File("token"), "tok-55a\n");
  // A first address nobody answers at, and a mirror.
  const std::string mirrored = temp_.File("mirrored");
  fs::create_directories(mirrored);
  fs::copy_file(CatalogueWithGzipServiceAt("https://127.0.0.1:1/simgz file://" + served +
                                           "/simgz") + "/manufact.dwn",
                mirrored + "/manufact.dwn");
  const std::string catalogue = CatalogueWithGzipServiceAt(server.Url() + "/simgz", true);
  const std::string token = " --password-file " + Quote(temp_.File("token"));
  const std::string day1 =
      std::to_string(fs::file_size(served + "/simgz/data/2022/12/31/simc3650.22o.gz"));
  const struct {
    std::string window, options;
    int status;
    std::vector<std::string> texts;  // patterns
    std::string catalogue = "";
  } cases[] = {
      {" --from 2022-12-31 --to '2023-01-02 23:59:30'", token, 2,
       {"2022-12-31 +observation +" + day1 + " +https://127\\.0\\.0\\.1:",
        "2023-01-01 +observation +missing +/data/2023/01/01/simc0010\\.23o\\.gz",
        "simc \\(SIMGZ\\): data for 2 of 3 days",
        "no data for 2023-01-01: no observation file at any address"}},
      {" --from 2022-12-31 --to '2022-12-31 23:59:30'", token, 0,
       {"simc \\(SIMGZ\\): data for 1 of 1 days"}},
      {" --from 2022-12-31 --to '2022-12-31 23:59:30'", "", 2,
       {"token needed \\(es login, then es user get-access-token\\)"}},
      {" --from 2022-12-31 --to '2023-01-01 23:59:30'", "", 2,
       {"observation +" + day1 + " +file://.*simc3650.22o.gz  \\(https://127.0.0.1:1/simgz: "
        "cannot be reached\\)",
        "2023-01-01 +observation +missing"},
       mirrored},
  };
  for (const auto& c : cases) {
    const std::string available = "available --station simc --catalogue " +
                                  Quote(c.catalogue.empty() ? catalogue : c.catalogue);
    EXPECT_EQ(Stanvex(available + c.window + c.options,
                      "NETRC=/nonexistent CURL_CA_BUNDLE=" + Quote(certificates.Authority())),
              c.status)
        << c.window << c.options << "\n" << output_;
    for (const std::string& text : c.texts)
      EXPECT_TRUE(std::regex_search(output_, std::regex(text))) << text << "\n" << output_;
  }
  EXPECT_GT(server.CountLog("HEAD "), 0);
  EXPECT_EQ(server.CountLog("GET "), 0);
  EXPECT_TRUE(LeftInTemp().empty());
}

// With --nearest a login given goes only to the stations it is for: a
// password without a user is a token, for the bearer service's stations
// only; a user's login needs --service.
TEST_F(FetchCommandTest, ANearbyLoginGoesOnlyToTheStationsItIsFor) {
  const auto& certificates = TestCertificates::Get();
  ASSERT_TRUE(certificates.ok()) << certificates.error();
  HttpsServerOptions options;
  options.root = archive_ + "/archive";
  HttpsServer plain(options);
  options.token = "tok-77c";
  HttpsServer bearer(options);
  ASSERT_TRUE(plain.running() && bearer.running()) << plain.error() << bearer.error();
  std::string text =
      ReadFile(CatalogueWithGzipServiceAt(bearer.Url() + "/simgz", true) + "/manufact.dwn");
  text = std::regex_replace(text, std::regex("ftpAd: file://[^\\n]*/archive/simz"),
                            "ftpAd: " + plain.Url() + "/simz");
  WriteFile(temp_.File("catalogue2/manufact.dwn"), text);
  WriteFile(temp_.File("token"), "tok-77c\n");
  const std::string nearby = "available --catalogue " + Quote(temp_.File("catalogue2")) +
                             " --nearest 2 --lat 45.466 --lon 9.183 --max-km 500" +
                             " --from 2022-12-31 --to '2022-12-31 23:59:30'";
  const std::string environment = "NETRC=/nonexistent CURL_CA_BUNDLE=" +
                                  Quote(certificates.Authority());
  EXPECT_EQ(Stanvex(nearby + " --password-file " + Quote(temp_.File("token")), environment), 0)
      << output_;
  EXPECT_GT(bearer.CountLog("BEARER tok-77c"), 0);
  EXPECT_GT(plain.CountLog("HEAD /simz/"), 0);
  EXPECT_EQ(plain.CountContaining("tok-77c"), 0);
  EXPECT_EQ(Stanvex(nearby + " --user alice --password-file " + Quote(temp_.File("token")),
                    environment),
            1);
  EXPECT_NE(output_.find("--user with --nearest needs --service"), std::string::npos) << output_;
  EXPECT_EQ(plain.CountContaining("tok-77c"), 0);
}

// fetch --nearest 3 from a site beside a station without data for the
// window: that one is skipped with the reason and the next three delivered,
// each under its own name; a SIGTERM while the stations' retrievals run
// stops them all and leaves no temporary folder.
TEST_F(FetchCommandTest, NearestFetchSkipsAStationWithoutDataAndDeliversTheNextThree) {
  // The sample catalogue in folder with station name added beside the site,
  // under the service SIMGZ, which has no files of it.
  const auto withStationBeside = [this](const std::string& folder, const char* name) {
    const std::string catalogue = temp_.File(folder);
    fs::create_directories(catalogue);
    WriteFile(catalogue + "/manufact.dwn",
              ReadFile(catalogue_ + "/manufact.dwn") + "\nStation {\n  sName: " + name +
                  "\n  lat: 45 28 0 N\n  lon: 9 11 0 E\n  ht: 100\n  serv: SIMGZ\n}\n");
    return catalogue;
  };
  const std::string catalogue = withStationBeside("nearby", "simx");
  const std::string nearest = "fetch --catalogue " + Quote(catalogue) +
                               " --nearest 3 --lat 45.466 --lon 9.183 --max-km 8000" +
                              " --from '2022-12-31 01:00' --to '2022-12-31 02:00' --dest " +
                              Quote(dest_.path());
  ASSERT_EQ(Stanvex(nearest), 0) << output_;
  EXPECT_NE(output_.find("skipped: no data for 2022-12-31: no observation file at any address"),
            std::string::npos)
      << output_;
  for (const char* name : {"simc", "sima", "sime"}) {
    EXPECT_NE(output_.find(std::string("delivered ") + dest_.File(name) + "3650.obn"),
              std::string::npos)
        << name << "\n" << output_;
    for (const char* extension : {".obn", ".nvb", ".sta"})
      EXPECT_TRUE(Exists(dest_.File(std::string(name) + "3650" + extension))) << name;
  }
  EXPECT_FALSE(Exists(dest_.File("simx3650.obn")));
  EXPECT_TRUE(LeftInTemp().empty());

  // sime under a second service, nearest and without data: skipped there,
  // it is still fetched from its own service.
  const std::string twice = withStationBeside("twice", "sime");
  const std::string again = temp_.File("again");
  fs::create_directories(again);
  ASSERT_EQ(Stanvex("fetch --catalogue " + Quote(twice) +
                    " --nearest 3 --lat 45.466 --lon 9.183 --max-km 8000" +
                    " --from '2022-12-31 01:00' --to '2022-12-31 02:00' --dest " + Quote(again)),
            0)
      << output_;
  EXPECT_TRUE(Exists(again + "/sime3650.obn")) << output_;

  // The same through an archive that sends its files slowly, stopped.
  HttpsServerOptions options;
  options.root = archive_ + "/archive";
  options.trickleBytesPerSecond = 20000;
  HttpsServer slow(options);
  ASSERT_TRUE(slow.running()) << slow.error();
  std::string text = ReadFile(catalogue + "/manufact.dwn");
  text = std::regex_replace(text, std::regex("ftpAd: file://[^\\n]*/archive/"),
                            "ftpAd: " + slow.Url() + "/");
  WriteFile(catalogue + "/manufact.dwn", text);
  const std::string command =
      "env -u STANVEX_PASSWORD TMPDIR=" + Quote(temp_.File("tmp")) + " CURL_CA_BUNDLE=" +
      Quote(TestCertificates::Get().Authority()) + " " + Quote(program_) + " " + nearest +
      " < /dev/null > " + Quote(temp_.File("out")) + " 2>&1 & child=$!; sleep 3; "
      "kill -TERM $child; wait $child";
  const int status = std::system(command.c_str());
  output_ = ReadFile(temp_.File("out"));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status << output_;
  EXPECT_NE(output_.find("stopped"), std::string::npos) << output_;
  EXPECT_TRUE(LeftInTemp().empty());
}

}  // namespace
}  // namespace stanvex::testing
