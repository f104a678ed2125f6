// Faults outside the server: full disks, stops at each stage, long paths and
// names, an oversized catalogue. Same checks as the server faults.
#include <sys/mount.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <regex>
#include <string>

#include "fault_fixture.h"
#include "status_recorder.h"

namespace fs = std::filesystem;

namespace stanvex::testing {
namespace {

class FaultCaseTest : public FaultTest {
 public:
  void TearDown() override {
    FaultTest::TearDown();
    for (const std::string& mount : mounts_) ::umount(mount.c_str());
  }
  // A tmpfs of size bytes over folder; false when mounting is not permitted.
  bool MountSmall(const std::string& folder, const char* size) {
    std::string options = std::string("size=") + size;
    if (::mount("tmpfs", folder.c_str(), "tmpfs", 0, options.c_str()) != 0) return false;
    mounts_.push_back(folder);
    return true;
  }
  std::vector<std::string> mounts_;
};

TEST_F(FaultCaseTest, FullWorkingFolderFailsTheTransfer) {
  if (!MountSmall(Work(), "16k")) GTEST_SKIP() << "mounting a tmpfs is not permitted";
  Serve();
  StatusRecorder recorder;
  BeforeRequest();
  EXPECT_EQ(Fetch("sima"), -1);
  ASSERT_FALSE(recorder.Headings().empty());
  EXPECT_EQ(recorder.Headings().back(), "Error in GetFile");
  EXPECT_EQ(LastError(), "Error disk full!");
  ExpectNothingLeaked();
}

TEST_F(FaultCaseTest, FullDestinationFailsTheDeliveryAndKeepsNoPartialFile) {
  if (!MountSmall(Dest(), "8k")) GTEST_SKIP() << "mounting a tmpfs is not permitted";
  Serve();
  StatusRecorder recorder;
  BeforeRequest();
  // A whole day: its OBN file is larger than the destination's room.
  EXPECT_EQ(Fetch("sima", 0, day1_, day1_ + 86399), -1);
  ASSERT_FALSE(recorder.Headings().empty());
  EXPECT_EQ(recorder.Headings().back(), "Error in Moving Files Copyover");
  EXPECT_EQ(LastError(),
            "Error unable to move files to destination directory. Files are still in the temp "
            "directory " +
                Work() + " (unable to write: " + Dest() + "/sima0010.obn.part)");
  // The text is true: all three files wait in the working folder.
  for (const char* name : {"sima0010.obn", "sima0010.nvb", "sima0010.sta"})
    EXPECT_TRUE(fs::is_regular_file(fs::path(Work()) / name)) << name;
  ExpectNothingLeaked(false);
  for (const auto& entry : fs::directory_iterator(Dest()))
    EXPECT_NE(entry.path().extension(), ".obn") << "a cut OBN file was delivered";
}

TEST_F(FaultCaseTest, StopWhileConnectingEndsTheRequest) {
  FtpServerOptions options;
  options.silent = true;
  Serve(options);
  StatusRecorder recorder;
  recorder.OnCode(STATUS_CONNECTING, [] { StopFtpProcessing(); });
  BeforeRequest();
  EXPECT_EQ(Fetch("sima"), -1);
  ASSERT_FALSE(recorder.Headings().empty());
  EXPECT_EQ(recorder.Headings().back(), "Program Stopped in FTPConnect");
  EXPECT_EQ(LastError(), "User requested to shutdown.  Datacollator has been stopped");
  ExpectNothingLeaked();
}

TEST_F(FaultCaseTest, StopWhileInterpolatingEndsTheRequest) {
  Serve();
  StatusRecorder recorder;
  recorder.OnCode(STATUS_INTERP_PERCENT, [] { StopInerpolation(); });
  BeforeRequest();
  EXPECT_EQ(Fetch("sima", 10), -1);
  EXPECT_GE(recorder.Count(STATUS_INTERP_PERCENT), 1);
  ASSERT_FALSE(recorder.Headings().empty());
  EXPECT_EQ(recorder.Headings().back(), "Error in Interpolating Files");
  EXPECT_EQ(LastError(), "Error: Interpolation stopped by request");
  ExpectNothingLeaked();
}

// A destination whose path alone takes 240 or more characters: the files'
// names no longer fit a path, and nothing may be written under a cut name.
TEST_F(FaultCaseTest, DestinationPathOf240CharactersIsRefusedWhole) {
  std::string deep = Dest();
  while (deep.size() < 245) deep += "/" + std::string(30, 'd');
  fs::create_directories(deep);
  destOverride_ = deep;
  Serve();
  StatusRecorder recorder;
  BeforeRequest();
  int result = Fetch("sima");
  EXPECT_EQ(result, -1);
  ASSERT_FALSE(recorder.Headings().empty());
  EXPECT_EQ(recorder.Headings().back(), "Error in Moving Files Copyover");
  EXPECT_EQ(LastError().rfind("Path is too long " + Dest() + "/ddd", 0), 0u) << LastError();
  ExpectNothingLeaked(false);
  // Whatever reached the destination tree is in the deep folder, named whole.
  for (const auto& [name, size] : SnapshotTree(Dest())) {
    if (name.back() != '/') {
      EXPECT_EQ(fs::path(Dest() + "/" + name).parent_path(), deep) << name;
    }
  }
}

// A catalogue name longer than sName's eight bytes is kept to its first
// seven and a terminator; the remote names use its first four.
TEST_F(FaultCaseTest, StationNameOfEightOrMoreCharactersIsCutNotOverrun) {
  Serve({}, "",
        "\nStation {\n  sName: simalongname\n  lat: 46 52 37.5 N\n  lon: 7 27 53.2 E\n"
        "  ht: 560\n  serv: SIMZ\n}\n");
  StationRecord* station = StationNamed("simalon");
  ASSERT_NE(station, nullptr);
  EXPECT_EQ(station->sName[7], '\0');
  StatusRecorder recorder;
  BeforeRequest();
  int result = Fetch("simalon");
  EXPECT_EQ(result, 0) << LastError();
  EXPECT_EQ(fs::path(delivered_).filename(), "simalon0010.obn");
  ExpectNothingLeaked(false);
}

TEST_F(FaultCaseTest, CatalogueOf8193StationsIsRefusedAndLeavesNoneLoaded) {
  std::string text = "Service {\n  ServId: BIG\n  ftpAd: 127.0.0.1\n  oFile: /<XXXX>.o\n"
                     "  nFile: /<XXXX>.n\n  Ftype: Z\n}\n";
  std::string stations;
  for (int i = 0; i < 8192; ++i)
    stations += "Station {\n  sName: s" + std::to_string(i) +
                "\n  lat: 1 0 0 N\n  lon: 1 0 0 E\n  ht: 1\n  serv: BIG\n}\n";
  BeforeRequest();
  ASSERT_EQ(LoadCatalogue(text + stations), 0) << "8192 stations are allowed";
  EXPECT_EQ(catalogue_.iNumStations, 8192);
  vClearMem(&catalogue_);

  StatusRecorder recorder;
  stations += "Station {\n  sName: last\n  lat: 1 0 0 N\n  lon: 1 0 0 E\n  ht: 1\n  serv: BIG\n}\n";
  EXPECT_EQ(LoadCatalogue(text + stations), -1);
  EXPECT_EQ(LastError(), "Too many stations in the input file " + CatalogueDir() + "/combined.dwn");
  ASSERT_FALSE(recorder.Headings().empty());
  EXPECT_EQ(recorder.Headings().back(), "Error in Initalization");
  // The record is left as the host had it, its sizes kept for a retry.
  EXPECT_EQ(catalogue_.iServiceSize, static_cast<int32_t>(sizeof(ServiceRecord)));
  EXPECT_EQ(catalogue_.iNumStations, 8192);
  StationRecord any{};
  char dest[256] = {};
  char delivered[256] = {};
  std::strcpy(dest, Dest().c_str());
  EXPECT_EQ(iFTP(day1_, day1_ + 3600, &any, dest, 0, delivered, nullptr, nullptr, 1, 0, 1), -1);
  EXPECT_EQ(LastError(),
            "Error Serv_Sta struct has not been initalized.  Try running the program again");
  EXPECT_EQ(OpenDescriptors().size(), descriptorsBefore_.size());
}

}  // namespace
}  // namespace stanvex::testing

namespace stanvex::testing {
namespace {

// Every service gets a first address where nothing listens, with the real
// server as its mirror: the whole request is served by the mirror.
TEST_F(FaultCaseTest, PrimaryDownMirrorServesTheWholeRequest) {
  Serve();
  std::string down = "127.0.0.2:" + std::to_string(UnusedLoopbackPort());
  std::string text = ReadFile(CatalogueDir() + "/manufact.dwn");
  std::regex address("ftpAd: ftp://([0-9.:]+)/([a-z]+)");
  text = std::regex_replace(text, address, "ftpAd: ftp://" + down + "/$2 ftp://$1/$2");
  vClearMem(&catalogue_);
  ASSERT_EQ(LoadCatalogue(text), 0) << LastError();
  StatusRecorder recorder;
  BeforeRequest();
  ASSERT_EQ(Fetch("sima"), 0) << LastError();
  EXPECT_TRUE(fs::exists(delivered_)) << delivered_;
  EXPECT_TRUE(recorder.HasText("File served by ftp://" + server_->Address() + "/simz"));
  EXPECT_TRUE(recorder.HasText("Trying again in 1 s (second attempt of 3): ftp://" + down +
                               "/simz"));
  ExpectNothingLeaked(false);
}

}  // namespace
}  // namespace stanvex::testing
