// Whole retrieval requests against a real FTP server on loopback, serving a
// simulated three-day archive (2022-12-31 to 2023-01-02: a year change and a
// GPS week crossover at the first midnight).
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <future>
#include <regex>
#include <string>
#include <thread>

#include "base/gps_time.h"
#include "base/request_state.h"
#include "ftp_fixture.h"
#include "obsfiles/obn_file.h"
#include "platform/platform.h"
#include "sample_archive_cache.h"
#include "stanvex.h"
#include "status_recorder.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace stanvex {
namespace {

using testing::FtpServer;
using testing::FtpServerOptions;
using testing::ScratchDir;
using testing::StatusRecorder;

struct Station {
  double lat, lon;
};

struct HeldRequest {
  int result;
  std::string lastError;  // read on the request's own thread
};

class RetrievalTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { archive_ = testing::SampleArchive(); }

  void SetUp() override {
    ASSERT_FALSE(archive_.empty()) << "the simulated archive could not be made";
    ResetLibraryStateForTesting();
  }
  void TearDown() override {
    if (catalogue_.pStations != nullptr) vClearMem(&catalogue_);
  }

  // Starts the server over the archive and loads its catalogue with every
  // service moved from its folder to the server.
  void Serve(FtpServerOptions options = {}) {
    if (options.root.empty()) options.root = (fs::path(archive_) / "archive").string();
    server_ = std::make_unique<FtpServer>(options);
    ASSERT_TRUE(server_->running()) << server_->error();
    std::string text = testing::ReadFile((fs::path(archive_) / "catalogue" / "manufact.dwn").string());
    std::regex address("ftpAd: file://[^\\n]*/archive/([a-z]+)");
    text = std::regex_replace(text, address, "ftpAd: ftp://" + server_->Address() + "/$1");
    testing::WriteFile(catalogue_dir_.File("manufact.dwn"), text);
    std::string dir = catalogue_dir_.path();
    std::vector<char> buffer(dir.begin(), dir.end());
    buffer.push_back('\0');
    catalogue_.iServiceSize = sizeof(ServiceRecord);
    catalogue_.iStationSize = sizeof(StationRecord);
    ASSERT_EQ(iInitalizeNEW(buffer.data(), work_.path().c_str(), &catalogue_), 0) << LastError();
  }

  StationRecord* StationNamed(const char* name) {
    for (int i = 0; i < catalogue_.iNumStations; ++i)
      if (std::strncmp(catalogue_.pStations[i].sName, name, 8) == 0) return &catalogue_.pStations[i];
    return nullptr;
  }

  int Fetch(const char* station, int64_t start, int64_t end, double interval = 0,
            int copyOver = 1) {
    StationRecord* record = StationNamed(station);
    EXPECT_NE(record, nullptr) << station;
    std::strncpy(dest_text_, dest_.path().c_str(), sizeof dest_text_ - 1);
    delivered_[0] = '\0';
    return iFTP(static_cast<double>(start), static_cast<double>(end), record, dest_text_, interval,
                delivered_, nullptr, nullptr, copyOver, 0, 1);
  }

  std::string LastError() {
    char text[512];
    iGetLastError(text);
    return text;
  }

  // The delivered file's header interval and epoch count.
  void ReadDelivered(float* interval, int* epochs, double* first, double* last) {
    ObnFile* file = nullptr;
    Result opened = OpenObnForRead(delivered_, kObnBufferSize, &file);
    ASSERT_NE(file, nullptr) << opened.message;
    *interval = file->header.interval;
    *epochs = 0;
    ObnPositionRecord position;
    ObnMeasurementRecord measurements[kObnReaderRoom];
    Result result;
    while (!(result = ReadObnEpoch(file, &position, measurements)).AtEnd()) {
      ASSERT_TRUE(result.ok) << result.message;
      if (*epochs == 0) *first = position.time;
      *last = position.time;
      ++*epochs;
    }
    CloseObn(file);
  }

  // One request at a time: a first iFTP is held in its transfer (its byte
  // report waits on the library's thread) while this thread calls every other
  // request export; then the first is let go. besides runs while it is held.
  HeldRequest RunBesideAHeldRequest(StatusRecorder* recorder,
                                    const std::function<void()>& besides) {
    std::promise<void> held, released;
    std::future<void> release = released.get_future();
    std::atomic<bool> once{false};
    recorder->OnEach([&](const testing::SeenStatus& status) {
      if (status.code != STATUS_FTP_RECEIVED_RATE || once.exchange(true)) return;
      held.set_value();
      release.wait();
    });
    HeldRequest first{};
    std::thread request([&] {
      first.result = Fetch("sima", day2_, day2_ + 3600);
      first.lastError = LastError();
      if (!once.exchange(true)) held.set_value();  // it never reached its transfer
    });
    held.get_future().wait();
    besides();
    released.set_value();
    request.join();
    recorder->OnEach(nullptr);
    return first;
  }

  static inline std::string archive_;
  ScratchDir catalogue_dir_, work_, dest_;
  std::unique_ptr<FtpServer> server_;
  Serv_Sta catalogue_{};
  char dest_text_[256] = {};
  char delivered_[256] = {};
  const int64_t day1_ = testing::ArchiveFirstDay();  // 2022-12-31, GPS seconds
  const int64_t day2_ = day1_ + 86400;
  const int64_t day3_ = day2_ + 86400;
};

TEST_F(RetrievalTest, OneDayArrivesConvertedWithCompanionsAndReportsInOrder) {
  Serve();
  StatusRecorder recorder;
  ASSERT_EQ(Fetch("sima", day2_, day2_ + 86399), 0) << LastError();
  std::string expected = dest_.File("sima0010.obn");
  EXPECT_EQ(std::string(delivered_), expected);
  EXPECT_TRUE(testing::Exists(dest_.File("sima0010.nvb")));
  EXPECT_TRUE(testing::Exists(dest_.File("sima0010.sta")));
  EXPECT_FALSE(testing::Exists(work_.File("sima0010.obn")));

  std::vector<int> codes = recorder.MainCodes();
  ASSERT_GE(codes.size(), 4u);
  EXPECT_EQ(codes.front(), STATUS_OUTPUT_PATH);
  EXPECT_EQ(codes.back(), STATUS_REQUEST_DONE);
  EXPECT_EQ(recorder.Count(STATUS_DAY_DONE), 1);
  EXPECT_EQ(recorder.Count(STATUS_CONVERT_DONE), 1);
  EXPECT_EQ(recorder.Count(STATUS_CONCAT_START), 0);  // a single day is not joined
  EXPECT_EQ(recorder.Count(STATUS_SPLICE_START), 1);
  EXPECT_TRUE(recorder.Headings().empty());

  AvgPosition average{};
  double start = 0, end = 0;
  int32_t valid = 0;
  NewGetAvgOBNPos(delivered_, &average, &start, &end, &valid);
  EXPECT_EQ(valid, 1);
  EXPECT_NEAR(average.position1, 46 + 52 / 60.0 + 37.5012 / 3600, 2e-5);  // about 2 m
  EXPECT_NEAR(average.position2, 7 + 27 / 60.0 + 53.2107 / 3600, 3e-5);
  EXPECT_DOUBLE_EQ(start, static_cast<double>(day2_));
  EXPECT_DOUBLE_EQ(end, static_cast<double>(day2_ + 86370));
}

TEST_F(RetrievalTest, WindowEndingTwoMinutesIntoADayFetchesThatDay) {
  Serve();
  StatusRecorder recorder;
  // Ending at 00:01:59 keeps to one day; at 00:02:00 the next day is fetched.
  ASSERT_EQ(Fetch("simc", day2_ + 82800, day3_ + 119), 0) << LastError();
  ASSERT_EQ(recorder.Count(STATUS_DAY_DONE), 1);
  ASSERT_EQ(Fetch("simc", day2_ + 82800, day3_ + 120), 0) << LastError();
  EXPECT_EQ(recorder.Count(STATUS_DAY_DONE), 3);
  EXPECT_EQ(recorder.All().back().code, STATUS_REQUEST_DONE);
  float interval;
  int epochs;
  double first, last;
  ReadDelivered(&interval, &epochs, &first, &last);
  // 23:00:00 to 00:02:00 at 30 s, both ends included.
  EXPECT_EQ(epochs, 125);
  EXPECT_FLOAT_EQ(interval, 30.0f);
}

TEST_F(RetrievalTest, YearChangeAtAWeekCrossoverKeepsTheDataBeforeIt) {
  Serve();
  StatusRecorder recorder;
  ASSERT_EQ(Fetch("simc", day1_ + 82800, day2_ + 3600), 0) << LastError();
  EXPECT_EQ(recorder.Count(STATUS_DAY_DONE), 2);
  EXPECT_EQ(recorder.Count(STATUS_CONCAT_START), 1);
  ASSERT_EQ(recorder.Count(STATUS_WEEK_CROSSOVER), 1);
  // The output takes the first day's name (day 365 of 2022).
  EXPECT_EQ(std::string(delivered_), dest_.File("simc3650.obn"));
  float interval;
  int epochs;
  double first, last;
  ReadDelivered(&interval, &epochs, &first, &last);
  EXPECT_EQ(epochs, 120);  // 23:00:00 to 23:59:30 of the Saturday
  EXPECT_DOUBLE_EQ(first, 604800.0 - 3600);
  EXPECT_DOUBLE_EQ(last, 604800.0 - 30);
}

TEST_F(RetrievalTest, ThreeDaysOfZipArchivesJoin) {
  Serve();
  StatusRecorder recorder;
  ASSERT_EQ(Fetch("simd", day2_, day3_ + 86400), 0) << LastError();
  EXPECT_EQ(recorder.Count(STATUS_DAY_DONE), 2);
  ASSERT_EQ(Fetch("simd", day1_ + 86000, day3_ + 86400), 0) << LastError();
  EXPECT_EQ(recorder.All().back().code, STATUS_REQUEST_DONE);
  int days = 0;
  for (const testing::SeenStatus& s : recorder.All())
    if (s.code == STATUS_DAY_DONE && s.value2 == 3) ++days;
  EXPECT_EQ(days, 3);
}

TEST_F(RetrievalTest, IntervalThinsOrInterpolates) {
  Serve();
  float interval;
  int epochs;
  double first, last;
  ASSERT_EQ(Fetch("sima", day2_ + 3600, day2_ + 7200, 60), 0) << LastError();
  ReadDelivered(&interval, &epochs, &first, &last);
  EXPECT_FLOAT_EQ(interval, 60.0f);
  EXPECT_EQ(epochs, 61);

  StatusRecorder recorder;
  ASSERT_EQ(Fetch("sima", day2_ + 3600, day2_ + 7200, 10), 0) << LastError();
  ReadDelivered(&interval, &epochs, &first, &last);
  EXPECT_FLOAT_EQ(interval, 10.0f);
  EXPECT_GT(epochs, 300);
  EXPECT_LE(epochs, 361);
  EXPECT_GT(recorder.Count(STATUS_INTERP_PERCENT), 0);
  EXPECT_EQ(recorder.Count(STATUS_INTERVAL), 1);
}

TEST_F(RetrievalTest, AppendKeepsEarlierDeliveries) {
  Serve();
  ASSERT_EQ(Fetch("sima", day2_, day2_ + 3600, 0, 0), 0) << LastError();
  ASSERT_EQ(Fetch("sima", day2_, day2_ + 3600, 0, 0), 0) << LastError();
  EXPECT_EQ(std::string(delivered_), dest_.File("sima0010A.obn"));
  EXPECT_TRUE(testing::Exists(dest_.File("sima0010.obn")));
  EXPECT_TRUE(testing::Exists(dest_.File("sima0010A.nvb")));
  EXPECT_TRUE(testing::Exists(dest_.File("sima0010A.sta")));
}

TEST_F(RetrievalTest, CompactOnlyServiceIsDecoded) {
  Serve();
  StatusRecorder recorder;
  ASSERT_EQ(Fetch("sime", day2_, day2_ + 7200), 0) << LastError();
  EXPECT_TRUE(recorder.HasText("Unzipping Compressed Rinex File"));
  EXPECT_FALSE(recorder.HasText("Unzipping OBS File"));
  EXPECT_TRUE(testing::Exists(dest_.File("sime0010.obn")));
  // With the RINEX removed, the decoded compact file goes too.
  EXPECT_TRUE(std::filesystem::is_empty(work_.path()));
}

TEST_F(RetrievalTest, NavigationComesFromIgsWhenTheServiceHasNone) {
  FtpServerOptions options;
  options.missing = {"*sima*n.Z"};
  Serve(options);
  StatusRecorder recorder;
  ASSERT_EQ(Fetch("sima", day2_, day2_ + 3600), 0) << LastError();
  EXPECT_TRUE(recorder.HasText("Unable to get NAV File will now try getting igs auto NAV file"));
  EXPECT_EQ(recorder.Count(STATUS_CONNECTING), 2);  // the service's, then IGS's own
}

TEST_F(RetrievalTest, MissingObservationFileFailsTheDayAndLeavesTheDestination) {
  FtpServerOptions options;
  options.missing = {"*simc*o.gz"};
  Serve(options);
  StatusRecorder recorder;
  EXPECT_EQ(Fetch("simc", day2_, day2_ + 3600), -1);
  EXPECT_EQ(LastError(),
            "Error unable to download file simc0010.23o.gz.\n    the file does not exist on the "
            "FTP server");
  EXPECT_TRUE(fs::is_empty(dest_.path()));
}

TEST_F(RetrievalTest, ErrorPageSavedAsGzipFailsInUnzip) {
  ScratchDir root;
  fs::path day = fs::path(root.path()) / "simgz" / "data" / "2023" / "01" / "01";
  fs::create_directories(day);
  testing::WriteFile((day / "simc0010.23o.gz").string(), "<html>Not found</html>\n");
  fs::copy_file(fs::path(archive_) / "archive" / "simgz" / "data" / "2023" / "01" / "01" /
                    "simc0010.23n.gz",
                day / "simc0010.23n.gz");
  FtpServerOptions options;
  options.root = root.path();
  Serve(options);
  StatusRecorder recorder;
  EXPECT_EQ(Fetch("simc", day2_, day2_ + 3600), -1);
  ASSERT_EQ(recorder.Headings().size(), 1u);
  EXPECT_EQ(recorder.Headings()[0], "Error in unzip");
  EXPECT_EQ(LastError(), "Error unzipping the file simc0010.23o.gz");
}

TEST_F(RetrievalTest, StopDuringATransferEndsTheRequest) {
  FtpServerOptions options;
  options.trickleBytesPerSecond = 20000;
  Serve(options);
  StatusRecorder recorder;
  recorder.OnCode(STATUS_FTP_RECEIVED_RATE, [] { StopFtpProcessing(); });
  EXPECT_EQ(Fetch("sima", day2_, day2_ + 3600), -1);
  EXPECT_EQ(LastError(), "FTPGETFILE ended at the user's request");
  ASSERT_FALSE(recorder.Headings().empty());
  EXPECT_EQ(recorder.Headings().back(), "Program Stopped in GetFile");
}

TEST_F(RetrievalTest, RequestsBesideARunningOneAreRefusedWithoutTouchingIt) {
  Serve();
  StatusRecorder recorder;
  char dest[256] = {};
  std::strncpy(dest, dest_.path().c_str(), sizeof dest - 1);
  StationRecord* found[4] = {};
  int32_t count = -1, valid = 1;
  AvgPosition stale = {46.5, 7.5, 1};  // a host's record from an earlier call
  const std::pair<const char*, std::function<int()>> calls[] = {
      {"iFTP", [&] { return iFTP(day2_, day2_ + 60, StationNamed("simc"), dest, 0, nullptr,
                                 nullptr, nullptr, 1, 0, 0); }},
      {"iInitalizeNEW", [&] { return iInitalizeNEW(dest, dest, nullptr); }},
      {"iFindClosestStation", [&] { return iFindClosestStation(46, 7, 1e6, found, 4, &count); }},
      {"ChangeTempDir", [&] { return ChangeTempDir(dest); }},
      {"iGetManfactFile", [&] { return iGetManfactFile(dest); }},
      {"vClearMem", [&] { return vClearMem(&catalogue_), -1; }},
      {"NewGetAvgOBNPos",
       [&] { return NewGetAvgOBNPos(dest, &stale, nullptr, nullptr, &valid), -1; }},
  };
  const auto refused = [](const char* request) {
    return "Error " + std::string(request) + " refused: a request is already running";
  };
  HeldRequest first = RunBesideAHeldRequest(&recorder, [&] {
    for (const auto& [request, call] : calls) {
      EXPECT_EQ(call(), -1) << request;
      EXPECT_EQ(LastError(), refused(request));
    }
    EXPECT_EQ(count, -1);
    EXPECT_EQ(valid, 0);
    EXPECT_EQ(stale.status, 0) << "a refused average is no average";
    EXPECT_EQ(stale.position1, 0.0);
    EXPECT_NE(catalogue_.pStations, nullptr) << "the running request's catalogue stays";
    char now[512];
    platform::GetCurrentDir(now, sizeof now);
    EXPECT_TRUE(fs::equivalent(now, work_.path())) << "the running request's current directory";
  });
  EXPECT_EQ(first.result, 0) << first.lastError;
  EXPECT_EQ(first.lastError.find("refused"), std::string::npos) << first.lastError;
  EXPECT_TRUE(testing::Exists(dest_.File("sima0010.obn")));
  EXPECT_EQ(LastError(), refused("NewGetAvgOBNPos")) << "this thread's last request";
  // Once the first has ended, this thread's requests are let in again.
  EXPECT_EQ(iFindClosestStation(46, 7, 1e6, found, 4, &count), 0) << LastError();

  // A stop raised beside a refused iFTP still stops the running request.
  first = RunBesideAHeldRequest(&recorder, [&] {
    StopFtpProcessing();
    EXPECT_EQ(calls[0].second(), -1);
  });
  EXPECT_EQ(first.lastError, "FTPGETFILE ended at the user's request");
}

// Catalogues arrive by plain FTP: a station whose name is a path must not
// put files outside the working and destination folders, even when the
// archive serves the files its name leads to.
TEST_F(RetrievalTest, StationNamedLikeAPathIsRefused) {
  ScratchDir root, parent;
  fs::path served = fs::path(root.path()) / "simz" / "pub" / "rinex" / "2023";
  fs::create_directories(served / "001");
  fs::path day = fs::path(archive_) / "archive" / "simz" / "pub" / "rinex" / "2023" / "001";
  // "<XXXX><JJJ>" of "../../x" gives "../.001": the file ".0010.23o.Z" one folder up.
  fs::copy_file(day / "sima0010.23o.Z", served / ".0010.23o.Z");
  fs::copy_file(day / "sima0010.23n.Z", served / ".0010.23n.Z");
  testing::WriteFile(catalogue_dir_.File("user.dwn"),
                     "Station {\n sName: ../../x\n lat: 46 0 0 N\n lon: 7 0 0 E\n ht: 500\n"
                     " serv: SIMZ\n}\n");
  FtpServerOptions options;
  options.root = root.path();
  Serve(options);
  fs::path work = fs::path(parent.path()) / "a" / "b" / "work";
  // Different depths, so that "../../" from each leads to a different folder.
  fs::path dest = fs::path(parent.path()) / "c" / "d" / "e" / "dest";
  fs::create_directories(work);
  fs::create_directories(dest);
  ASSERT_EQ(ChangeTempDir(work.string().c_str()), 0);
  StationRecord* station = StationNamed("../../x");
  ASSERT_NE(station, nullptr);
  std::strncpy(dest_text_, dest.string().c_str(), sizeof dest_text_ - 1);

  StatusRecorder recorder;
  EXPECT_EQ(iFTP(static_cast<double>(day2_), static_cast<double>(day2_ + 3600), station,
                 dest_text_, 0, delivered_, nullptr, nullptr, 1, 0, 1),
            -1);
  EXPECT_EQ(LastError(), "Error the station name \"../../x\" can not be used as a file name");
  EXPECT_EQ(recorder.Headings(), std::vector<std::string>{"Error in iFTP"});
  for (const auto& entry : fs::recursive_directory_iterator(parent.path()))
    EXPECT_FALSE(entry.is_regular_file()) << entry.path() << " was made";
}

// A link planted under a name the request writes (in the working folder or
// the destination) is replaced, never written through.
TEST_F(RetrievalTest, PlantedLinksAreNeverWrittenThrough) {
  Serve();
  ScratchDir elsewhere;
  const std::string victim = elsewhere.File("victim");
  testing::WriteFile(victim, "victim");
  std::vector<std::string> planted;
  for (const char* name : {"sima0010.obn.part", "sima0010.nvb.part", "sima0010.sta.part",
                           "sima0010.obn", "sima0010.sta"})
    planted.push_back(dest_.File(name));
  for (const char* name : {"sima0010.23o", "sima0010.23n", "sima0010.obn", "sima0010.nvb",
                           "sima0010.sta", "sima00101.obn", "sima00101.nvb", "sima00101.sta",
                           "sima0010.obn.part"})
    planted.push_back(work_.File(name));
  for (const std::string& link : planted) fs::create_symlink(victim, link);

  ASSERT_EQ(Fetch("sima", day2_, day2_ + 3600), 0) << LastError();
  EXPECT_EQ(testing::ReadFile(victim), "victim");
  for (const char* name : {"sima0010.obn", "sima0010.nvb", "sima0010.sta"}) {
    EXPECT_FALSE(fs::is_symlink(dest_.File(name))) << name;
    EXPECT_TRUE(fs::is_regular_file(dest_.File(name))) << name;
  }

  // Resampling writes its output under a temporary name of its own.
  for (const std::string& link : planted) {
    fs::remove(link);
    fs::create_symlink(victim, link);
  }
  ASSERT_EQ(Fetch("sima", day2_, day2_ + 3600, 60), 0) << LastError();
  EXPECT_EQ(testing::ReadFile(victim), "victim");
  EXPECT_FALSE(fs::is_symlink(dest_.File("sima0010.obn")));
}

// The IGS server is a third party: the job's login is for the station's own
// service only.
TEST_F(RetrievalTest, IgsFallbackNeverSeesTheJobsLogin) {
  FtpServerOptions options;
  options.missing = {"*sima*n.Z"};
  options.users = {"alice:s3cretPW"};
  Serve(options);
  std::strncpy(dest_text_, dest_.path().c_str(), sizeof dest_text_ - 1);
  char user[] = "alice";
  char password[] = "s3cretPW";
  ASSERT_EQ(iFTP(static_cast<double>(day2_), static_cast<double>(day2_ + 3600),
                 StationNamed("sima"), dest_text_, 0, delivered_, user, password, 1, 0, 1),
            0)
      << LastError();
  // One login each: the service's with the job's account, IGS's anonymous.
  EXPECT_EQ(server_->CountLog("USER alice"), 1);
  EXPECT_EQ(server_->CountLog("PASS s3cretPW"), 1);
  EXPECT_EQ(server_->CountLog("USER anonymous"), 1);
}

}  // namespace
}  // namespace stanvex
