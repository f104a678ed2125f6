#include "fault_fixture.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <regex>
#include <vector>

#include "base/request_state.h"
#include "small_archive.h"
#include "transfer/retry_policy.h"

namespace fs = std::filesystem;

namespace stanvex::testing {

std::map<std::string, uintmax_t> SnapshotTree(const std::string& root,
                                              const std::vector<std::string>& skip) {
  std::map<std::string, uintmax_t> files;
  std::error_code error;
  fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, error);
  for (; !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    std::string relative = fs::relative(it->path(), root).string();
    bool skipped = false;
    for (const std::string& s : skip)
      if (relative == s || relative.rfind(s + "/", 0) == 0) skipped = true;
    if (skipped) {
      if (it->is_directory()) it.disable_recursion_pending();
      continue;
    }
    std::error_code ignored;
    if (it->is_regular_file(ignored))
      files[relative] = it->file_size(ignored);
    else if (it->is_directory(ignored))
      files[relative + "/"] = 0;
  }
  return files;
}

int OpenDescriptorCount() { return static_cast<int>(OpenDescriptors().size()); }

int UnusedLoopbackPort() {
  int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  int port = 0;
  if (::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0)
    port = ntohs(address.sin_port);
  ::close(s);
  return port;
}

void FaultTest::SetUpTestSuite() { archive_ = SmallArchive(); }

void FaultTest::SetUp() {
  ASSERT_FALSE(archive_.empty()) << "the simulated archive could not be made";
  ResetLibraryStateForTesting();
  // Retries keep their order and texts with pauses of 10 and 40 ms.
  SetRetryPauseDivisorForTesting(100);
  day1_ = SmallArchiveFirstDay();
  fs::create_directories(Work());
  fs::create_directories(Dest());
  fs::create_directories(CatalogueDir());
  // Relative writes would land in the parent, where the snapshot sees them.
  ASSERT_EQ(::chdir(Parent().c_str()), 0);
}

void FaultTest::TearDown() {
  if (catalogue_.pStations != nullptr) vClearMem(&catalogue_);
  if (server_) server_->Stop();
  SetRetryPauseDivisorForTesting(1);
  ::chdir("/");
}

std::string FaultTest::CopyArchive() {
  fs::path copy = fs::path(Parent()) / "archive";
  fs::copy(fs::path(archive_) / "archive", copy, fs::copy_options::recursive);
  return copy.string();
}

int FaultTest::LoadCatalogue(const std::string& text) {
  WriteFile(CatalogueDir() + "/manufact.dwn", text);
  std::string dir = CatalogueDir();
  std::vector<char> buffer(dir.begin(), dir.end());
  buffer.push_back('\0');
  catalogue_.iServiceSize = sizeof(ServiceRecord);
  catalogue_.iStationSize = sizeof(StationRecord);
  return iInitalizeNEW(buffer.data(), Work().c_str(), &catalogue_);
}

void FaultTest::Serve(FtpServerOptions options, const std::string& address,
                      const std::string& extraCatalogue) {
  if (options.root.empty()) options.root = (fs::path(archive_) / "archive").string();
  options.lifetimeSeconds = 240;
  server_ = std::make_unique<FtpServer>(options);
  ASSERT_TRUE(server_->running()) << server_->error();
  std::string text = ReadFile((fs::path(archive_) / "catalogue" / "manufact.dwn").string());
  std::regex services("ftpAd: file://[^\\n]*/archive/([a-z]+)");
  text = std::regex_replace(
      text, services, "ftpAd: ftp://" + (address.empty() ? server_->Address() : address) + "/$1");
  ASSERT_EQ(LoadCatalogue(text + extraCatalogue), 0) << LastError();
}

StationRecord* FaultTest::StationNamed(const char* name) {
  for (int i = 0; i < catalogue_.iNumStations; ++i)
    if (std::strncmp(catalogue_.pStations[i].sName, name, 8) == 0) return &catalogue_.pStations[i];
  return nullptr;
}

int FaultTest::Fetch(const char* station, double interval, int64_t start, int64_t end) {
  StationRecord* record = StationNamed(station);
  EXPECT_NE(record, nullptr) << station;
  if (record == nullptr) return -2;
  if (start < 0) start = day1_ + 3600;
  if (end < 0) end = start + 3600;
  const std::string& dest = destOverride_.empty() ? Dest() : destOverride_;
  std::memset(destText_, 0, sizeof destText_);
  std::memcpy(destText_, dest.data(), std::min(dest.size(), sizeof destText_ - 1));
  delivered_[0] = '\0';
  return iFTP(static_cast<double>(start), static_cast<double>(end), record, destText_, interval,
              delivered_, nullptr, nullptr, 1, 0, 1);
}

std::string FaultTest::LastError() {
  char text[512];
  iGetLastError(text);
  return text;
}

void FaultTest::BeforeRequest() {
  descriptorsBefore_ = OpenDescriptors();
  outsideBefore_ = SnapshotTree(Parent(), {"work", "dest"});
  destBefore_ = SnapshotTree(Dest());
}

void FaultTest::ExpectNothingLeaked(bool destinationUntouched) {
  std::map<int, std::string> after = OpenDescriptors();
  EXPECT_EQ(after.size(), descriptorsBefore_.size())
      << "descriptors left open; before:" << DescribeDescriptors(descriptorsBefore_)
      << "; after:" << DescribeDescriptors(after);
  EXPECT_EQ(SnapshotTree(Parent(), {"work", "dest"}), outsideBefore_)
      << "files written outside the working and destination folders";
  if (destinationUntouched) {
    EXPECT_EQ(SnapshotTree(Dest()), destBefore_) << "destination changed";
  }
}

}  // namespace stanvex::testing
