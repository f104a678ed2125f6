// Daily downloads, the IGS navigation fallback and the catalogue download,
// against the loopback FTP server and our internet library.
#include "transfer/download.h"

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "base/last_error.h"
#include "base/request_state.h"
#include "catalogue/catalogue.h"
#include "ftp_fixture.h"
#include "result_codes.h"
#include "status_recorder.h"
#include "test_day.h"
#include "test_support.h"
#include "transfer/file_names.h"
#include "transfer/retry_policy.h"

namespace stanvex {
namespace {

using testing::CodeOf;
using testing::OneOrZero;

using testing::Exists;
using testing::FtpServer;
using testing::FtpServerOptions;
using testing::ReadFile;
using testing::ScratchDir;
using testing::SharedData;
using testing::StatusRecorder;
using testing::WriteFile;


// Every handle the downloads close, in order, through the real library.
std::vector<HINTERNET> closed_handles;
InternetCloseHandle_fn real_close = nullptr;
BOOL WININET_CALL RecordingClose(HINTERNET handle) {
  closed_handles.push_back(handle);
  return real_close(handle);
}

std::string Compressed(const std::string& path) {
  ScratchDir scratch;
  std::string out = scratch.File("packed.Z");
  std::string command = "compress -c '" + path + "' > '" + out + "'";
  if (std::system(command.c_str()) != 0) return std::string();
  return ReadFile(out);
}

class DownloadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetLibraryStateForTesting();
    SetRetryPauseDivisorForTesting(100);
    ASSERT_TRUE(testing::HaveSharedData());
    obs_ = Compressed(SharedData("rinex/07590920.05o"));
    compact_ = Compressed(SharedData("crinex/wsra0010.21d"));
    nav_ = ReadFile(SharedData("compress/brdc2800.15n.Z"));
    ASSERT_FALSE(obs_.empty());
    ASSERT_FALSE(compact_.empty());

    Internet = InternetBinding{};
    ASSERT_EQ(CodeOf(BindInternetLibrary("wininet.dll", &Internet)), 0) << LastErrorText;
    real_close = Internet.InternetCloseHandle;
    Internet.InternetCloseHandle = RecordingClose;
    closed_handles.clear();
    ASSERT_EQ(::chdir(work_.path().c_str()), 0);
  }
  void TearDown() override {
    if (real_close != nullptr) Internet.InternetCloseHandle = real_close;
    if (catalogue_.pServices != nullptr) vClearMem(&catalogue_);
    SetCatalogueServerForTesting(nullptr);
    SetRetryPauseDivisorForTesting(1);
  }

  void Put(const std::string& remote, const std::string& content) {
    std::filesystem::path path = root_.path() + remote;
    std::filesystem::create_directories(path.parent_path());
    WriteFile(path.string(), content);
  }

  // Starts the server on the archive tree and loads a catalogue whose
  // services all point at it.
  void Serve(FtpServerOptions options = {}, bool withIgs = true,
             const std::string& badCompact = "/x/<HH>") {
    options.root = root_.path();
    server_ = std::make_unique<FtpServer>(options);
    ASSERT_TRUE(server_->running()) << server_->error();
    std::string address = server_->Address();
    std::string text =
        "Service {\nServId: ABC\nftpAd: " + address +
        "\noFile: /pub/rinex/<YYYY>/<JJJ>/<XXXX><JJJ>0.<yy>o.Z"
        "\nnFile: /pub/rinex/<YYYY>/<JJJ>/<XXXX><JJJ>0.<yy>n.Z"
        "\ndFile: /pub/crx/<YYYY>/<JJJ>/<XXXX><JJJ>0.<yy>d.Z\nFtype: Z\n}\n"
        "Service {\nServId: NOD\nftpAd: " +
        address +
        "\noFile: /nod/<XXXX><JJJ>0.<yy>o.Z\nnFile: /nod/<XXXX><JJJ>0.<yy>n.Z\nFtype: Z\n}\n"
        "Service {\nServId: BAD\nftpAd: " +
        address + "\noFile: /nod/<XXXX><JJJ>0.<yy>o.Z\nnFile: /nod/<XXXX><JJJ>0.<yy>n.Z\ndFile: " +
        badCompact + "\nFtype: Z\n}\n";
    if (withIgs)
      text += "Service {\nServId: igs\nftpAd: " + address +
              "\noFile: /igs/<XXXX><JJJ>0.<yy>o.Z\nnFile: /igs/nav/<XXXX><JJJ>0.<yy>n.Z"
              "\nFtype: gz\n}\n";
    const char* stations[][2] = {
        {"abcd", "ABC"}, {"efgh", "NOD"}, {"ijkl", "BAD"}, {"igsx", "IGS"}};
    for (const auto& station : stations)
      text += std::string("Station {\nsName: ") + station[0] +
              "\nlat: 45 0 0 N\nlon: 75 0 0 W\nht: 100\nserv: " + station[1] + "\n}\n";
    WriteFile(catalogue_dir_.File("manufact.dwn"), text);
    catalogue_.iServiceSize = sizeof(ServiceRecord);
    catalogue_.iStationSize = sizeof(StationRecord);
    std::string directory = catalogue_dir_.path();
    ASSERT_EQ(iInitalizeNEW(directory.data(), work_.path().c_str(), &catalogue_), 0)
        << LastErrorText;
  }

  DayFiles Job(const char* station) {
    DayFiles job;
    std::memset(&job, 0, sizeof job);
    for (int32_t i = 0; i < catalogue_.iNumStations; ++i)
      if (std::strcmp(catalogue_.pStations[i].sName, station) == 0)
        job.station = &catalogue_.pStations[i];
    EXPECT_NE(job.station, nullptr);
    if (job.station != nullptr) job.service = FindService(job.station->serv);
    EXPECT_NE(job.service, nullptr);
    job.day.seconds = kFeb3rd2002;
    job.day.ComputeFromSeconds();
    return job;
  }

  // Every handle was closed once: no handle twice, `count` in all.
  void ExpectClosedOnce(size_t count) {
    std::set<HINTERNET> distinct(closed_handles.begin(), closed_handles.end());
    EXPECT_EQ(distinct.size(), closed_handles.size()) << "a handle was closed twice";
    EXPECT_EQ(closed_handles.size(), count);
    EXPECT_EQ(distinct.count(nullptr), 0u);
  }

  std::string Local(const char* name) { return work_.File(name); }

  testing::CurrentDirGuard directory_guard_;
  ScratchDir root_;
  ScratchDir work_;
  ScratchDir catalogue_dir_;
  Serv_Sta catalogue_{};
  std::unique_ptr<FtpServer> server_;
  std::string obs_, compact_, nav_;
};

TEST_F(DownloadTest, DayArrivesOverAnAnonymousLogin) {
  Put("/pub/rinex/2002/034/abcd0340.02o.Z", obs_);
  Put("/pub/rinex/2002/034/abcd0340.02n.Z", nav_);
  Serve();
  StatusRecorder recorder;
  DayFiles job = Job("abcd");
  ASSERT_EQ(OneOrZero(DownloadDay(LibraryTransferLink(), &job)), 1) << LastErrorText;
  EXPECT_EQ(job.compactUsed, 0);
  EXPECT_EQ(ReadFile(Local("abcd0340.02o.Z")), obs_);
  EXPECT_EQ(ReadFile(Local("abcd0340.02n.Z")), nav_);
  EXPECT_FALSE(Exists(Local("abcd0340.02o.Z.part")));
  EXPECT_EQ(job.day.dayOfYear, 34);

  EXPECT_EQ(server_->CountLog("USER anonymous"), 1);
  EXPECT_EQ(server_->CountLog("PASS anonymous@"), 1);
  EXPECT_TRUE(recorder.Has(STATUS_TEXT, "FTP Starting"));
  EXPECT_TRUE(recorder.Has(STATUS_TEXT, "Internet Connection Made"));
  EXPECT_TRUE(recorder.Has(STATUS_CONNECTING, server_->Address()));
  EXPECT_TRUE(recorder.Has(STATUS_TEXT, "Connected to FTP Server " + server_->Address()));
  EXPECT_TRUE(recorder.Has(STATUS_FILE_REQUEST, "/pub/rinex/2002/034/abcd0340.02o.Z"));
  EXPECT_TRUE(recorder.Has(STATUS_FILE_REQUEST, "/pub/rinex/2002/034/abcd0340.02n.Z"));
  EXPECT_EQ(recorder.Count(STATUS_TEXT, "File Downloaded"), 2);
  EXPECT_TRUE(recorder.Has(STATUS_TEXT, "Finished Downloading File: abcd0340.02o.Z"));
  EXPECT_EQ(recorder.Count(STATUS_FTP_REQUEST_DONE), 3) << "login and two transfers";
  EXPECT_GT(recorder.Count(STATUS_FTP_RECEIVED), 0) << "server replies while connecting";
  int last_kilobytes = 0;
  for (const auto& status : recorder.All())
    if (status.code == STATUS_FTP_RECEIVED_RATE) last_kilobytes = status.value1;
  EXPECT_EQ(last_kilobytes, static_cast<int>(nav_.size() / 1024));
  ExpectClosedOnce(2);
}

TEST_F(DownloadTest, UserWithoutPasswordGetsTheAnonymousPassword) {
  Put("/nod/efgh0340.02o.Z", obs_);
  Put("/nod/efgh0340.02n.Z", nav_);
  FtpServerOptions options;
  options.users = {"surveyor:anonymous@"};
  Serve(options);
  DayFiles job = Job("efgh");
  job.userName = "surveyor";
  ASSERT_EQ(OneOrZero(DownloadDay(LibraryTransferLink(), &job)), 1) << LastErrorText;
  EXPECT_EQ(server_->CountLog("USER surveyor"), 1);
  EXPECT_EQ(server_->CountLog("PASS anonymous@"), 1);
}

TEST_F(DownloadTest, MissingObservationWithoutCompactFileFailsTheDay) {
  Put("/nod/efgh0340.02n.Z", nav_);
  Serve();
  StatusRecorder recorder;
  DayFiles job = Job("efgh");
  EXPECT_EQ(OneOrZero(DownloadDay(LibraryTransferLink(), &job)), 0);
  EXPECT_STREQ(
      LastErrorText,
      "Error unable to download file efgh0340.02o.Z.\n    the file does not exist on the FTP "
      "server");
  EXPECT_EQ(recorder.Count(STATUS_ERROR, "Error in GetFile"), 1);
  EXPECT_FALSE(Exists(Local("efgh0340.02o.Z")));
  ExpectClosedOnce(2);
}

TEST_F(DownloadTest, MissingObservationFallsBackToTheCompactFile) {
  Put("/pub/crx/2002/034/abcd0340.02d.Z", compact_);
  Put("/pub/rinex/2002/034/abcd0340.02n.Z", nav_);
  Serve();
  DayFiles job = Job("abcd");
  ASSERT_EQ(OneOrZero(DownloadDay(LibraryTransferLink(), &job)), 1) << LastErrorText;
  EXPECT_EQ(job.compactUsed, 1);
  EXPECT_EQ(ReadFile(Local("abcd0340.02d.Z")), compact_);
  EXPECT_FALSE(Exists(Local("abcd0340.02o.Z")));
}

TEST_F(DownloadTest, MissingNavigationComesFromIgsOverASecondConnection) {
  Put("/pub/rinex/2002/034/abcd0340.02o.Z", obs_);
  // Not under the IGS service's own template, only under the fixed one.
  Put("/pub/rinex/2002/034/auto0340.02n.Z", nav_);
  Serve();
  StatusRecorder recorder;
  DayFiles job = Job("abcd");
  ASSERT_EQ(OneOrZero(DownloadDay(LibraryTransferLink(), &job)), 1) << LastErrorText;
  EXPECT_EQ(ReadFile(Local("abcd0340.02n.Z")), nav_);
  EXPECT_STREQ(job.navType, "gz") << "unpacked as the IGS service packs";
  EXPECT_TRUE(
      recorder.Has(STATUS_TEXT, "Unable to get NAV File will now try getting igs auto NAV file"));
  EXPECT_EQ(server_->CountLog("CONNECT"), 2);
  EXPECT_EQ(server_->CountLog("RETR /igs/nav/auto0340.02n.Z"), 0) << "refused by SIZE already";
  EXPECT_EQ(server_->CountLog("SIZE /igs/nav/auto0340.02n.Z"), 1);
  EXPECT_EQ(server_->CountLog("RETR /pub/rinex/2002/034/auto0340.02n.Z"), 1);
  ExpectClosedOnce(3);
}

TEST_F(DownloadTest, IgsStationFallsBackOverItsOwnConnection) {
  Put("/igs/igsx0340.02o.Z", obs_);
  Put("/igs/nav/auto0340.02n.Z", nav_);
  Serve();
  DayFiles job = Job("igsx");
  ASSERT_EQ(OneOrZero(DownloadDay(LibraryTransferLink(), &job)), 1) << LastErrorText;
  EXPECT_EQ(ReadFile(Local("igsx0340.02n.gz")), nav_);
  EXPECT_EQ(server_->CountLog("CONNECT"), 1);
  ExpectClosedOnce(2);
}

TEST_F(DownloadTest, NavigationFallbackFailures) {
  Put("/pub/rinex/2002/034/abcd0340.02o.Z", obs_);
  Serve({}, /*withIgs=*/true);
  DayFiles job = Job("abcd");
  EXPECT_EQ(OneOrZero(DownloadDay(LibraryTransferLink(), &job)), 0);
  EXPECT_STREQ(LastErrorText,
               "Error unable to Download File /pub/rinex/2002/034/auto0340.02n.Z. The file may not "
               "exist for that time period");
  ExpectClosedOnce(3);
}

TEST_F(DownloadTest, WithoutIgsServiceTheMissingNavigationFailsTheDay) {
  Put("/pub/rinex/2002/034/abcd0340.02o.Z", obs_);
  Serve({}, /*withIgs=*/false);
  StatusRecorder recorder;
  DayFiles job = Job("abcd");
  EXPECT_EQ(OneOrZero(DownloadDay(LibraryTransferLink(), &job)), 0);
  EXPECT_STREQ(LastErrorText, "IGS not found in service list");
  EXPECT_EQ(server_->CountLog("CONNECT"), 1);
  ExpectClosedOnce(2);
}

TEST_F(DownloadTest, RefusedLoginFailsTheConnection) {
  FtpServerOptions options;
  options.refuseLogin = true;
  Serve(options);
  StatusRecorder recorder;
  DayFiles job = Job("abcd");
  EXPECT_EQ(OneOrZero(DownloadDay(LibraryTransferLink(), &job)), 0);
  EXPECT_EQ(recorder.Count(STATUS_ERROR, "Error in FTP Connect"), 1);
  EXPECT_STREQ(LastErrorText,
               "Error the server 127.0.0.1 refused the login. Check the user name and password "
               "(given with the request, in the catalogue or in the netrc file)");
  ExpectClosedOnce(1);
}

TEST_F(DownloadTest, ConnectionCutMidTransferLeavesNoFile) {
  Put("/nod/efgh0340.02o.Z", obs_);
  FtpServerOptions options;
  options.drops = {{"*o.Z", 2000}};
  Serve(options);
  DayFiles job = Job("efgh");
  EXPECT_EQ(OneOrZero(DownloadDay(LibraryTransferLink(), &job)), 0);
  EXPECT_STREQ(LastErrorText,
               "Error unable to download file efgh0340.02o.Z.\n    the transfer was cut: the "
               "connection to 127.0.0.1 ended before the whole file arrived");
  EXPECT_FALSE(Exists(Local("efgh0340.02o.Z")));
  EXPECT_FALSE(Exists(Local("efgh0340.02o.Z.part")));
}

TEST_F(DownloadTest, StopDuringATransferEndsTheDayAndClosesItsConnectionOnce) {
  Put("/pub/rinex/2002/034/abcd0340.02o.Z", obs_);
  Put("/pub/crx/2002/034/abcd0340.02d.Z", compact_);
  FtpServerOptions options;
  options.trickleBytesPerSecond = 4096;
  Serve(options);
  StatusRecorder recorder;
  // The host presses stop from the internet library's thread when the
  // first bytes of the file arrive.
  recorder.OnEach([](const testing::SeenStatus& status) {
    if (status.code == STATUS_FTP_RECEIVED_RATE) StopFtpProcessing();
  });
  DayFiles job = Job("abcd");
  EXPECT_EQ(OneOrZero(DownloadDay(LibraryTransferLink(), &job)), 0);
  EXPECT_EQ(recorder.Count(STATUS_ERROR, "Program Stopped in GetFile"), 1);
  EXPECT_STREQ(LastErrorText, "FTPGETFILE ended at the user's request");
  ASSERT_EQ(closed_handles.size(), 2u);
  ExpectClosedOnce(2);
  EXPECT_EQ(server_->CountLog("RETR "), 1) << "no compact fallback after a stop";
  EXPECT_FALSE(Exists(Local("abcd0340.02o.Z")));
  EXPECT_FALSE(Exists(Local("abcd0340.02o.Z.part")));
}

TEST_F(DownloadTest, StopWhileConnectingEndsTheWait) {
  FtpServerOptions options;
  options.silent = true;
  Serve(options);
  StatusRecorder recorder;
  FtpStopCount = 1;
  DayFiles job = Job("abcd");
  EXPECT_EQ(OneOrZero(DownloadDay(LibraryTransferLink(), &job)), 0);
  EXPECT_EQ(recorder.Count(STATUS_ERROR, "Program Stopped in FTPConnect"), 1);
  EXPECT_STREQ(LastErrorText, "User requested to shutdown.  Datacollator has been stopped");
  ExpectClosedOnce(1);
}

TEST_F(DownloadTest, RequestRefusedAtOnceDoesNotWait) {
  Serve();
  ServiceRecord unreachable{};
  std::strcpy(unreachable.ServId, "BROKEN");
  std::strcpy(unreachable.ftpAd, "no such host!");
  std::strcpy(unreachable.Ftype, "Z");
  DayFiles job = Job("abcd");
  job.service = &unreachable;
  EXPECT_EQ(OneOrZero(DownloadDay(LibraryTransferLink(), &job)), 0);
  EXPECT_STREQ(LastErrorText,
               "Error Unable to connect to FTP Server. Server could be down or you may not have an "
               "internet connection");

  // An empty remote path is refused by FtpGetFileA itself.
  std::strcpy(unreachable.ftpAd, server_->Address().c_str());
  job.service = &unreachable;
  EXPECT_EQ(OneOrZero(DownloadDay(LibraryTransferLink(), &job)), 0);
  EXPECT_STREQ(
      LastErrorText,
      "Error unable to download file abcd0340.02o.Z.\n    The file may not exist for that day");
  EXPECT_EQ(server_->CountLog("RETR "), 0);
}

TEST_F(DownloadTest, BadCompactTemplateIsReportedOnceThenSwitchedOff) {
  Put("/nod/ijkl0340.02o.Z", obs_);
  Put("/nod/ijkl0340.02n.Z", nav_);
  Serve();
  StatusRecorder recorder;
  DayFiles job = Job("ijkl");
  ASSERT_EQ(static_cast<int>(job.service->hasDFile), 1);
  ASSERT_EQ(OneOrZero(DownloadDay(LibraryTransferLink(), &job)), 1) << LastErrorText;
  EXPECT_EQ(static_cast<int>(job.service->hasDFile), 0) << "cleared in the loaded catalogue";
  DayFiles next = Job("ijkl");
  next.day.seconds += 86400;
  next.day.ComputeFromSeconds();
  Put("/nod/ijkl0350.02o.Z", obs_);
  Put("/nod/ijkl0350.02n.Z", nav_);
  ASSERT_EQ(OneOrZero(DownloadDay(LibraryTransferLink(), &next)), 1) << LastErrorText;
  EXPECT_EQ(recorder.Count(STATUS_ERROR, "Error in InterprutFileFormat"), 1);
}

// A working directory on a 64 KiB file system; the observation file is
// larger.
TEST_F(DownloadTest, FullDiskEndsTheTransfer) {
  Put("/nod/efgh0340.02o.Z", ReadFile(SharedData("highrate/glw1277m.18o")));
  Serve();
  ScratchDir small;
  bool mounted = ::mount("tmpfs", small.path().c_str(), "tmpfs", 0, "size=64k") == 0;
  if (mounted) {
    ASSERT_EQ(::chdir(small.path().c_str()), 0);
    DayFiles job = Job("efgh");
    EXPECT_EQ(OneOrZero(DownloadDay(LibraryTransferLink(), &job)), 0);
    EXPECT_STREQ(LastErrorText, "Error disk full!");
    EXPECT_FALSE(Exists(small.File("efgh0340.02o.Z.part")));
    ASSERT_EQ(::chdir(work_.path().c_str()), 0);
    ::umount(small.path().c_str());
    return;
  }
  // Without the right to mount: a file-size limit in a child process.
  pid_t child = ::fork();
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit = {65536, 65536};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    DayFiles job = Job("efgh");
    int ok = OneOrZero(DownloadDay(LibraryTransferLink(), &job)) == 0 &&
             std::strcmp(LastErrorText, "Error disk full!") == 0;
    ::_exit(ok ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST_F(DownloadTest, CatalogueFileComesFromTheCatalogueAccount) {
  Put("/catalogue/manufact.dwn", "Service {\nServId: X\n}\n");
  FtpServerOptions options;
  options.noAnonymous = true;
  options.users = {"download:getfiles5308:catalogue"};
  Serve(options);
  SetCatalogueServerForTesting(server_->Address().c_str());
  StatusRecorder recorder;
  ScratchDir destination;
  std::string directory = destination.path();
  ASSERT_EQ(iGetManfactFile(directory.data()), 0) << LastErrorText;
  EXPECT_EQ(directory, destination.path()) << "the host's text is not changed";
  EXPECT_EQ(ReadFile(destination.File("manufact.dwn")), "Service {\nServId: X\n}\n");
  EXPECT_EQ(server_->CountLog("USER download"), 1);
  EXPECT_EQ(server_->CountLog("PASS getfiles5308"), 1);
  EXPECT_EQ(server_->CountLog("RETR manufact.dwn"), 1) << "relative to the login directory";
  EXPECT_TRUE(recorder.Has(STATUS_TEXT, "FTP Starting"));
  ExpectClosedOnce(2);

  std::string long_directory(240, 'd');
  EXPECT_EQ(iGetManfactFile(long_directory.data()), -1);
  EXPECT_EQ(std::string(LastErrorText), "Path is too long " + long_directory);
}

}  // namespace
}  // namespace stanvex
