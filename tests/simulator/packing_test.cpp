// Our .Z, gzip and zip files open with the standard tools and libraries and
// with our own .Z extractor, whatever the input.
#include <gtest/gtest.h>
#include <unzip.h>
#include <zlib.h>

#include <cstdio>

#include "lzw_compress.h"
#include "packing.h"
#include "random.h"
#include "sim_test_util.h"
#include "simulator.h"
#include "test_support.h"
#ifdef STANVEX_HAVE_UNZ
#include "unz.h"
#endif

namespace stanvex::sim {
namespace {

using testing::ReadFile;
using testing::ScratchDir;

// Inputs that reach every corner of the encoder: nothing, one byte, a run
// (long strings, fast growth), noise (the table fills and is cleared),
// and RINEX text.
std::vector<std::pair<std::string, std::string>> Inputs() {
  Random random(5);
  std::string noise(300000, '\0');
  for (char& c : noise) c = static_cast<char>(random.Next());
  std::string lowbits(600000, '\0');
  for (char& c : lowbits) c = static_cast<char>('a' + random.Integer(0, 3));
  ObservationOptions o;
  o.startGps = GpsSecondsOfDate(2021, 1, 1);
  o.duration = 3 * 3600;
  ObservationSimulator sim({"pack", 10, 20, 30}, o);
  std::string rinex = ObservationHeader({"pack", 10, 20, 30}, o, sim.TruePosition(),
                                        SimTime{o.startGps, 0});
  Epoch e;
  while (sim.Next(&e)) rinex += FormatEpoch(e, true);
  return {{"empty", ""},
          {"one", "x"},
          {"run", std::string(200000, 'a')},
          {"noise", noise},
          {"lowbits", lowbits},
          {"rinex", rinex}};
}

TEST(SimCompressZ, UncompressRestoresEveryInput) {
  const std::string uncompress = testing::FindProgram("uncompress");
  if (uncompress.empty()) GTEST_SKIP() << "uncompress is not installed";
  ScratchDir dir;
  for (const auto& [name, data] : Inputs()) {
    testing::WriteFile(dir.File(name + ".Z"), CompressZ(data));
    ASSERT_TRUE(testing::Run(uncompress + " -c '" + dir.File(name + ".Z") + "' > '" +
                             dir.File(name) + "'"))
        << name;
    EXPECT_TRUE(ReadFile(dir.File(name)) == data) << name;
  }
}

TEST(SimCompressZ, SameBytesAsCompress) {
  const std::string compress = testing::FindProgram("compress");
  if (compress.empty()) GTEST_SKIP() << "compress is not installed";
  ScratchDir dir;
  for (const auto& [name, data] : Inputs()) {
    if (data.empty()) continue;  // compress declines to write an empty file
    testing::WriteFile(dir.File(name), data);
    ASSERT_TRUE(testing::Run(compress + " -c '" + dir.File(name) + "' > '" + dir.File(name) +
                             ".Z'"));
    EXPECT_TRUE(ReadFile(dir.File(name) + ".Z") == CompressZ(data)) << name;
  }
}

#ifdef STANVEX_HAVE_UNZ
TEST(SimCompressZ, OurExtractorRestoresEveryInput) {
  ScratchDir dir;
  for (const auto& [name, data] : Inputs()) {
    testing::WriteFile(dir.File(name + ".Z"), CompressZ(data));
    try {
      QvUnZ_Extract(dir.File(name + ".Z").c_str(), dir.File(name).c_str());
    } catch (int code) {
      FAIL() << name << ": extractor failed with " << code;
    }
    EXPECT_TRUE(ReadFile(dir.File(name)) == data) << name;
  }
}
#endif

TEST(SimPacking, GzipAndZipReadBackWithZlibAndMinizip) {
  ScratchDir dir;
  const std::string data = Inputs().back().second;
  const SimTime stamp{GpsSecondsOfDate(2021, 1, 2), 0};
  std::string error;
  ASSERT_TRUE(WritePacked(data, Packing::kGzip, dir.File("a.gz"), "", stamp, &error)) << error;
  gzFile gz = gzopen(dir.File("a.gz").c_str(), "rb");
  ASSERT_NE(gz, nullptr);
  std::string back(data.size() + 10, '\0');
  const int n = gzread(gz, back.data(), static_cast<unsigned>(back.size()));
  gzclose(gz);
  back.resize(n > 0 ? static_cast<size_t>(n) : 0);
  EXPECT_TRUE(back == data);

  ASSERT_TRUE(WritePacked(data, Packing::kZip, dir.File("a.zip"), "sima0020.21o", stamp, &error));
  unzFile zip = unzOpen(dir.File("a.zip").c_str());
  ASSERT_NE(zip, nullptr);
  ASSERT_EQ(unzLocateFile(zip, "sima0020.21o", 1), UNZ_OK);
  unz_file_info info;
  ASSERT_EQ(unzGetCurrentFileInfo(zip, &info, nullptr, 0, nullptr, 0, nullptr, 0), UNZ_OK);
  EXPECT_EQ(info.tmu_date.tm_year, 2021u);
  EXPECT_EQ(info.tmu_date.tm_mday, 2u);
  ASSERT_EQ(unzOpenCurrentFile(zip), UNZ_OK);
  std::string unzipped(data.size() + 10, '\0');
  const int m = unzReadCurrentFile(zip, unzipped.data(), static_cast<unsigned>(unzipped.size()));
  unzCloseCurrentFile(zip);
  unzClose(zip);
  unzipped.resize(m > 0 ? static_cast<size_t>(m) : 0);
  EXPECT_TRUE(unzipped == data);
}

TEST(SimPacking, UnwritableTargetFailsNamingThePath) {
  ScratchDir dir;
  std::string error;
  const SimTime stamp{0, 0};
  for (Packing p : {Packing::kPlain, Packing::kZ, Packing::kGzip, Packing::kZip}) {
    error.clear();
    EXPECT_FALSE(WritePacked("data", p, dir.File("no/such/dir/f"), "f", stamp, &error));
    EXPECT_NE(error.find("no/such/dir/f"), std::string::npos);
  }
}

}  // namespace
}  // namespace stanvex::sim
