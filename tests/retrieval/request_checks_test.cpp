// The checks a retrieval request makes before it downloads anything, and the
// small rules of its names and day count.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "base/gps_time.h"
#include "base/last_error.h"
#include "base/request_state.h"
#include "pipeline/retrieval.h"
#include "platform/platform.h"
#include "stanvex.h"
#include "status_recorder.h"
#include "test_support.h"

namespace stanvex {
namespace {

using testing::LastErrorAtSend;
using testing::ScratchDir;
using testing::StatusRecorder;

// A catalogue whose only service points at a port where nothing listens.
const char kCatalogue[] =
    "Service {\n"
    "  ServId: TEST\n"
    "  ftpAd: 127.0.0.1:1\n"
    "  oFile: /<XXXX><JJJ>0.<yy>o.Z\n"
    "  nFile: /<XXXX><JJJ>0.<yy>n.Z\n"
    "  Ftype: Z\n"
    "}\n"
    "Station {\n  sName: abcd\n  lat: 46 0 0 N\n  lon: 7 0 0 E\n  ht: 500\n  serv: TEST\n}\n"
    "Station {\n  sName: lost\n  lat: 46 0 0 N\n  lon: 7 0 0 E\n  ht: 500\n  serv: NOPE\n}\n";

class RequestChecksTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetLibraryStateForTesting();
    testing::WriteFile(catalogue_dir_.File("manufact.dwn"), kCatalogue);
    platform::GetCurrentDir(start_dir_, sizeof start_dir_);
    std::string dir = catalogue_dir_.path();
    std::vector<char> text(dir.begin(), dir.end());
    text.push_back('\0');
    catalogue_.iServiceSize = sizeof(ServiceRecord);
    catalogue_.iStationSize = sizeof(StationRecord);
    ASSERT_EQ(iInitalizeNEW(text.data(), work_.path().c_str(), &catalogue_), 0);
    for (int i = 0; i < catalogue_.iNumStations; ++i)
      if (std::strncmp(catalogue_.pStations[i].sName, "abcd", 4) == 0) abcd_ = &catalogue_.pStations[i];
      else lost_ = &catalogue_.pStations[i];
    ASSERT_NE(abcd_, nullptr);
  }
  void TearDown() override {
    vClearMem(&catalogue_);
    char now[256];
    platform::GetCurrentDir(now, sizeof now);
    EXPECT_STREQ(now, start_dir_) << "the current directory was not restored";
  }
  int Fetch(double start, double end, StationRecord* station, const std::string& destination) {
    std::strncpy(dest_, destination.c_str(), sizeof dest_ - 1);
    return iFTP(start, end, station, dest_, 0, nullptr, nullptr, nullptr, 1, 0, 0);
  }
  std::string LastError() {
    char text[512];
    iGetLastError(text);
    return text;
  }

  ScratchDir catalogue_dir_, work_, dest_dir_;
  Serv_Sta catalogue_{};
  StationRecord* abcd_ = nullptr;
  StationRecord* lost_ = nullptr;
  char start_dir_[256];
  char dest_[256] = {};
  const double day34_ = static_cast<double>(GpsSecondsAt(2002, 2, 3, 0, 0, 0));
};

TEST_F(RequestChecksTest, MissingDestinationArgumentIsReportedAfterTheHeading) {
  StatusRecorder recorder(LastErrorAtSend::kRecorded);
  SetLastErrorText("previous");
  EXPECT_EQ(iFTP(day34_, day34_ + 60, abcd_, nullptr, 0, nullptr, nullptr, nullptr, 1, 0, 0), -1);
  EXPECT_EQ(LastError(), "Error the pointer cDirectory has not bee initalized");
  ASSERT_EQ(recorder.Headings().size(), 1u);
  EXPECT_EQ(recorder.Headings()[0], "Error in iFTP");
  // The heading reaches the host before the reason is written.
  EXPECT_EQ(recorder.All().back().lastErrorAtSend, "previous");
}

// Announcing the output calls the host; a callback that throws there stands
// in for an allocation failing in the middle of the request.
std::vector<int> codes_seen;
void STANVEX_CALL ThrowOnOutputPath(StatusRecord* record) {
  codes_seen.push_back(record->code);
  if (record->code == STATUS_OUTPUT_PATH) throw std::bad_alloc();
}

TEST_F(RequestChecksTest, ExceptionInsideTheRequestIsItsFailure) {
  codes_seen.clear();
  SetCallBack(&ThrowOnOutputPath);
  EXPECT_EQ(Fetch(day34_, day34_ + 60, abcd_, dest_dir_.path()), -1);
  SetCallBack(nullptr);
  EXPECT_EQ(LastError(), "Error iFTP ran out of memory");
  EXPECT_EQ(codes_seen, (std::vector<int>{STATUS_OUTPUT_PATH, STATUS_ERROR}));
  // TearDown checks that the current directory was restored.
}

TEST_F(RequestChecksTest, DirectoriesAreCheckedAndMustDiffer) {
  std::string missing = dest_dir_.File("gone");
  EXPECT_EQ(Fetch(day34_, day34_ + 60, abcd_, missing), -1);
  EXPECT_EQ(LastError(), "Error: the directory " + missing + " does not exist");

  // The working directory given with a trailing separator is still the same.
  EXPECT_EQ(Fetch(day34_, day34_ + 60, abcd_, work_.path() + "/"), -1);
  EXPECT_EQ(LastError(),
            "Error: the temp directory can not be the same as the destination directory.  "
            "Change either the temp or destination directory and try again");
}

TEST_F(RequestChecksTest, FailedStepsReasonIsTheLastErrorWhenItsHeadingArrives) {
  StatusRecorder recorder(LastErrorAtSend::kRecorded);
  SetLastErrorText("previous");
  const std::string missing = dest_dir_.File("gone");
  EXPECT_EQ(Fetch(day34_, day34_ + 60, abcd_, missing), -1);
  ASSERT_EQ(recorder.Headings().size(), 1u);
  EXPECT_EQ(recorder.Headings()[0], "Error in iFTP");
  // The directory check is a step: its reason is written before the heading.
  EXPECT_EQ(recorder.All().back().lastErrorAtSend,
            "Error: the directory " + missing + " does not exist");
}

TEST_F(RequestChecksTest, StationAndServiceMustBeKnown) {
  EXPECT_EQ(Fetch(day34_, day34_ + 60, lost_, dest_dir_.path()), -1);
  EXPECT_EQ(LastError(), "Error can not find the stations service NOPE in the station file");
  EXPECT_EQ(Fetch(day34_, day34_ + 60, nullptr, dest_dir_.path()), -1);
  EXPECT_EQ(LastError(), "Error the station pointer has not been initalized");
}

TEST_F(RequestChecksTest, RequestWithoutCatalogueFailsCleanly) {
  vClearMem(&catalogue_);
  EXPECT_EQ(Fetch(day34_, day34_ + 60, abcd_, dest_dir_.path()), -1);
  EXPECT_EQ(LastError(),
            "Error Serv_Sta struct has not been initalized.  Try running the program again");
}

TEST_F(RequestChecksTest, WindowMustRunForwardAndSpanAtMostThreeDays) {
  EXPECT_EQ(Fetch(day34_ + 1, day34_, abcd_, dest_dir_.path()), -1);
  EXPECT_EQ(LastError(), "Invalid Time Range the Start time can not be larger then the end time");

  StatusRecorder recorder;
  EXPECT_EQ(Fetch(day34_, day34_ + 3 * 86400 + 120, abcd_, dest_dir_.path()), -1);
  EXPECT_EQ(LastError(), "Error the maximum amount of data that can be downloaded is 2 days");
  std::vector<int> codes = recorder.MainCodes();
  ASSERT_EQ(codes.size(), 2u);
  EXPECT_EQ(codes[0], STATUS_OUTPUT_PATH);
  EXPECT_EQ(recorder.All()[0].text, dest_dir_.path() + "/abcd0340.obn");
  EXPECT_EQ(codes[1], STATUS_ERROR);
}

// An interval that no resampling can take is refused with the value given,
// before anything is downloaded.
TEST_F(RequestChecksTest, IntervalBeyondAWeekIsRefusedBeforeAnyDownload) {
  const struct {
    double interval;
    const char* shown;
  } cases[] = {{1e300, "1e+300"}, {HUGE_VAL, "inf"}, {604801, "604801"}};
  for (const auto& c : cases) {
    StatusRecorder recorder;
    std::strncpy(dest_, dest_dir_.path().c_str(), sizeof dest_ - 1);
    EXPECT_EQ(iFTP(day34_, day34_ + 60, abcd_, dest_, c.interval, nullptr, nullptr, nullptr, 1, 0, 0),
              -1);
    EXPECT_EQ(LastError(), std::string("Error the interval ") + c.shown +
                               " s can not be used: it must be greater than 0 and at most 604800 s "
                               "(one week)");
    ASSERT_FALSE(recorder.Headings().empty());
    EXPECT_EQ(recorder.Headings().back(), "Error in iFTP");
    EXPECT_FALSE(recorder.HasText("FTP Starting"));
  }
}

TEST_F(RequestChecksTest, EqualStartAndEndIsAValidWindow) {
  // Nothing listens on the service's port: the request gets as far as the
  // connection.
  StatusRecorder recorder;
  EXPECT_EQ(Fetch(day34_, day34_, abcd_, dest_dir_.path()), -1);
  EXPECT_NE(LastError(), "Invalid Time Range the Start time can not be larger then the end time");
  EXPECT_TRUE(recorder.HasText("FTP Starting"));
}

TEST_F(RequestChecksTest, StopBeforeTheRequestIsForgotten) {
  StopFtpProcessing();
  StatusRecorder recorder;
  Fetch(day34_, day34_, abcd_, dest_dir_.path());
  EXPECT_EQ(LastError().find("User requested to shutdown"), std::string::npos);
}

// A catalogue entry that cannot be used as written is reported at load: a
// station name given twice, and an address too long for its field (judged up
// to its first blank, after which mirrors may follow), which would otherwise
// be cut into another server's name.
TEST_F(RequestChecksTest, DuplicateNamesAndOverlongAddressesAreReportedAtLoad) {
  auto station = [](const std::string& name, const std::string& serv) {
    return "Station {\n sName: " + name + "\n lat: 46 0 0 N\n lon: 7 0 0 E\n ht: 500\n serv: " +
           serv + "\n}\n";
  };
  auto service = [](const std::string& id, const std::string& address) {
    return "Service {\n ServId: " + id + "\n ftpAd: " + address +
           "\n oFile: /<XXXX>o.Z\n nFile: /<XXXX>n.Z\n Ftype: Z\n}\n";
  };
  const std::string longHost = "ftp://" + std::string(125, 'a') + ".net";
  testing::WriteFile(catalogue_dir_.File("user.dwn"),
                     service("LONG", longHost + " 127.0.0.1:1") +
                         service("MIRR", "127.0.0.1:1 " + longHost) + station("ABCD", "LONG") +
                         station("far", "LONG") + station("mirr", "MIRR"));
  StatusRecorder recorder;
  catalogue_.iServiceSize = sizeof(ServiceRecord);
  catalogue_.iStationSize = sizeof(StationRecord);
  std::string dir = catalogue_dir_.path();
  ASSERT_EQ(iInitalizeNEW(dir.data(), work_.path().c_str(), &catalogue_), 0) << LastError();
  EXPECT_TRUE(recorder.HasText("Station ABCD appears twice in the catalogue (services LONG and "
                               "TEST); the first, of service LONG, is used"));
  EXPECT_TRUE(recorder.HasText(
      "Service LONG (user.dwn line 1): its address (ftpAd) is longer than 127 characters; the "
      "service can not be used"));
  EXPECT_FALSE(recorder.HasText(
      "Service MIRR (user.dwn line 8): its address (ftpAd) is longer than 127 characters; the "
      "service can not be used"));

  StationRecord* far = nullptr;
  for (int i = 0; i < catalogue_.iNumStations; ++i)
    if (std::strncmp(catalogue_.pStations[i].sName, "far", 8) == 0) far = &catalogue_.pStations[i];
  ASSERT_NE(far, nullptr);
  EXPECT_EQ(Fetch(day34_, day34_ + 60, far, dest_dir_.path()), -1);
  EXPECT_EQ(LastError(),
            "Error the service LONG can not be used: its address (ftpAd) is longer than 127 "
            "characters");
  EXPECT_EQ(recorder.Headings().back(), "Error in iFTP");
}

TEST(RetrievalNamesTest, WindowDayCountKeepsTwoMinutesOfGrace) {
  const int32_t day = 34 * 86400;
  EXPECT_EQ(ExtraDaysOfWindow(day, day + 86399), 0);
  EXPECT_EQ(ExtraDaysOfWindow(day, day + 86400 + 119), 0);
  EXPECT_EQ(ExtraDaysOfWindow(day, day + 86400 + 120), 1);
  EXPECT_EQ(ExtraDaysOfWindow(day, day + 3 * 86400), 2);
  EXPECT_EQ(ExtraDaysOfWindow(day, day + 3 * 86400 + 120), 3);
  // A short window just after midnight: its end less the margin falls on the
  // day before, which still counts as the same day.
  EXPECT_EQ(ExtraDaysOfWindow(day + 30, day + 60), 0);
  EXPECT_EQ(ExtraDaysOfWindow(0, 60), 0);
}

TEST(RetrievalNamesTest, OutputAndJoinedNames) {
  StationRecord station{};
  std::memcpy(station.sName, "abcdefgh", 8);  // no terminator in the field
  char out[64];
  MakeOutputName(station, 5, out, sizeof out);
  EXPECT_STREQ(out, "abcdefgh0050.obn");
  std::memcpy(station.sName, "abcd\0\0\0", 8);
  MakeOutputName(station, 365, out, sizeof out);
  EXPECT_STREQ(out, "abcd3650.obn");
  MakeJoinedName("abcd0050.obn", out, sizeof out);
  EXPECT_STREQ(out, "abcd0050tmp.obn");
  MakeJoinedName("abcd", out, sizeof out);
  EXPECT_STREQ(out, "tmp.obn");
}

}  // namespace
}  // namespace stanvex
