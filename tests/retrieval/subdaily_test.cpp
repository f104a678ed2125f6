// Requests served from sub-daily files: real data cut into hourly and
// 15-minute files in the archives' layouts, served by loopback FTP and HTTPS
// servers, through iFTP and through `stanvex fetch`.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "base/gps_time.h"
#include "base/last_error.h"
#include "base/request_state.h"
#include "convert/converter_binding.h"
#include "crinex/crx2rnx.h"
#include "crinex_encoder.h"
#include "ftp_fixture.h"
#include "https_fixture.h"
#include "real_data.h"
#include "sample_archive_cache.h"
#include "stanvex.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace stanvex {
namespace {

using namespace stanvex::testing;

// A RINEX observation text as its header and its epochs (line ends kept),
// each epoch with its second of the day.
struct Epochs {
  std::string header;
  std::vector<std::pair<int, std::string>> items;
};

Epochs SplitEpochs(const std::string& text) {
  Epochs out;
  std::istringstream in(text);
  std::string line;
  const bool v3 = text.size() > 5 && text[5] == '3';
  int types = 0;
  while (std::getline(in, line)) {
    out.header += line + "\n";
    if (line.find("# / TYPES OF OBSERV") != std::string::npos && types == 0)
      types = std::atoi(line.substr(0, 6).c_str());
    if (line.find("END OF HEADER") != std::string::npos) break;
  }
  while (std::getline(in, line)) {
    const std::string epoch = line;
    std::string lines = line + "\n";
    const int count = std::atoi(epoch.substr(v3 ? 32 : 29, 3).c_str());
    const int more = v3 || epoch[28] > '1' ? count : (count - 1) / 12 + count * ((types + 4) / 5);
    for (int k = 0; k < more && std::getline(in, line); ++k) lines += line + "\n";
    const size_t at = v3 ? 13 : 10;
    out.items.push_back({std::atoi(epoch.substr(at, 2).c_str()) * 3600 +
                             std::atoi(epoch.substr(at + 3, 2).c_str()) * 60 +
                             std::atoi(epoch.substr(at + 5, 3).c_str()),
                         lines});
  }
  return out;
}

// The header and the epochs from `from` to `to` (seconds of the day, both included).
std::string Piece(const Epochs& epochs, int from, int to) {
  std::string text = epochs.header;
  for (const auto& [second, epoch] : epochs.items)
    if (second >= from && second <= to) text += epoch;
  return text;
}

void PutGzip(const std::string& path, const std::string& content) {
  fs::create_directories(fs::path(path).parent_path());
  gzFile out = gzopen(path.c_str(), "wb");
  ASSERT_NE(out, nullptr) << path;
  ASSERT_EQ(gzwrite(out, content.data(), static_cast<unsigned>(content.size())),
            static_cast<int>(content.size()));
  gzclose(out);
}

std::string Gunzipped(const std::string& path) {
  ScratchDir scratch;
  EXPECT_TRUE(real_data::Gunzip(path, scratch.File("x"))) << path;
  return ReadFile(scratch.File("x"));
}

char HourLetter(int hour) { return static_cast<char>('a' + hour); }

constexpr char kServices[] =
    "Service {\nServId: NOAA\nftpAd: ftp://FTP\nFtype: gz\n"
    "oFile: /noaa/<YYYY>/<JJJ>/<xxxx>/<xxxx><JJJ>0.<yy>o.gz\n"
    "hFile: /noaa/<YYYY>/<JJJ>/<xxxx>/<xxxx><JJJ><h>.<yy>o.gz\n"
    "nFile: /noaa/<YYYY>/<JJJ>/<xxxx>/<xxxx><JJJ>0.<yy>n.gz\n"
    "hnFile: /noaa/<YYYY>/<JJJ>/brdc<JJJ>0.<yy>n.gz\n}\n"
    "Service {\nServId: HR\nftpAd: ftp://FTP\nFtype: gz\n"
    "oFile: /hr/<YYYY>/<JJJ>/<xxxx><JJJ>0.<yy>o.gz\n"
    "qFile: /hr/<YYYY>/<JJJ>/<yy>d/<HH>/<xxxx><JJJ><h><MM>.<yy>o.gz\n"
    "nFile: /hr/<YYYY>/<JJJ>/<xxxx><JJJ>0.<yy>n.gz\n}\n"
    "Service {\nServId: BKG\nftpAd: HTTPS\nFtype: gz\n"
    "oFile: /IGS/obs/<YYYY>/<JJJ>/<XXXXMRCCC>_R_<YYYY><JJJ>0000_01D_30S_MO.crx.gz\n"
    "hFile: /IGS/nrt/<JJJ>/<HH>/<XXXXMRCCC>_R_<YYYY><JJJ><HH>00_01H_30S_MO.crx.gz\n"
    "nFile: /IGS/BRDC/<YYYY>/<JJJ>/BRDC00IGS_R_<YYYY><JJJ>0000_01D_MN.rnx.gz\n"
    "hnFile: /IGS/BRDC/<YYYY>/<JJJ>/BRDC00WRD_S_<YYYY><JJJ>0000_01D_MN.rnx.gz\n}\n";

class SubDailyTest : public ::testing::Test {
 protected:
  // The archive tree, made once for the suite:
  //  NOAA (RINEX 2 short names): ZIMM 2021-01-01 in hourly files, each ending
  //    with the next hour's first epoch, and the day's rolling brdc file;
  //    the simulated SIMC 2023-01-01 as its daily file, 2023-01-02 in hourly files;
  //  HR: GLW1 2018-10-04 12:00-12:59:55 at 5 s, as its daily file and in
  //    15-minute files;
  //  BKG (RINEX 3 long names, compact): NIST 2023-01-01 hours 9 to 13 in
  //    hourly files, with the rolling merged navigation file.
  static void SetUpTestSuite() {
    root_ = new ScratchDir;
    const std::string r = root_->path();
    const Epochs zimm = SplitEpochs(ReadFile(SharedData("rinex/zimm0010.21o")));
    for (int h = 0; h < 24; ++h)
      PutGzip(r + "/noaa/2021/001/zimm/zimm001" + HourLetter(h) + ".21o.gz",
              Piece(zimm, h * 3600, h * 3600 + 3600));
    fs::copy_file(SharedData("rinex/cbw10010.21n.gz"), r + "/noaa/2021/001/brdc0010.21n.gz");

    const std::string sim = SampleArchive() + "/archive/simgz/data/";
    fs::create_directories(r + "/noaa/2023/001/simc");
    fs::create_directories(r + "/noaa/2023/002/simc");
    fs::copy_file(sim + "2023/01/01/simc0010.23o.gz", r + "/noaa/2023/001/simc/simc0010.23o.gz");
    fs::copy_file(sim + "2023/01/01/simc0010.23n.gz", r + "/noaa/2023/001/simc/simc0010.23n.gz");
    fs::copy_file(sim + "2023/01/02/simc0020.23n.gz", r + "/noaa/2023/002/simc/simc0020.23n.gz");
    const Epochs simc = SplitEpochs(Gunzipped(sim + "2023/01/02/simc0020.23o.gz"));
    for (int h = 0; h < 3; ++h)
      PutGzip(r + "/noaa/2023/002/simc/simc002" + HourLetter(h) + ".23o.gz",
              Piece(simc, h * 3600, h * 3600 + 3599));

    const std::string glw = ReadFile(SharedData("highrate/glw1277m.18o"));
    const Epochs high = SplitEpochs(glw);
    PutGzip(r + "/hr/2018/277/glw12770.18o.gz", glw);
    PutGzip(r + "/hr/2018/277/glw12770.18n.gz", ReadFile(SharedData("highrate/glw1277m.18n")));
    for (int q = 0; q < 4; ++q)
      PutGzip(r + "/hr/2018/277/18d/12/glw1277m" + (q == 0 ? "00" : std::to_string(q * 15)) +
                  ".18o.gz",
              Piece(high, 43200 + q * 900, 43200 + q * 900 + 899));

    ScratchDir scratch;
    ASSERT_TRUE(real_data::Gunzip(SharedData("rinex3/NIST00USA_R_20230010000_01D_30S_MO.crx.gz"),
                                  scratch.File("nist.crx")));
    ASSERT_TRUE(Crx2Rnx(scratch.File("nist.crx").c_str(), scratch.File("nist.rnx").c_str()).ok);
    const Epochs nist = SplitEpochs(ReadFile(scratch.File("nist.rnx")));
    for (int h = 9; h < 14; ++h) {
      std::string compact, error;
      ASSERT_TRUE(sim::EncodeCompactRinex3(Piece(nist, h * 3600, h * 3600 + 3600), &compact,
                                           &error))
          << error;
      char name[96];
      std::snprintf(name, sizeof name, "/IGS/nrt/001/%02d/NIST00USA_R_2023001%02d00_01H_30S_MO.crx.gz",
                    h, h);
      PutGzip(r + name, compact);
    }
    fs::create_directories(r + "/IGS/BRDC/2023/001");
    fs::copy_file(SharedData("rinex3/BRDC00IGS_R_20230010000_01D_MN.rnx.gz"),
                  r + "/IGS/BRDC/2023/001/BRDC00WRD_S_20230010000_01D_MN.rnx.gz");
  }
  static void TearDownTestSuite() { delete root_; }

  void SetUp() override {
    ResetLibraryStateForTesting();
    FtpServerOptions ftp;
    ftp.root = root_->path();
    ftp_ = std::make_unique<FtpServer>(ftp);
    ASSERT_TRUE(ftp_->running()) << ftp_->error();
    HttpsServerOptions https;
    https.root = root_->path();
    https_ = std::make_unique<HttpsServer>(https);
    ASSERT_TRUE(https_->running()) << https_->error();
    ::unsetenv("CURL_CA_BUNDLE");
    ::setenv("SSL_CERT_FILE", TestCertificates::Get().Authority().c_str(), 1);
    std::string text = kServices;
    for (size_t at; (at = text.find("FTP\n")) != std::string::npos;)
      text.replace(at, 3, ftp_->Address());
    text.replace(text.find("HTTPS\n"), 5, https_->Url());
    const char* stations[][3] = {
        {"zimm", "NOAA", ""}, {"simc", "NOAA", ""}, {"glw1", "HR", ""}, {"nist", "BKG", "NIST00USA"}};
    for (const auto& s : stations)
      text += std::string("Station {\nsName: ") + s[0] + "\nlName: " + s[2] +
              "\nlat: 45 0 0 N\nlon: 7 0 0 E\nht: 100\nserv: " + s[1] + "\n}\n";
    WriteFile(catalogue_.File("manufact.dwn"), text);
  }
  void TearDown() override {
    if (records_.pStations != nullptr) vClearMem(&records_);
  }

  int Fetch(const char* station, int64_t start, int64_t end, double interval) {
    records_.iServiceSize = sizeof(ServiceRecord);
    records_.iStationSize = sizeof(StationRecord);
    std::string dir = catalogue_.path();
    EXPECT_EQ(iInitalizeNEW(dir.data(), work_.path().c_str(), &records_), 0);
    StationRecord* record = nullptr;
    for (int i = 0; i < records_.iNumStations; ++i)
      if (std::strcmp(records_.pStations[i].sName, station) == 0) record = &records_.pStations[i];
    std::snprintf(dest_text_, sizeof dest_text_, "%s", dest_.path().c_str());
    return iFTP(static_cast<double>(start), static_cast<double>(end), record, dest_text_,
                interval, delivered_, nullptr, nullptr, 1, 0, 1);
  }

  static inline ScratchDir* root_ = nullptr;
  ScratchDir catalogue_, work_, dest_;
  std::unique_ptr<FtpServer> ftp_;
  std::unique_ptr<HttpsServer> https_;
  Serv_Sta records_{};
  char dest_text_[256] = {};
  char delivered_[256] = {};
};

int64_t At(int year, int month, int day, int hour, int minute) {
  return GpsSecondsAt(year, month, day, hour, minute, 0);
}

TEST_F(SubDailyTest, EachDayTakesTheFilesThatCoverItsPartOfTheWindowOverOneConnection) {
  const struct {
    const char* station;
    int64_t start, end;
    double interval;
    std::vector<std::string> fetched;  // requests the server must have had
    std::string notFetched;            // nor this one
    int epochs;
    int connections;  // FTP logins or TLS handshakes, one per day
  } cases[] = {
      {"zimm", At(2021, 1, 1, 10, 20), At(2021, 1, 1, 12, 5), 0,
       {"RETR noaa/2021/001/zimm/zimm001k.21o.gz", "RETR noaa/2021/001/zimm/zimm001l.21o.gz",
        "RETR noaa/2021/001/zimm/zimm001m.21o.gz", "RETR noaa/2021/001/brdc0010.21n.gz"},
       "RETR noaa/2021/001/zimm/zimm001j", 211, 1},
      {"simc", At(2023, 1, 1, 23, 0), At(2023, 1, 2, 1, 30), 0,
       {"RETR noaa/2023/001/simc/simc0010.23o.gz", "RETR noaa/2023/002/simc/simc002a.23o.gz",
        "RETR noaa/2023/002/simc/simc002b.23o.gz"},
       "RETR noaa/2023/001/simc/simc001x", 301, 2},
      {"glw1", At(2018, 10, 4, 12, 10), At(2018, 10, 4, 12, 40), 5,
       {"RETR hr/2018/277/18d/12/glw1277m00.18o.gz", "RETR hr/2018/277/18d/12/glw1277m15.18o.gz",
        "RETR hr/2018/277/18d/12/glw1277m30.18o.gz"},
       "RETR hr/2018/277/glw12770.18o.gz", 361, 1},
      {"nist", At(2023, 1, 1, 10, 20), At(2023, 1, 1, 12, 5), 0,
       {"GET /IGS/nrt/001/10/NIST00USA_R_20230011000_01H_30S_MO.crx.gz",
        "GET /IGS/nrt/001/12/NIST00USA_R_20230011200_01H_30S_MO.crx.gz",
        "GET /IGS/BRDC/2023/001/BRDC00WRD_S_20230010000_01D_MN.rnx.gz"},
       "GET /IGS/nrt/001/09/", 211, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.station);
    const int logins = ftp_->CountLog("USER "), handshakes = https_->CountLog("TLS");
    ASSERT_EQ(Fetch(c.station, c.start, c.end, c.interval), 0) << LastErrorText;
    const bool https = std::string(c.station) == "nist";
    for (const std::string& request : c.fetched)
      EXPECT_EQ((https ? https_->CountLog(request) : ftp_->CountLog(request)), 1) << request;
    EXPECT_EQ((https ? https_->CountLog(c.notFetched) : ftp_->CountLog(c.notFetched)), 0);
    EXPECT_EQ(https ? https_->CountLog("TLS") - handshakes : ftp_->CountLog("USER ") - logins,
              c.connections);
    const real_data::ObnContent delivered = real_data::ReadObn(delivered_);
    ASSERT_EQ(static_cast<int>(delivered.epochs.size()), c.epochs);
    EXPECT_DOUBLE_EQ(delivered.epochs.back().position.time - delivered.epochs[0].position.time,
                     static_cast<double>(c.end - c.start));
  }

  // The 5 s epochs are the measured ones: those the converter makes of the
  // original hour.
  ScratchDir direct;
  fs::copy_file(SharedData("highrate/glw1277m.18o"), direct.File("glw1277m.18o"));
  char obn[kPathSize];
  ASSERT_TRUE(ConvertRinexToObn(direct.File("glw1277m.18o").c_str(),
                                SharedData("highrate/glw1277m.18n").c_str(), obn, 0, 0)
                  .ok);
  ASSERT_EQ(Fetch("glw1", At(2018, 10, 4, 12, 10), At(2018, 10, 4, 12, 40), 5), 0);
  const real_data::ObnContent original = real_data::ReadObn(obn);
  const real_data::ObnContent delivered = real_data::ReadObn(delivered_);
  size_t k = 0;
  while (k < original.epochs.size() &&
         original.epochs[k].position.time < delivered.epochs[0].position.time)
    ++k;
  for (const real_data::Epoch& epoch : delivered.epochs) {
    ASSERT_LT(k, original.epochs.size());
    const real_data::Epoch& expected = original.epochs[k++];
    EXPECT_EQ(std::memcmp(&epoch.position, &expected.position, sizeof epoch.position), 0);
    ASSERT_EQ(epoch.measurements.size(), expected.measurements.size());
    EXPECT_EQ(std::memcmp(epoch.measurements.data(), expected.measurements.data(),
                          epoch.measurements.size() * sizeof epoch.measurements[0]),
              0);
  }
}

TEST_F(SubDailyTest, MissingHoursAreSkippedAndNamedByTheCoverageWarning) {
  const std::string before = ftp_->Address();
  ftp_->Stop();
  FtpServerOptions options;
  options.root = root_->path();
  options.missing = {"*zimm001l*"};
  FtpServer server(options);
  ASSERT_TRUE(server.running()) << server.error();
  std::string text = ReadFile(catalogue_.File("manufact.dwn"));
  for (size_t at; (at = text.find(before)) != std::string::npos;)
    text.replace(at, before.size(), server.Address());
  WriteFile(catalogue_.File("manufact.dwn"), text);
  const struct {
    const char* day;
    int status;
    std::vector<std::string> said;
  } cases[] = {
      {"2021-01-01", 0,
       {"Hourly file /noaa/2021/001/zimm/zimm001l.21o.gz (2021-01-01 11:00 to 11:59) missing, "
        "skipped",
        "warning: the data miss 2021-01-01 11:00 to 11:59: the archive's files for them were "
        "missing or could not be joined"}},
      {"2021-01-02", 1,
       {"Error unable to download file zimm0020.21o.gz or any of its hourly files.\n    the "
        "files do not exist on the FTP server"}},
  };
  for (const auto& c : cases) {
    const std::string day = c.day;
    const std::string command = "env -u STANVEX_PASSWORD '" + OutDir() +
                                "/stanvex' fetch --catalogue '" + catalogue_.path() +
                                "' --station zimm --from '" + day + " 10:20' --to '" + day +
                                " 12:05' --dest '" + dest_.path() + "' </dev/null 2>&1";
    std::FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char buffer[512];
    for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
      output.append(buffer, got);
    EXPECT_EQ(WEXITSTATUS(pclose(pipe)), c.status) << output;
    for (const std::string& said : c.said) EXPECT_NE(output.find(said), std::string::npos) << output;
  }
}

}  // namespace
}  // namespace stanvex
