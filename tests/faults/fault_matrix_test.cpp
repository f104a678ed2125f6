// Retrieval requests against a loopback FTP server that misbehaves, one
// fault per case. Every case checks the status heading and the reason the
// host reads, that no descriptor stays open, that nothing is written outside
// the working and destination folders and, when the request fails before
// delivery, that the destination is left as it was.
#include <sys/mount.h>

#include <filesystem>
#include <functional>
#include <regex>
#include <string>

#include "fault_fixture.h"
#include "status_recorder.h"

namespace fs = std::filesystem;

namespace stanvex::testing {
namespace {

struct ServerFault {
  const char* name;
  const char* station;
  // Changes the server's options or the archive, sets another server address,
  // or names a service to leave out of the catalogue.
  std::function<void(FaultTest&, FtpServerOptions&, std::string& address, std::string& removedService)>
      setup;
  int result;           // iFTP's result
  const char* heading;  // the last STATUS_ERROR heading; "" when none is expected
  const char* text;     // iGetLastError after the request; a message seen when the request succeeds
};

std::ostream& operator<<(std::ostream& out, const ServerFault& fault) { return out << fault.name; }

// Rewrites a file of a private archive copy.
void Damage(const std::string& path, const std::function<void(std::string&)>& change) {
  std::string bytes = ReadFile(path);
  change(bytes);
  WriteFile(path, bytes);
}

const char* const kCannotConnect =
    "Error Unable to connect to FTP Server. Server could be down or you may not have an internet "
    "connection";

const ServerFault kServerFaults[] = {
    {"ConnectionRefused", "sima",
     [](FaultTest&, FtpServerOptions&, std::string& address, std::string&) {
       address = "127.0.0.1:" + std::to_string(UnusedLoopbackPort());
     },
     -1, "Error in FTP Connect", kCannotConnect},
    {"LoginRefused", "sima",
     [](FaultTest&, FtpServerOptions& options, std::string&, std::string&) {
       options.refuseLogin = true;
     },
     -1, "Error in FTP Connect",
     "Error the server 127.0.0.1 refused the login. Check the user name and password (given with "
     "the request, in the catalogue or in the netrc file)"},
    {"ObservationMissingWithoutCompactFile", "sima",
     [](FaultTest&, FtpServerOptions& options, std::string&, std::string&) {
       options.missing = {"*sima*o.Z"};
     },
     -1, "Error in GetFile",
     "Error unable to download file sima0010.23o.Z.\n    the file does not exist on the FTP server"},
    // The compact service's archive has no observation file at all.
    {"ObservationAndCompactFileMissing", "sime",
     [](FaultTest&, FtpServerOptions& options, std::string&, std::string&) {
       options.missing = {"*sime*d.Z"};
     },
     -1, "Error in GetFile",
     "Error unable to download file sime0010.23d.Z.\n    the file does not exist on the FTP server"},
    {"ObservationMissingCompactFileServes", "sime",
     [](FaultTest&, FtpServerOptions&, std::string&, std::string&) {}, 0, "Error in GetFile",
     "Unzipping Compressed Rinex File"},
    {"NavigationMissingIgsServes", "sima",
     [](FaultTest&, FtpServerOptions& options, std::string&, std::string&) {
       options.missing = {"*sima*n.Z"};
     },
     0, "Error in GetFile", "Unable to get NAV File will now try getting igs auto NAV file"},
    {"NavigationMissingAtIgsToo", "sima",
     [](FaultTest&, FtpServerOptions& options, std::string&, std::string&) {
       options.missing = {"*n.Z"};
     },
     -1, "Error in GetFile",
     "Error unable to Download File /pub/rinex/2023/001/auto0010.23n.Z. The file may not exist for "
     "that time period"},
    {"NavigationMissingWithoutIgsService", "sima",
     [](FaultTest&, FtpServerOptions& options, std::string&, std::string& removedService) {
       options.missing = {"*sima*n.Z"};
       removedService = "IGS";
     },
     -1, "Error in GetFile", "IGS not found in service list"},
    {"ConnectionDroppedMidTransfer", "sima",
     [](FaultTest&, FtpServerOptions& options, std::string&, std::string&) {
       options.drops = {{"*sima*o.Z", 2000}};
     },
     -1, "Error in GetFile",
     "Error unable to download file sima0010.23o.Z.\n    the transfer was cut: the connection to "
     "127.0.0.1 ended before the whole file arrived"},
    {"CorruptCompressedObservation", "sima",
     [](FaultTest& test, FtpServerOptions& options, std::string&, std::string&) {
       options.root = test.CopyArchive();
       // Past the three-byte header every code is 0x1ff, beyond any code
       // the decoder has defined yet.
       Damage(options.root + "/simz/pub/rinex/2023/001/sima0010.23o.Z",
              [](std::string& bytes) { std::fill(bytes.begin() + 3, bytes.end(), '\xff'); });
     },
     -1, "Error in unzip", "The input file appears to be corrupt sima0010.23o.Z"},
    {"ZipMemberClimbingOutOfTheWorkingFolder", "simd",
     [](FaultTest& test, FtpServerOptions& options, std::string&, std::string&) {
       options.root = test.CopyArchive();
       std::string zip;
       for (const auto& entry : fs::recursive_directory_iterator(options.root + "/simzip"))
         if (entry.path().filename() == "simd0010.23o.zip") zip = entry.path().string();
       ASSERT_FALSE(zip.empty());
       // The real member stays; two more climb one and two folders up.
       std::string command =
           "/usr/bin/python3 -c \"import zipfile,sys; z=zipfile.ZipFile(sys.argv[1],'a'); "
           "z.writestr('../slip.23o','escaped'); z.writestr('../../slip.23o','escaped'); "
           "z.close()\" '" + zip + "'";
       ASSERT_EQ(std::system(command.c_str()), 0);
     },
     -1, "Error in unzip", "Error UnZip was unable unzip the file simd0010.23o.zip"},
};

class ServerFaultTest : public FaultTest, public ::testing::WithParamInterface<ServerFault> {};

TEST_P(ServerFaultTest, FailsCleanlyWithItsHeadingAndReason) {
  const ServerFault& fault = GetParam();
  FtpServerOptions options;
  std::string address, removedService;
  fault.setup(*this, options, address, removedService);
  if (!removedService.empty()) {
    // Serve, then reload the catalogue without that service.
    Serve(options, address);
    std::string text = ReadFile(CatalogueDir() + "/manufact.dwn");
    std::regex block("Service \\{\\n  ServId: " + removedService + "\\n[^}]*\\}");
    vClearMem(&catalogue_);
    ASSERT_EQ(LoadCatalogue(std::regex_replace(text, block, "")), 0) << LastError();
  } else {
    Serve(options, address);
  }
  StatusRecorder recorder;
  BeforeRequest();
  int result = Fetch(fault.station);
  std::vector<std::string> headings = recorder.Headings();
  std::string last = LastError();
  EXPECT_EQ(result, fault.result) << last;
  if (fault.result == 0) {
    if (*fault.heading) {
      ASSERT_FALSE(headings.empty());
      EXPECT_EQ(headings.back(), fault.heading);
    }
    if (*fault.text) {
      EXPECT_TRUE(recorder.HasText(fault.text)) << fault.text;
    }
    EXPECT_TRUE(fs::exists(delivered_)) << delivered_;
    ExpectNothingLeaked(false);
    return;
  }
  ASSERT_FALSE(headings.empty());
  EXPECT_EQ(headings.back(), fault.heading);
  EXPECT_EQ(last, fault.text);
  ExpectNothingLeaked(true);
  EXPECT_FALSE(fs::exists(fs::path(Parent()).parent_path() / "slip.23o"));
}

INSTANTIATE_TEST_SUITE_P(Faults, ServerFaultTest, ::testing::ValuesIn(kServerFaults),
                         [](const ::testing::TestParamInfo<ServerFault>& paramInfo) {
                           return std::string(paramInfo.param.name);
                         });

}  // namespace
}  // namespace stanvex::testing
