// A day's files from services with mirrors, long names and alternatives,
// against loopback FTP servers on different 127.0.0.x addresses: a primary
// that is down, lacks the day or cuts the transfer, each with a mirror that
// has the file; retries and their pauses; alternatives tried in order.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
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
#include "transfer/download.h"
#include "transfer/retry_policy.h"

namespace stanvex {
namespace {

using testing::CodeOf;
using testing::OneOrZero;

using testing::FtpServer;
using testing::FtpServerOptions;
using testing::ReadFile;
using testing::ScratchDir;
using testing::StatusRecorder;
using testing::WriteFile;

const char* const kObsR = "/obs/2002/034/ZIMM00CHE_R_20020340000_01D_30S_MO.crx.gz";
const char* const kObsS = "/obs/2002/034/ZIMM00CHE_S_20020340000_01D_30S_MO.crx.gz";
const char* const kLongNameNav = "/nav/2002/034/BRDC00IGS_R_20020340000_01D_MN.rnx.gz";

// "host:port" of a loopback address where nothing listens.
std::string ClosedAddress(const char* host) {
  int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  ::inet_pton(AF_INET, host, &address.sin_addr);
  socklen_t length = sizeof address;
  int port = 0;
  if (::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0)
    port = ntohs(address.sin_port);
  ::close(s);
  return std::string(host) + ":" + std::to_string(port);
}

// Bytes that do not repeat, long enough to be cut half way.
std::string Payload(char seed, size_t size = 60000) {
  std::string bytes(size, '\0');
  uint32_t state = static_cast<unsigned char>(seed) * 2654435761u + 1;
  for (char& c : bytes) {
    state = state * 1103515245u + 12345u;
    c = static_cast<char>(state >> 24);
  }
  return bytes;
}

int CountContaining(const FtpServer& server, const std::string& text) {
  int count = 0;
  for (const auto& line : server.LogLines())
    if (line.find(text) != std::string::npos) ++count;
  return count;
}

class MirrorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetLibraryStateForTesting();
    SetRetryPauseDivisorForTesting(100);
    Internet = InternetBinding{};
    ASSERT_EQ(CodeOf(BindInternetLibrary("wininet.dll", &Internet)), 0) << LastErrorText;
    ASSERT_EQ(::chdir(work_.path().c_str()), 0);
  }
  void TearDown() override {
    SetRetryPauseDivisorForTesting(1);
    if (catalogue_.pServices != nullptr) vClearMem(&catalogue_);
  }

  static void Put(const ScratchDir& root, const std::string& remote, const std::string& content) {
    std::filesystem::path path = root.path() + remote;
    std::filesystem::create_directories(path.parent_path());
    WriteFile(path.string(), content);
  }

  // Starts a server for root on host with options.
  std::unique_ptr<FtpServer> Start(const ScratchDir& root, const char* host,
                                   FtpServerOptions options = {}) {
    options.root = root.path();
    options.host = host;
    options.lifetimeSeconds = 120;
    auto server = std::make_unique<FtpServer>(options);
    EXPECT_TRUE(server->running()) << server->error();
    return server;
  }

  // Service BKG (long names, _R_|_S_ compact alternatives) at addresses,
  // station zimm with its long name; an IGS service at igsAddresses when
  // given.
  void Load(const std::string& addresses, const std::string& igsAddresses = "",
            const std::string& compact =
                "/obs/<YYYY>/<JJJ>/<XXXXMRCCC>_R_<YYYY><JJJ>0000_01D_30S_MO.crx.gz|"
                "/obs/<YYYY>/<JJJ>/<XXXXMRCCC>_S_<YYYY><JJJ>0000_01D_30S_MO.crx.gz") {
    std::string text =
        "Service {\n ServId: BKG\n ftpAd: " + addresses +
        "\n oFile: /obs/<YYYY>/<JJJ>/<XXXXMRCCC>_R_<YYYY><JJJ>0000_01D_30S_MO.rnx.gz"
        "\n nFile: /nav/<YYYY>/<JJJ>/BRDC00IGS_R_<YYYY><JJJ>0000_01D_MN.rnx.gz\n" +
        (compact.empty() ? "" : " dFile: " + compact + "\n") + " Ftype: gz\n}\n" +
        "Station {\n sName: zimm\n lName: ZIMM00CHE\n lat: 46 52 37 N\n lon: 7 27 55 E\n"
        " ht: 956\n serv: BKG\n}\n";
    if (!igsAddresses.empty())
      text += "Service {\n ServId: IGS\n ftpAd: " + igsAddresses +
              "\n oFile: /igs/<XXXX>.o\n"
              " nFile: /IGS/BRDC/<YYYY>/<JJJ>/BRDC00IGS_R_<YYYY><JJJ>0000_01D_MN.rnx.gz\n"
              " Ftype: Z\n}\n";
    WriteFile(catalogue_dir_.File("manufact.dwn"), text);
    catalogue_.iServiceSize = sizeof(ServiceRecord);
    catalogue_.iStationSize = sizeof(StationRecord);
    std::string directory = catalogue_dir_.path();
    ASSERT_EQ(iInitalizeNEW(directory.data(), work_.path().c_str(), &catalogue_), 0)
        << LastErrorText;
  }

  DayFiles Job() {
    DayFiles job;
    std::memset(&job, 0, sizeof job);
    job.station = &catalogue_.pStations[0];
    job.service = FindService(job.station->serv);
    job.day.seconds = kFeb3rd2002;
    job.day.ComputeFromSeconds();
    return job;
  }

  std::string Local(const char* name) { return work_.File(name); }

  testing::CurrentDirGuard directory_guard_;
  ScratchDir primary_root_, mirror_root_, work_, catalogue_dir_;
  Serv_Sta catalogue_{};
  std::string crx_ = Payload('c'), nav_ = Payload('n', 3000);
};

TEST_F(MirrorTest, PrimaryDownMirrorServesAfterTwoRetries) {
  Put(mirror_root_, kObsR, crx_);
  Put(mirror_root_, kLongNameNav, nav_);
  auto mirror = Start(mirror_root_, "127.0.0.3");
  std::string down = ClosedAddress("127.0.0.2");
  Load(down + " " + mirror->Address());
  StatusRecorder recorder;
  DayFiles job = Job();
  ASSERT_EQ(OneOrZero(DownloadDay(LibraryTransferLink(), &job)), 1) << LastErrorText;
  EXPECT_EQ(job.compactUsed, 1);
  EXPECT_EQ(ReadFile(Local("zimm0340.02d.gz")), crx_) << "stored under the day's short name";
  EXPECT_EQ(ReadFile(Local("zimm0340.02n.gz")), nav_);
  EXPECT_STREQ(job.remoteCompact, kObsR);
  EXPECT_TRUE(recorder.Has(STATUS_TEXT, "Trying again in 1 s (second attempt of 3): " + down));
  EXPECT_TRUE(recorder.Has(STATUS_TEXT, "Trying again in 4 s (third attempt of 3): " + down));
  EXPECT_EQ(recorder.Count(STATUS_CONNECTING, down), 3) << "the down address is not tried again "
                                                           "for the navigation file";
  EXPECT_TRUE(recorder.Has(STATUS_TEXT, "Trying the next address of the service: " +
                                            mirror->Address()));
  EXPECT_EQ(recorder.Count(STATUS_TEXT, "File served by " + mirror->Address()), 2);
  EXPECT_EQ(mirror->CountLog("CONNECT"), 1) << "one connection for both files";
}

TEST_F(MirrorTest, PrimaryWithoutTheDayMirrorServesEachFileFromWhereItIs) {
  Put(primary_root_, kLongNameNav, nav_);
  Put(mirror_root_, kObsS, crx_);
  FtpServerOptions options;
  options.users = {"alice:s3cret"};
  auto primary = Start(primary_root_, "127.0.0.2", options);
  auto mirror = Start(mirror_root_, "127.0.0.3");
  Load(primary->Address() + " " + mirror->Address());
  StatusRecorder recorder;
  DayFiles job = Job();
  job.userName = "alice";
  job.password = "s3cret";
  ASSERT_EQ(OneOrZero(DownloadDay(LibraryTransferLink(), &job)), 1) << LastErrorText;
  EXPECT_EQ(ReadFile(Local("zimm0340.02d.gz")), crx_);
  EXPECT_EQ(ReadFile(Local("zimm0340.02n.gz")), nav_);
  EXPECT_STREQ(job.remoteCompact, kObsS) << "the alternative that arrived";
  // A missing file is final: each path asked once at the primary, no retry.
  EXPECT_EQ(CountContaining(*primary, kObsR), 1);
  EXPECT_EQ(CountContaining(*primary, kObsS), 1);
  EXPECT_EQ(recorder.Count(STATUS_TEXT, "File served by " + mirror->Address()), 1);
  EXPECT_EQ(recorder.Count(STATUS_TEXT, "File served by " + primary->Address()), 1);
  EXPECT_EQ(recorder.Count(STATUS_TEXT, "Trying again in 1 s (second attempt of 3): " +
                                            std::string(kObsR)),
            0);
  // The mirror is another server: the account stays with the primary.
  EXPECT_EQ(primary->CountLog("USER alice"), 1);
  EXPECT_EQ(mirror->CountLog("USER alice"), 0);
  EXPECT_EQ(mirror->CountLog("PASS s3cret"), 0);
  EXPECT_EQ(mirror->CountLog("USER anonymous"), 1);
}

TEST_F(MirrorTest, PrimaryCuttingTheTransferIsRetriedThenTheMirrorServes) {
  Put(primary_root_, kObsR, crx_);
  Put(primary_root_, kLongNameNav, nav_);
  Put(mirror_root_, kObsR, crx_);
  FtpServerOptions options;
  options.drops = {{"*MO.crx.gz", 2000}};
  auto primary = Start(primary_root_, "127.0.0.2", options);
  auto mirror = Start(mirror_root_, "127.0.0.3");
  Load(primary->Address() + " " + mirror->Address());
  StatusRecorder recorder;
  DayFiles job = Job();
  ASSERT_EQ(OneOrZero(DownloadDay(LibraryTransferLink(), &job)), 1) << LastErrorText;
  EXPECT_EQ(ReadFile(Local("zimm0340.02d.gz")), crx_) << "the whole file, not the cut one";
  EXPECT_EQ(primary->CountLog(std::string("RETR ") + kObsR), 3) << "first try and two retries";
  EXPECT_EQ(CountContaining(*primary, kObsS), 0)
      << "a server that cuts transfers is left, not asked for the next alternative";
  EXPECT_EQ(mirror->CountLog(std::string("RETR ") + kObsR), 1);
  EXPECT_TRUE(recorder.Has(STATUS_TEXT, "Trying again in 4 s (third attempt of 3): " +
                                            std::string(kObsR)));
  EXPECT_FALSE(std::filesystem::exists(Local("zimm0340.02d.gz.part")));
}

TEST_F(MirrorTest, MissingEverywhereFailsWithTheLastAttemptsText) {
  auto primary = Start(primary_root_, "127.0.0.2");
  Load(primary->Address(), "", "");
  StatusRecorder recorder;
  DayFiles job = Job();
  EXPECT_EQ(OneOrZero(DownloadDay(LibraryTransferLink(), &job)), 0);
  EXPECT_STREQ(LastErrorText,
               "Error unable to download file zimm0340.02o.gz.\n    the file does not exist on "
               "the FTP server");
  EXPECT_EQ(CountContaining(*primary, "ZIMM00CHE_R_20020340000_01D_30S_MO.rnx.gz"), 1)
      << "asked once: a missing file is not retried";
  EXPECT_EQ(recorder.Count(STATUS_ERROR, "Error in GetFile"), 1);
}

TEST_F(MirrorTest, StopDuringARetryPauseEndsItAtOnce) {
  SetRetryPauseDivisorForTesting(1);  // the real pauses: 1 s, then 4 s
  auto mirror = Start(mirror_root_, "127.0.0.3");
  Load(ClosedAddress("127.0.0.2") + " " + mirror->Address());
  StatusRecorder recorder;
  recorder.OnEach([](const testing::SeenStatus& status) {
    if (status.code == STATUS_TEXT && status.text.rfind("Trying again in", 0) == 0)
      StopFtpProcessing();
  });
  DayFiles job = Job();
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(OneOrZero(DownloadDay(LibraryTransferLink(), &job)), 0);
  auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_LT(elapsed, std::chrono::milliseconds(900)) << "the 1 s pause ran on";
  EXPECT_EQ(recorder.Count(STATUS_ERROR, "Program Stopped in FTPConnect"), 1);
  EXPECT_STREQ(LastErrorText, "User requested to shutdown.  Datacollator has been stopped");
  EXPECT_EQ(mirror->CountLog("CONNECT"), 0) << "nothing more after a stop";
}

TEST_F(MirrorTest, StopDuringATransferRetryPauseEndsItAtOnce) {
  SetRetryPauseDivisorForTesting(1);
  Put(primary_root_, kObsR, crx_);
  FtpServerOptions options;
  options.drops = {{"*MO.crx.gz", 2000}};
  auto primary = Start(primary_root_, "127.0.0.2", options);
  Load(primary->Address());
  StatusRecorder recorder;
  recorder.OnEach([](const testing::SeenStatus& status) {
    if (status.code == STATUS_TEXT && status.text.rfind("Trying again in", 0) == 0)
      StopFtpProcessing();
  });
  DayFiles job = Job();
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(OneOrZero(DownloadDay(LibraryTransferLink(), &job)), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900));
  EXPECT_EQ(recorder.Count(STATUS_ERROR, "Program Stopped in GetFile"), 1);
  EXPECT_STREQ(LastErrorText, "FTPGETFILE ended at the user's request");
  EXPECT_EQ(primary->CountLog(std::string("RETR ") + kObsR), 1);
  EXPECT_EQ(CountContaining(*primary, kObsS), 0);
}

// Twenty dead local mirrors before the one with the day, over several ftpAd
// lines: ten folders that do not exist and ten empty ones. Neither comes
// back on a second try, so none is retried.
TEST_F(MirrorTest, EveryListedAddressIsTriedAndMissingLocalFoldersAreFinal) {
  Put(mirror_root_, kObsR, crx_);
  Put(mirror_root_, kLongNameNav, nav_);
  std::vector<std::string> dead;
  std::string addresses;
  for (int i = 0; i < 20; ++i) {
    const std::string folder = primary_root_.File("m" + std::to_string(i));
    if (i % 2 == 1) std::filesystem::create_directories(folder);
    dead.push_back("file://" + folder);
    addresses += dead.back() + (i % 4 == 3 ? "\n ftpAd: " : " ");
  }
  const std::string good = "file://" + mirror_root_.path();
  Load(addresses + good);
  StatusRecorder recorder;
  DayFiles job = Job();
  ASSERT_EQ(ServiceAddressCount(job.service), 21);
  ASSERT_EQ(OneOrZero(DownloadDay(LibraryTransferLink(), &job)), 1) << LastErrorText;
  EXPECT_EQ(ReadFile(Local("zimm0340.02d.gz")), crx_);
  EXPECT_EQ(ReadFile(Local("zimm0340.02n.gz")), nav_);
  EXPECT_EQ(recorder.Count(STATUS_TEXT, "File served by " + good), 2);
  int retries = 0;
  for (const testing::SeenStatus& status : recorder.All())
    if (status.code == STATUS_TEXT && status.text.rfind("Trying again in", 0) == 0) ++retries;
  EXPECT_EQ(retries, 0) << "no pause before a local folder or file that is not there";
  for (const std::string& address : dead)
    EXPECT_EQ(recorder.Count(STATUS_CONNECTING, address), 1) << address;

  Load(dead[2] + " " + dead[0]);
  job = Job();
  EXPECT_EQ(OneOrZero(DownloadDay(LibraryTransferLink(), &job)), 0);
  EXPECT_EQ(std::string(LastErrorText),
            "Error the folder of the address " + dead[0] + " does not exist");
}

TEST_F(MirrorTest, IgsNavigationFallbackUsesTheIgsMirrors) {
  Put(primary_root_, kObsR, crx_);
  Put(mirror_root_, "/IGS/BRDC/2002/034/BRDC00IGS_R_20020340000_01D_MN.rnx.gz", nav_);
  FtpServerOptions options;
  options.users = {"alice:s3cret"};
  auto primary = Start(primary_root_, "127.0.0.2", options);
  auto igs_mirror = Start(mirror_root_, "127.0.0.4");
  std::string igs_down = ClosedAddress("127.0.0.5");
  Load(primary->Address(), igs_down + " " + igs_mirror->Address());
  StatusRecorder recorder;
  DayFiles job = Job();
  job.userName = "alice";
  job.password = "s3cret";
  ASSERT_EQ(OneOrZero(DownloadDay(LibraryTransferLink(), &job)), 1) << LastErrorText;
  EXPECT_EQ(ReadFile(Local("zimm0340.02n.gz")), nav_) << "under the day's own name";
  EXPECT_STREQ(job.navType, "Z") << "unpacked as the IGS service packs";
  EXPECT_EQ(recorder.Count(STATUS_CONNECTING, igs_down), 3);
  EXPECT_TRUE(recorder.Has(STATUS_TEXT, "File served by " + igs_mirror->Address()));
  EXPECT_EQ(igs_mirror->CountLog("USER anonymous"), 1) << "the IGS archive is a third party";
  EXPECT_EQ(igs_mirror->CountLog("USER alice"), 0);
}

}  // namespace
}  // namespace stanvex
