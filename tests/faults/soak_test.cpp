// Many requests in one process, successes and failures mixed: the open
// descriptors and the heap in use must not grow from one round to the next.
#include <malloc.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <regex>
#include <string>

#include "fault_fixture.h"

namespace fs = std::filesystem;

namespace stanvex::testing {
namespace {

size_t HeapInUse() { return mallinfo2().uordblks; }

class SoakTest : public FaultTest {};

TEST_F(SoakTest, TwoHundredMixedRequestsLeakNeitherDescriptorsNorMemory) {
  const char* overrideCount = std::getenv("STANVEX_SOAK_REQUESTS");
  const int requests = overrideCount ? std::atoi(overrideCount) : 200;
  FtpServerOptions options;
  options.root = (fs::path(archive_) / "archive").string();
  options.missing = {"*simb*o.Z"};
  options.lifetimeSeconds = 600;
  server_ = std::make_unique<FtpServer>(options);
  ASSERT_TRUE(server_->running()) << server_->error();
  // SIMZ over FTP, every other service from its folder, and a service where
  // nothing listens, whose requests fail at the connection.
  std::string text = ReadFile((fs::path(archive_) / "catalogue" / "manufact.dwn").string());
  text = std::regex_replace(text, std::regex("ftpAd: file://[^\\n]*/archive/([a-z]+)"),
                            "ftpAd: file://" + archive_ + "/archive/$1");
  text = std::regex_replace(text, std::regex("ftpAd: file://[^\\n]*/archive/simz\\n"),
                            "ftpAd: ftp://" + server_->Address() + "/simz\n");
  text += "\nService {\n  ServId: DEAD\n  ftpAd: 127.0.0.1:" +
          std::to_string(UnusedLoopbackPort()) +
          "\n  oFile: /<XXXX><JJJ>0.<yy>o.Z\n  nFile: /<XXXX><JJJ>0.<yy>n.Z\n  Ftype: Z\n}\n"
          "Station {\n  sName: dead\n  lat: 1 0 0 N\n  lon: 1 0 0 E\n  ht: 1\n  serv: DEAD\n}\n"
          "Station {\n  sName: simx\n  lat: 1 0 0 N\n  lon: 1 0 0 E\n  ht: 1\n  serv: SIMGZ\n}\n";
  ASSERT_EQ(LoadCatalogue(text), 0) << LastError();
  // Station, whether it succeeds, and an interval (0: as recorded).
  struct Kind {
    const char* station;
    int result;
    double interval;
  };
  const Kind kinds[] = {{"sima", 0, 0},  {"simc", 0, 0},  {"simd", 0, 0},   {"dead", -1, 0},
                        {"sime", 0, 0},  {"simx", -1, 0}, {"simc", 0, 60},  {"simb", -1, 0}};
  const int kindsCount = static_cast<int>(sizeof kinds / sizeof kinds[0]);
  const int warmUp = 2 * kindsCount;  // libraries loaded, caches filled

  int fdsAfterWarmUp = 0;
  size_t heapAfterWarmUp = 0;
  int failures = 0;
  for (int i = 0; i < requests; ++i) {
    if (i == warmUp) {
      fdsAfterWarmUp = OpenDescriptorCount();
      heapAfterWarmUp = HeapInUse();
    }
    const Kind& kind = kinds[i % kindsCount];
    int64_t start = day1_ + 3600 * (i % 20);
    int result = Fetch(kind.station, kind.interval, start, start + 3600);
    if (result != kind.result) {
      ADD_FAILURE() << "request " << i << " for " << kind.station << ": " << LastError();
      if (++failures > 3) return;
    }
    for (const auto& entry : fs::directory_iterator(Dest())) fs::remove(entry.path());
  }
  const int fdsEnd = OpenDescriptorCount();
  const size_t heapEnd = HeapInUse();
  std::printf("soak: %d requests; descriptors %d after warm-up, %d at the end; heap in use %zu "
              "bytes after warm-up, %zu at the end\n",
              requests, fdsAfterWarmUp, fdsEnd, heapAfterWarmUp, heapEnd);
  EXPECT_EQ(fdsEnd, fdsAfterWarmUp);
  // Allocator slack, not growth per request: 200 leaked requests of even a
  // few hundred bytes each would exceed it.
  EXPECT_LE(heapEnd, heapAfterWarmUp + 64 * 1024);
  // Only the decoded compact file of the one compact day stays (the packed
  // download is deleted after decoding); nothing piles up.
  for (const auto& entry : fs::directory_iterator(Work()))
    EXPECT_EQ(entry.path().filename(), "sime0010.23d") << "left in the working folder";
}

}  // namespace
}  // namespace stanvex::testing
