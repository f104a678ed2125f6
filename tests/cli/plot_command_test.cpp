// stanvex obn plot run as a program on a real converted hour with a known
// cut; the chart is rendered by a real SVG renderer (rsvg-convert) and its
// pixels are read back.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "real_data.h"
#include "svg_chart.h"
#include "test_support.h"

namespace {

using stanvex::testing::Exists;
using stanvex::testing::OutDir;
using stanvex::testing::ReadFile;

// Runs a shell command line; returns its exit status and output.
int RunShell(const std::string& command, std::string* output) {
  std::FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return -1;
  char buffer[512];
  size_t got;
  output->clear();
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output->append(buffer, got);
  const int status = pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int RunStanvex(const std::string& arguments, std::string* output) {
  return RunShell("'" + OutDir() + "/stanvex' " + arguments, output);
}

// The RGB pixels of an 8-bit RGB or RGBA PNG without interlacing, as
// rsvg-convert writes it; width 0 when it is not one.
struct Png {
  size_t width = 0, height = 0, channels = 0;
  std::vector<unsigned char> data;
  unsigned Pixel(double x, double y) const {  // 0xRRGGBB
    const unsigned char* p =
        &data[(static_cast<size_t>(y) * width + static_cast<size_t>(x)) * channels];
    return p[0] << 16 | p[1] << 8 | p[2];
  }
};

Png ReadPng(const std::string& path) {
  const std::string bytes = ReadFile(path);
  auto word = [&](size_t at) {
    return static_cast<size_t>(static_cast<unsigned char>(bytes[at])) << 24 |
           static_cast<unsigned char>(bytes[at + 1]) << 16 |
           static_cast<unsigned char>(bytes[at + 2]) << 8 |
           static_cast<unsigned char>(bytes[at + 3]);
  };
  Png png;
  std::string compressed;
  for (size_t at = 8; at + 12 <= bytes.size(); at += 12 + word(at)) {
    const std::string type = bytes.substr(at + 4, 4);
    if (type == "IHDR" && bytes[at + 16] == 8 && bytes[at + 20] == 0) {
      png.width = word(at + 8);
      png.height = word(at + 12);
      png.channels = bytes[at + 17] == 6 ? 4 : bytes[at + 17] == 2 ? 3 : 0;
    } else if (type == "IDAT") {
      compressed += bytes.substr(at + 8, word(at));
    }
  }
  const size_t stride = png.width * png.channels, c = png.channels;
  std::vector<unsigned char> raw((stride + 1) * png.height);
  uLongf size = raw.size();
  if (c == 0 ||
      uncompress(raw.data(), &size, reinterpret_cast<const Bytef*>(compressed.data()),
                 compressed.size()) != Z_OK ||
      size != raw.size())
    return Png{};
  png.data.assign(stride * png.height, 0);
  for (size_t y = 0; y < png.height; ++y) {
    const unsigned char filter = raw[y * (stride + 1)], *in = &raw[y * (stride + 1) + 1];
    unsigned char* out = &png.data[y * stride];
    const unsigned char* up = y > 0 ? out - stride : nullptr;
    for (size_t i = 0; i < stride; ++i) {
      const int a = i >= c ? out[i - c] : 0, b = up ? up[i] : 0, d = up && i >= c ? up[i - c] : 0;
      const int pa = std::abs(b - d), pb = std::abs(a - d), pc = std::abs(a + b - 2 * d);
      const int predictor[5] = {0, a, b, (a + b) / 2, pa <= pb && pa <= pc ? a : pb <= pc ? b : d};
      out[i] = static_cast<unsigned char>(in[i] + predictor[filter < 5 ? filter : 0]);
    }
  }
  return png;
}

unsigned Colour(const char* hex) {
  return static_cast<unsigned>(std::strtoul(hex + 1, nullptr, 16));
}

// The hour of 07590920.05o (2005-04-02, 30 s), converted, with the epochs of
// 00:20:30-00:39:30 cut out: "cut.obn" in the folder.
class PlotCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!Exists(OutDir() + "/stanvex")) GTEST_SKIP() << "no stanvex program";
    ASSERT_TRUE(stanvex::testing::HaveSharedData());
    const std::string obs = dir_.File("07590920.05o");
    stanvex::testing::WriteFile(obs, ReadFile(stanvex::testing::SharedData("rinex/07590920.05o")));
    const std::string nav = stanvex::testing::SharedData("rinex/07590920.05n");
    std::string out;
    const std::string hour = "'" + dir_.File("07590920.obn") + "' ";
    ASSERT_EQ(RunStanvex("rnx2obn '" + obs + "' '" + nav + "'", &out), 0) << out;
    ASSERT_EQ(RunStanvex("obn splice " + hour + "518400 519600 -o " + File("a.obn"), &out), 0)
        << out;
    ASSERT_EQ(RunStanvex("obn splice " + hour + "520800 522000 -o " + File("b.obn"), &out), 0)
        << out;
    ASSERT_EQ(RunStanvex("obn join " + File("cut.obn") + File("a.obn") + File("b.obn"), &out), 0)
        << out;
  }
  // A file of the folder, quoted for the shell and followed by a blank.
  std::string File(const std::string& name) const { return "'" + dir_.File(name) + "' "; }

  stanvex::testing::ScratchDir dir_;
};

TEST_F(PlotCommand, RenderedChartShowsTheCutAsNoDataTracksAsBarsAndTheMissingFile) {
  std::string out;
  // The set-up installs it (librsvg2-bin); a run without it has not tested the picture.
  ASSERT_EQ(RunShell("rsvg-convert --version", &out), 0) << "no rsvg-convert: " << out;
  // 00:45-00:50 of the day and 00:50-00:51 in GPS seconds (week 1316, day 6): one span.
  const std::string missing = "--missing 00:45-00:50 --missing 796438200-796438260 ";
  ASSERT_EQ(RunStanvex("obn plot " + missing + File("cut.obn") + "-o " + File("chart.svg"), &out),
            0)
      << out;
  EXPECT_NE(out.find("11 satellites, 80 epochs"), std::string::npos) << out;
  const std::string svg = ReadFile(dir_.File("chart.svg"));
  EXPECT_NE(svg.find("Missing files (GPS time): 00:45-00:51<"), std::string::npos);
  // The same file and spans always give the same bytes.
  ASSERT_EQ(RunStanvex("obn plot " + missing + File("cut.obn") + "-o " + File("again.svg"), &out),
            0)
      << out;
  EXPECT_EQ(ReadFile(dir_.File("again.svg")), svg);

  ASSERT_EQ(RunShell("rsvg-convert -o " + File("chart.png") + File("chart.svg"), &out), 0) << out;
  const Png png = ReadPng(dir_.File("chart.png"));
  ASSERT_EQ(png.width, static_cast<size_t>(stanvex::cli::kSvgWidth));
  // The hour's axis runs from 00:00 to 01:00; rows G01 G03 G04 G07 ... G28.
  auto x = [](double seconds) {
    return stanvex::cli::kPlotLeft + seconds / 3600 * stanvex::cli::kPlotWidth;
  };
  auto y = [](int row) { return stanvex::cli::kPlotTop + (row + 0.5) * stanvex::cli::kRowHeight; };
  for (int row = 0; row < 11; ++row)  // every satellite at 00:27:30, in the cut
    EXPECT_EQ(png.Pixel(x(1650), y(row)), Colour(stanvex::cli::kNoDataColour)) << "row " << row;
  EXPECT_EQ(png.Pixel(x(600), y(3)), Colour(stanvex::cli::kTrackedColour));       // G07 at 00:10
  EXPECT_EQ(png.Pixel(x(3150), y(3)), Colour(stanvex::cli::kTrackedColour));      // G07 at 00:52:30
  EXPECT_EQ(png.Pixel(x(2850), y(1)), Colour(stanvex::cli::kMissingFileColour));  // G03 has set
}

TEST_F(PlotCommand, RefusesWhatItCannotDrawAndLeavesNoChart) {
  std::string out;
  ASSERT_EQ(RunStanvex("obn splice " + File("cut.obn") + "0 1 -o " + File("empty.obn"), &out), 0);
  const struct {
    std::string prefix, arguments, message;
  } cases[] = {
      {"", File("none.obn") + "-o " + File("x.svg"),
       "Error: File " + dir_.File("none.obn") + " not found"},
      {"", File("empty.obn") + "-o " + File("x.svg"),
       dir_.File("empty.obn") + " has no epoch to plot"},
      {"", File("cut.obn") + "-o " + File("x.svg") + "--missing 25:00-26:00",
       "invalid --missing 25:00-26:00: give START-END"},
      {"", File("cut.obn") + "-o " + File("x.svg") + "--missing 10:00", "invalid --missing 10:00:"},
      {"", File("cut.obn") + "-o " + File("x.svg") + "--missing 796435200-00:10",
       "invalid --missing"},
      {"", File("cut.obn") + "-o " + File("x.svg") + "--missing 796600000-796600060",
       "invalid --missing 796600000-796600060: it lies outside the days of cut.obn (00:00 to "
       "24:00)"},
      {"", File("cut.obn") + "-o " + File("cut.obn"), "will not write the chart over its input"},
      {"", File("cut.obn") + "-o " + File("no/x.svg"), "cannot create " + dir_.File("no/x.svg")},
      // A disk that fills while the chart is written (a file size limit).
      {"trap '' XFSZ; ulimit -f 2; ", File("cut.obn") + "-o " + File("x.svg"),
       "cannot write " + dir_.File("x.svg") + ": File too large"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RunShell(c.prefix + "'" + OutDir() + "/stanvex' obn plot " + c.arguments, &out), 1)
        << c.arguments;
    EXPECT_NE(out.find(c.message), std::string::npos) << c.arguments << "\n" << out;
    EXPECT_FALSE(Exists(dir_.File("x.svg"))) << c.arguments;
  }
  EXPECT_TRUE(Exists(dir_.File("cut.obn")));
}

// A day at 1 Hz (the converted 30 s day interpolated) stays a small picture.
TEST_F(PlotCommand, ADayAtOneHertzMakesAChartOfLessThanAMegabyte) {
  std::string out;
  const std::string obs = dir_.File("zimm0010.21o"), nav = dir_.File("cbw10010.21n");
  stanvex::testing::WriteFile(obs, ReadFile(stanvex::testing::SharedData("rinex/zimm0010.21o")));
  ASSERT_TRUE(real_data::Gunzip(stanvex::testing::SharedData("rinex/cbw10010.21n.gz"), nav));
  ASSERT_EQ(RunStanvex("rnx2obn '" + obs + "' '" + nav + "'", &out), 0) << out;
  ASSERT_EQ(RunStanvex("obn resample " + File("zimm0010.obn") + File("day1s.obn") + "1", &out), 0)
      << out;
  ASSERT_EQ(RunStanvex("obn plot " + File("day1s.obn") + "-o " + File("day.svg"), &out), 0) << out;
  EXPECT_NE(out.find("31 satellites, 86371 epochs"), std::string::npos) << out;
  EXPECT_LT(ReadFile(dir_.File("day.svg")).size(), 1000000u);
}

}  // namespace
