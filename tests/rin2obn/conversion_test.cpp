// Whole conversions of real data: accuracy, the three files written, the
// option, and every failure.
#include "conversion.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "crinex/crx2rnx.h"
#include "real_data.h"
#include "test_support.h"

namespace {

using rin2obn::ConversionCounts;
using rin2obn::ConversionResult;
using rin2obn::ConversionSettings;
using rin2obn::ConvertRinex;
using stanvex::testing::ReadFile;
using stanvex::testing::ScratchDir;
using stanvex::testing::SharedData;

class Conversion : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(stanvex::testing::HaveSharedData());
  }
  ConversionResult Convert(const std::string& obs, const std::string& nav,
                           const std::string& obn, bool dropUnsolved = false) {
    ConversionSettings settings;
    settings.dropUnsolved = dropUnsolved;
    settings.message = [this](double, const std::string& text) { messages.push_back(text); };
    settings.progress = [this](int count, int total) { progress.emplace_back(count, total); };
    return ConvertRinex(obs, nav, obn, settings, counts);
  }
  std::string ZimmNav() {
    const std::string nav = dir.File("cbw10010.21n");
    EXPECT_TRUE(real_data::Gunzip(SharedData("rinex/cbw10010.21n.gz"), nav));
    return nav;
  }

  ScratchDir dir;
  ConversionCounts counts;
  std::vector<std::string> messages;
  std::vector<std::pair<int, int>> progress;
};

TEST_F(Conversion, ZimmDayIsSolvedAsAccuratelyAsTheReferenceSolver) {
  const std::string obn = dir.File("zimm0010.obn");
  ConversionResult r = Convert(SharedData("rinex/zimm0010.21o"), ZimmNav(), obn);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(counts.epochsRead, 2880);
  EXPECT_EQ(counts.epochsWritten, 2880);
  EXPECT_GE(counts.epochsSolved, 2400);
  EXPECT_EQ(counts.ephemeridesRead, 187);

  real_data::ObnContent content = real_data::ReadObn(obn);
  ASSERT_TRUE(content.wellFormed);
  ASSERT_EQ(content.epochs.size(), 2880u);
  const double precise[3] = {4331296.832, 567556.166, 4633134.114};
  double mean[3] = {0, 0, 0};
  double horizontalSquares = 0.0;
  int solved = 0;
  for (const real_data::Epoch& e : content.epochs) {
    if ((e.position.flags & 1) == 0) continue;
    double enu[3];
    real_data::LocalOffset(precise, e.position.position1, e.position.position2,
                           e.position.height, enu);
    for (int k = 0; k < 3; ++k) mean[k] += enu[k];
    horizontalSquares += enu[0] * enu[0] + enu[1] * enu[1];
    ++solved;
  }
  ASSERT_EQ(solved, counts.epochsSolved);
  for (double& m : mean) m /= solved;
  EXPECT_LT(std::hypot(mean[0], mean[1]), 0.3);
  EXPECT_LT(std::fabs(mean[2]), 1.5);
  EXPECT_LT(std::sqrt(horizontalSquares / solved), 0.91);
}

TEST_F(Conversion, SingleFrequencyZimmDayUsesTheBroadcastIonosphereModel) {
  // Without P2 every range is L1 only, corrected by the broadcast model.
  std::string text = ReadFile(SharedData("rinex/zimm0010.21o"));
  const size_t types = text.find("# / TYPES OF OBSERV");
  text.replace(text.rfind("    P2", types), 6, "    X2");
  const std::string obs = dir.File("zimm0010.21o");
  stanvex::testing::WriteFile(obs, text);
  const std::string obn = dir.File("zimm0010.obn");
  ASSERT_TRUE(Convert(obs, ZimmNav(), obn).ok);
  EXPECT_GE(counts.epochsSolved, 2400);
  const double precise[3] = {4331296.832, 567556.166, 4633134.114};
  double mean[3] = {0, 0, 0};
  double horizontalSquares = 0.0;
  int solved = 0;
  for (const real_data::Epoch& e : real_data::ReadObn(obn).epochs) {
    if ((e.position.flags & 1) == 0) continue;
    double enu[3];
    real_data::LocalOffset(precise, e.position.position1, e.position.position2,
                           e.position.height, enu);
    for (int k = 0; k < 3; ++k) mean[k] += enu[k];
    horizontalSquares += enu[0] * enu[0] + enu[1] * enu[1];
    ++solved;
  }
  ASSERT_GT(solved, 0);
  for (double& m : mean) m /= solved;
  // The broadcast model leaves decimetres of bias; a wrong model or a
  // missing group delay shows as metres.
  EXPECT_LT(std::hypot(mean[0], mean[1]), 0.8);
  EXPECT_LT(std::fabs(mean[2]), 2.0);
  EXPECT_LT(std::sqrt(horizontalSquares / solved), 1.1);
}

TEST_F(Conversion, P1StandsInForAnAbsentC1AndIsMarked) {
  std::string text = ReadFile(SharedData("rinex/07590920.05o"));
  const size_t types = text.find("# / TYPES OF OBSERV");
  text.replace(text.rfind("    C1", types), 6, "    P1");
  const std::string obs = dir.File("p1only.05o");
  stanvex::testing::WriteFile(obs, text);
  const std::string obn = dir.File("p1only.obn");
  ASSERT_TRUE(Convert(obs, SharedData("rinex/07590920.05n"), obn).ok);
  EXPECT_EQ(counts.epochsSolved, 120);
  const real_data::ObnContent content = real_data::ReadObn(obn);
  ASSERT_FALSE(content.epochs.empty());
  const real_data::Epoch& first = content.epochs.front();
  ASSERT_EQ(first.measurements.size(), 8u);
  EXPECT_NE(first.measurements[0].lockFlags & stanvex::kObnL1RangeIsP1, 0);
  EXPECT_DOUBLE_EQ(+first.measurements[0].l1Range, 24767686.375);
  EXPECT_DOUBLE_EQ(+first.measurements[0].l1Phase, 55923622.160);
  EXPECT_DOUBLE_EQ(+first.measurements[0].l2Range, 24767684.822);
}

TEST_F(Conversion, CycleSlipRecordsAreCarriedButNotSolved) {
  // A flag-6 record for two satellites after the first epoch: slip counts in
  // the observation layout.
  std::string text = ReadFile(SharedData("rinex/07590920.05o"));
  const size_t second = text.find(" 05  4  2  0  0 30.0000000");
  text.insert(second, " 05  4  2  0  0  0.0000000  6  2G 3G 7\n"
                      "         1.000           1.000\n"
                      "         2.000\n");
  const std::string obs = dir.File("slips.05o");
  stanvex::testing::WriteFile(obs, text);
  const std::string obn = dir.File("slips.obn");
  ASSERT_TRUE(Convert(obs, SharedData("rinex/07590920.05n"), obn).ok);
  EXPECT_EQ(counts.epochsRead, 121);
  EXPECT_EQ(counts.epochsWritten, 121);
  EXPECT_EQ(counts.epochsSolved, 120);
  const real_data::ObnContent content = real_data::ReadObn(obn);
  ASSERT_EQ(content.epochs.size(), 121u);
  const real_data::Epoch& slips = content.epochs[1];
  EXPECT_EQ(slips.position.epochFlag, 6);
  EXPECT_EQ(slips.position.flags & 1, 0);
  ASSERT_EQ(slips.position.count, 2);
  EXPECT_DOUBLE_EQ(+slips.measurements[0].l1Phase, 1.0);
  EXPECT_EQ(content.epochs[2].position.flags & 1, 1);
  EXPECT_FLOAT_EQ(+content.header.interval, 30.0f);
}

TEST_F(Conversion, EpochsOutOfTimeOrderAreSkippedNamingTheirLines) {
  // The hour at 30 s with the 00:10:00 epoch's year turned back to 2004 and
  // the 00:05:00 epoch (its record and data lines) repeated after 00:40:00.
  // Epoch times carry the receiver's clock drift: 00:10:00.001.
  std::string text = ReadFile(SharedData("rinex/07590920.05o"));
  const auto epochAt = [&text](const char* time) {
    return text.find(" 05  4  2  0 " + std::string(time));
  };
  const auto lineOf = [&text](size_t at) {
    return std::count(text.begin(), text.begin() + static_cast<long>(at), '\n') + 1;
  };
  const size_t changed = epochAt("10  0.");
  const long yearLine = lineOf(changed);
  text.replace(changed, 3, " 04");
  const size_t repeated = epochAt(" 5  0.");
  const std::string block = text.substr(repeated, epochAt(" 5 30.") - repeated);
  const size_t inserted = epochAt("40 30.");
  text.insert(inserted, block);
  const long repeatLine = lineOf(inserted);
  const std::string obs = dir.File("disordered.05o");
  stanvex::testing::WriteFile(obs, text);
  const std::string obn = dir.File("disordered.obn");
  ASSERT_TRUE(Convert(obs, SharedData("rinex/07590920.05n"), obn).ok);
  EXPECT_EQ(counts.epochsRead, 119);
  EXPECT_EQ(counts.epochsWritten, 119);
  const std::vector<std::string> expected = {
      "line " + std::to_string(yearLine) + " skipped: the epoch 2004-04-02 00:10:00.0010000 does "
      "not follow the previous epoch 2005-04-02 00:09:30.0010000",
      "line " + std::to_string(repeatLine) + " skipped: the epoch 2005-04-02 00:05:00.0000000 "
      "does not follow the previous epoch 2005-04-02 00:40:00.0030000"};
  for (const std::string& warning : expected)
    EXPECT_NE(std::find(messages.begin(), messages.end(), warning), messages.end()) << warning;
  const real_data::ObnContent content = real_data::ReadObn(obn);
  ASSERT_EQ(content.epochs.size(), 119u);
  for (size_t i = 1; i < content.epochs.size(); ++i) {
    // Copies: the record is packed, its fields cannot be bound by reference.
    const uint16_t week = content.epochs[i].position.week, firstWeek = content.epochs[0].position.week;
    const double time = content.epochs[i].position.time, before = content.epochs[i - 1].position.time;
    EXPECT_EQ(week, firstWeek) << i;
    EXPECT_GT(time, before) << i;
  }
}

TEST_F(Conversion, MixedEpochsOfMoreThanThirtySatellitesConvertWithTheirGpsSatellites) {
  // Every epoch of a GPS hour gains GLONASS satellites up to 32 and more
  // (a mixed RINEX 2.11 file), listed on continuation lines after the GPS ones.
  std::istringstream in(ReadFile(SharedData("rinex/07590920.05o")));
  std::string text;
  std::string line;
  bool data = false;
  int epochs = 0;
  while (std::getline(in, line)) {
    const bool epochLine = data && line.rfind(" 05  4  2", 0) == 0 && line.size() > 32;
    if (!epochLine) {
      text += line + "\n";
      data = data || line.find("END OF HEADER") != std::string::npos;
      continue;
    }
    const int gps = std::stoi(line.substr(29, 3));
    ASSERT_LE(gps, 12);
    const int glonass = epochs % 2 == 0 ? 24 : 74 - gps;  // 32 or so, or 74 in all
    std::vector<std::string> ids;
    for (int i = 0; i < gps; ++i) ids.push_back(line.substr(32 + 3 * static_cast<size_t>(i), 3));
    for (int i = 1; i <= glonass; ++i) ids.push_back((i < 10 ? "R0" : "R") + std::to_string(i));
    char count[8];
    std::snprintf(count, sizeof count, "%3zu", ids.size());
    std::string epoch = line.substr(0, 29) + count;
    for (size_t i = 0; i < ids.size(); ++i) {
      if (i > 0 && i % 12 == 0) epoch += "\n" + std::string(32, ' ');
      epoch += ids[i];
    }
    text += epoch + "\n";
    for (int i = 0; i < gps && std::getline(in, line); ++i) text += line + "\n";
    for (int i = 0; i < glonass; ++i) text += "  10000000.000    20000000.000    10000000.000    20000000.000\n";
    ++epochs;
  }
  ASSERT_EQ(epochs, 120);
  const std::string obs = dir.File("mixed.05o");
  stanvex::testing::WriteFile(obs, text);
  const std::string obn = dir.File("mixed.obn");
  ConversionResult r = Convert(obs, SharedData("rinex/07590920.05n"), obn);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(counts.epochsRead, 120);
  EXPECT_EQ(counts.epochsSolved, 120);
  const real_data::ObnContent content = real_data::ReadObn(obn);
  ASSERT_EQ(content.epochs.size(), 120u);
  ASSERT_EQ(content.epochs[0].measurements.size(), 8u);
  EXPECT_DOUBLE_EQ(+content.epochs[0].measurements[0].l1Phase, 55923622.160);
  EXPECT_EQ(content.epochs[1].measurements.back().prn, 28);
}

TEST_F(Conversion, StopRequestEndsTheConversionWithoutOutput) {
  std::atomic<bool> stop{true};
  ConversionSettings settings;
  settings.abort = &stop;
  const std::string obn = dir.File("stopped.obn");
  ConversionResult r = ConvertRinex(SharedData("rinex/07590920.05o"),
                                    SharedData("rinex/07590920.05n"), obn, settings, counts);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error, "conversion aborted");
  EXPECT_FALSE(stanvex::testing::Exists(obn));
}

struct ShortFile {
  const char* obs;
  const char* nav;
  int epochs;
};

TEST_F(Conversion, EveryEpochWithFourSatellitesIsSolvedNearTheHeaderPosition) {
  for (ShortFile f : {ShortFile{"rinex/07590920.05o", "rinex/07590920.05n", 120},
                      ShortFile{"rinex/30400920.05o", "rinex/30400920.05n", 120},
                      ShortFile{"highrate/glw1277m.18o", "highrate/glw1277m.18n", 720}}) {
    SCOPED_TRACE(f.obs);
    const std::string obn = dir.File("short.obn");
    ConversionResult r = Convert(SharedData(f.obs), SharedData(f.nav), obn);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(counts.epochsRead, f.epochs);
    EXPECT_EQ(counts.epochsSolved, f.epochs);
    std::istringstream header(ReadFile(SharedData(f.obs)));
    std::string line;
    double approx[3] = {0, 0, 0};
    while (std::getline(header, line))
      if (line.find("APPROX POSITION XYZ") != std::string::npos) {
        std::istringstream(line) >> approx[0] >> approx[1] >> approx[2];
        break;
      }
    real_data::ObnContent content = real_data::ReadObn(obn);
    ASSERT_TRUE(content.wellFormed);
    for (const real_data::Epoch& e : content.epochs) {
      if (e.position.satellites < 4) continue;
      ASSERT_EQ(e.position.flags & 1, 1);
      double enu[3];
      real_data::LocalOffset(approx, e.position.position1, e.position.position2,
                             e.position.height, enu);
      EXPECT_LT(std::hypot(enu[0], enu[1]), 3.0) << "epoch " << +e.position.time;
      EXPECT_LT(std::fabs(enu[2]), 6.0) << "epoch " << +e.position.time;
    }
  }
}

TEST_F(Conversion, ObnRecordsCarryTheEpochAndTheTwelveHighestSatellites) {
  const std::string obn = dir.File("glw1277m.obn");
  ASSERT_TRUE(Convert(SharedData("highrate/glw1277m.18o"), SharedData("highrate/glw1277m.18n"), obn).ok);
  real_data::ObnContent content = real_data::ReadObn(obn);
  ASSERT_TRUE(content.wellFormed);
  EXPECT_EQ(content.header.size, 202);
  EXPECT_EQ(content.header.maxChannels, 12);
  EXPECT_FLOAT_EQ(+content.header.interval, 5.0f);
  EXPECT_STREQ(content.header.fileName, obn.c_str());
  const real_data::Epoch& first = content.epochs.front();
  EXPECT_EQ(first.position.size, 68);
  EXPECT_EQ(first.position.week, 2021);  // 2018-10-04
  EXPECT_DOUBLE_EQ(+first.position.time, 4 * 86400.0 + 12 * 3600.0);
  EXPECT_EQ(first.position.epochFlag, 0);
  EXPECT_GT(+first.position.pdop, 0.5f);
  EXPECT_LT(std::fabs(first.position.clockOffset), 1e-3);
  int full = 0;
  for (const real_data::Epoch& e : content.epochs) {
    ASSERT_LE(e.position.count, 12);
    full += e.position.count == 12 ? 1 : 0;
    for (const stanvex::ObnMeasurementRecord& m : e.measurements) {
      ASSERT_EQ(m.size, 44);
      ASSERT_GE(m.prn, 1);
      ASSERT_LE(m.prn, 32);
      // This file has C1, L1, P2, L2, C2: no signal strengths, no P1.
      EXPECT_EQ(m.lockFlags & stanvex::kObnL1RangeIsP1, 0);
      EXPECT_EQ(+m.l1Snr, 0.0f);
      if ((m.lockFlags & stanvex::kObnL1RangeMissing) == 0) {
        EXPECT_GT(+m.l1Range, 1.5e7);
      }
    }
  }
  EXPECT_GT(full, 0);  // more than twelve GPS satellites were tracked at times
}

TEST_F(Conversion, NvbAndStaCompanionsAreWrittenBesideTheObnFile) {
  const std::string obn = dir.File("zimm0010.obn");
  ASSERT_TRUE(Convert(SharedData("rinex/zimm0010.21o"), ZimmNav(), obn).ok);
  const std::string nvb = ReadFile(dir.File("zimm0010.nvb"));
  ASSERT_EQ(nvb.compare(0, 7, "$EPHREC"), 0);
  std::istringstream lines(nvb);
  std::string line;
  int blocks = 0;
  int weeks = 0;
  int toes = 0;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string key;
    fields >> key;
    std::vector<std::string> values;
    for (std::string v; fields >> v;) values.push_back(v);
    if (key == "GpsEph") ++blocks;
    if (key == "El1:" && values.size() == 5 && values[0] == "2138") ++weeks;
    if (key == "El5:" && values.size() == 4 && std::stol(values[0]) >= 428000) ++toes;
  }
  EXPECT_EQ(blocks, counts.ephemeridesRead);
  EXPECT_EQ(weeks, blocks);
  EXPECT_EQ(toes, blocks);
  EXPECT_NE(nvb.find("El1: 2138 52 -73.625 4.31803703904e-09 0.0289352029816\n"),
            std::string::npos);

  const std::string sta = ReadFile(dir.File("zimm0010.sta"));
  for (const char* expected :
       {"MarkerName: ZIMM\n", "MarkerNumber: 14001M004\n", "ReceiverType: TRIMBLE NETR9\n",
        "AntennaHeight: 0.0000\n", "ApproxPositionXYZ: 4331297.3480 567555.6390 4633133.7280\n",
        "Interval: 30.000\n", "FirstEpoch: 2021-01-01 00:00:00.0000000 GPS",
        "LastEpoch: 2021-01-01 23:59:30.0000000 GPS", "AveragePositionXYZ: 43312"})
    EXPECT_NE(sta.find(expected), std::string::npos) << expected;
  EXPECT_FALSE(messages.empty());
  ASSERT_FALSE(progress.empty());
  EXPECT_EQ(progress.back(), std::make_pair(1000, 1000));
}

TEST_F(Conversion, OptionLeavesOutEpochsWithoutASolution) {
  const std::string obn = dir.File("zimm0010.obn");
  ASSERT_TRUE(Convert(SharedData("rinex/zimm0010.21o"), ZimmNav(), obn, true).ok);
  EXPECT_EQ(counts.epochsRead, 2880);
  EXPECT_EQ(counts.epochsWritten, counts.epochsSolved);
  real_data::ObnContent content = real_data::ReadObn(obn);
  ASSERT_EQ(content.epochs.size(), static_cast<size_t>(counts.epochsSolved));
  for (const real_data::Epoch& e : content.epochs) EXPECT_EQ(e.position.flags & 1, 1);
}

TEST_F(Conversion, IntervalIsMeasuredWhenTheHeaderGivesNone) {
  std::string text = ReadFile(SharedData("rinex/07590920.05o"));
  text.erase(text.find("    30.0000                                                 INTERVAL"), 81);
  const std::string obs = dir.File("nointerval.05o");
  stanvex::testing::WriteFile(obs, text);
  const std::string obn = dir.File("nointerval.obn");
  ASSERT_TRUE(Convert(obs, SharedData("rinex/07590920.05n"), obn).ok);
  EXPECT_FLOAT_EQ(+real_data::ReadObn(obn).header.interval, 30.0f);
  EXPECT_NE(ReadFile(dir.File("nointerval.sta")).find("Interval: 30.000\n"), std::string::npos);
}

TEST_F(Conversion, FailuresNameTheirCauseAndLeaveNoOutput) {
  const std::string obs = SharedData("rinex/07590920.05o");
  const std::string nav = SharedData("rinex/07590920.05n");
  const std::string obn = dir.File("out.obn");
  // No GPS satellite: every satellite letter turned into R.
  std::string glonass = ReadFile(obs);
  for (size_t p = glonass.find("END OF HEADER"); (p = glonass.find('G', p)) != std::string::npos;)
    glonass[p] = 'R';
  stanvex::testing::WriteFile(dir.File("glonass.05o"), glonass);
  // Every ephemeris unhealthy: health (orbit line 6, second field) set to 1.
  std::istringstream navLines(ReadFile(nav));
  std::string unhealthy, line;
  bool body = false;
  int row = 0;
  while (std::getline(navLines, line)) {
    if (body && line.size() > 3 && line[1] != ' ') row = 0;
    if (body && ++row == 7 && line.size() >= 41) line.replace(22, 19, "1.000000000000D+00 ");
    if (line.find("END OF HEADER") != std::string::npos) body = true;
    unhealthy += line + "\n";
  }
  stanvex::testing::WriteFile(dir.File("unhealthy.05n"), unhealthy);

  struct Case {
    std::string obs, nav, obn, expected;
  };
  std::vector<Case> cases = {
      {dir.File("missing.05o"), nav, obn, "unable to open the observation file"},
      {obs, dir.File("missing.05n"), obn, "unable to open the navigation file"},
      {obs, obs, obn, "not a RINEX GPS navigation file"},
      {nav, nav, obn, "not a RINEX observation file"},
      {dir.File("glonass.05o"), nav, obn, "no GPS data"},
      {obs, dir.File("unhealthy.05n"), obn, "no usable GPS ephemerides"},
      {obs, nav, dir.File("no/such/dir/out.obn"), "unable to create"},
      {dir.File("out.obn"), nav, obn, "would overwrite the input"},
  };
  // A device that accepts the open and refuses every write: a full disk.
  const bool haveFullDevice = stanvex::testing::Exists("/dev/full");
  if (haveFullDevice) cases.push_back({obs, nav, "/dev/full", "(disk full?)"});
  for (const Case& c : cases) {
    if (c.expected == "would overwrite the input") stanvex::testing::WriteFile(c.obs, "keep");
    ConversionResult r = Convert(c.obs, c.nav, c.obn);
    EXPECT_FALSE(r.ok) << c.expected;
    EXPECT_NE(r.error.find(c.expected), std::string::npos) << r.error;
    if (c.expected == "would overwrite the input") {
      EXPECT_EQ(ReadFile(obn), "keep");
      std::remove(obn.c_str());
    }
    EXPECT_FALSE(stanvex::testing::Exists(obn));
    EXPECT_FALSE(stanvex::testing::Exists(dir.File("out.nvb")));
    EXPECT_FALSE(stanvex::testing::Exists(dir.File("out.sta")));
  }
  if (haveFullDevice) {
    EXPECT_TRUE(stanvex::testing::Exists("/dev/full"));  // never removed as an output
  }
}

// Solved epochs, and the mean horizontal offset and per-epoch horizontal RMS
// (metres) of the solutions from ref.
struct Accuracy {
  int solved = 0;
  double meanHorizontal = 0.0;
  double rmsHorizontal = 0.0;
};

Accuracy AccuracyOf(const real_data::ObnContent& content, const double ref[3]) {
  Accuracy a;
  double mean[3] = {0, 0, 0};
  double squares = 0.0;
  for (const real_data::Epoch& e : content.epochs) {
    if ((e.position.flags & 1) == 0) continue;
    double enu[3];
    real_data::LocalOffset(ref, e.position.position1, e.position.position2, e.position.height,
                           enu);
    for (int k = 0; k < 3; ++k) mean[k] += enu[k];
    squares += enu[0] * enu[0] + enu[1] * enu[1];
    ++a.solved;
  }
  if (a.solved == 0) return a;
  a.meanHorizontal = std::hypot(mean[0], mean[1]) / a.solved;
  a.rmsHorizontal = std::sqrt(squares / a.solved);
  return a;
}

TEST_F(Conversion, RinexThreeGpsDayIsSolvedEveryEpochNearItsHeaderPosition) {
  // TLSE's header position lies 0.23 m from a dual-frequency solution of
  // the day; the reference solver solves all 2880 epochs with a per-epoch
  // horizontal RMS of 1.2 m (broadcast ionosphere) and 1.4 m (iono-free).
  const std::string obs = dir.File("TLSE00FRA_R_20220010000_01D_30S_GO.rnx");
  const std::string nav = dir.File("BRDC00IGS_R_20220010000_01D_MN.rnx");
  ASSERT_TRUE(real_data::Gunzip(SharedData("rinex3/TLSE00FRA_R_20220010000_01D_30S_GO.rnx.gz"), obs));
  ASSERT_TRUE(real_data::Gunzip(SharedData("rinex3/BRDC00IGS_R_20220010000_01D_MN.rnx.gz"), nav));
  const std::string obn = dir.File("tlse.obn");
  ConversionResult r = Convert(obs, nav, obn);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(counts.epochsRead, 2880);
  EXPECT_EQ(counts.epochsWritten, 2880);
  EXPECT_EQ(counts.ephemeridesRead, 422);
  bool told = false;
  for (const std::string& m : messages)
    told = told || m.find("GPS signals (L1 phase, L2 phase, L1 range, L2 range): L1C L2W C1C C2W") !=
                       std::string::npos;
  EXPECT_TRUE(told);

  const real_data::ObnContent content = real_data::ReadObn(obn);
  ASSERT_TRUE(content.wellFormed);
  const double header[3] = {4627853.3468, 119640.2373, 4372995.2492};
  const Accuracy a = AccuracyOf(content, header);
  EXPECT_EQ(a.solved, 2880);
  EXPECT_LT(a.meanHorizontal, 0.3);
  EXPECT_LT(a.rmsHorizontal, 1.2);

  // The first epoch: G01 with every slot, G07 with L1 only.
  ASSERT_FALSE(content.epochs.empty());
  const real_data::Epoch& first = content.epochs.front();
  ASSERT_EQ(first.measurements.size(), 12u);
  const stanvex::ObnMeasurementRecord& g01 = first.measurements[0];
  EXPECT_EQ(g01.prn, 1);
  EXPECT_DOUBLE_EQ(+g01.l1Phase, 123967008.572);  // L1C
  EXPECT_DOUBLE_EQ(+g01.l2Phase, 96597711.760);   // L2W, not L2X
  EXPECT_DOUBLE_EQ(+g01.l1Range, 23590139.203);   // C1C
  EXPECT_DOUBLE_EQ(+g01.l2Range, 23590148.227);   // C2W
  EXPECT_FLOAT_EQ(+g01.l1Snr, 38.6f);             // S1C
  EXPECT_FLOAT_EQ(+g01.l2Snr, 22.0f);             // S2W
  EXPECT_EQ(g01.lockFlags, 0);
  const stanvex::ObnMeasurementRecord& g07 = first.measurements[1];
  EXPECT_EQ(g07.prn, 7);
  EXPECT_EQ(g07.lockFlags, stanvex::kObnL2PhaseMissing | stanvex::kObnL2RangeMissing);
}

TEST_F(Conversion, RinexFourObservationsWithRinexFourNavigationConvert) {
  // The observations (2022) and the navigation (2023) are of different days:
  // every epoch is written, none can be solved.
  const std::string nav = dir.File("BRD400DLR_S_20230710000_01D_MN.rnx");
  ASSERT_TRUE(real_data::Gunzip(SharedData("rinex3/BRD400DLR_S_20230710000_01D_MN.rnx.gz"), nav));
  const std::string obn = dir.File("kms3.obn");
  ConversionResult r =
      Convert(SharedData("rinex3/KMS300DNK_R_20221591000_01H_30S_MO.rnx"), nav, obn);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(counts.epochsRead, 19);
  EXPECT_EQ(counts.epochsWritten, 19);
  EXPECT_EQ(counts.epochsSolved, 0);
  EXPECT_EQ(counts.ephemeridesRead, 428);
  const real_data::ObnContent content = real_data::ReadObn(obn);
  ASSERT_EQ(content.epochs.size(), 19u);
  // Only GPS satellites are carried, at most twelve.
  for (const real_data::Epoch& e : content.epochs) {
    ASSERT_GT(e.measurements.size(), 0u);
    for (const stanvex::ObnMeasurementRecord& m : e.measurements) {
      EXPECT_GE(m.prn, 1);
      EXPECT_LE(m.prn, 32);
    }
  }
  const std::string nvb = ReadFile(rin2obn::WithExtension(obn, ".nvb"));
  EXPECT_EQ(nvb.rfind("$EPHREC GPS broadcast ephemerides: 428\n", 0), 0u);
}

TEST_F(Conversion, CompactRinexThreeDayDecodedByTheProjectConvertsNearItsHeaderPosition) {
  const std::string compact = dir.File("NIST00USA_R_20230010000_01D_30S_MO.crx");
  const std::string obs = dir.File("NIST00USA_R_20230010000_01D_30S_MO.rnx");
  const std::string nav = dir.File("BRDC00IGS_R_20230010000_01D_MN.rnx");
  ASSERT_TRUE(real_data::Gunzip(SharedData("rinex3/NIST00USA_R_20230010000_01D_30S_MO.crx.gz"), compact));
  if (!stanvex::Crx2Rnx(compact.c_str(), obs.c_str()).ok)
    GTEST_SKIP() << "this build's decoder does not read compact RINEX 3";
  ASSERT_TRUE(real_data::Gunzip(SharedData("rinex3/BRDC00IGS_R_20230010000_01D_MN.rnx.gz"), nav));
  const std::string obn = dir.File("nist.obn");
  ConversionResult r = Convert(obs, nav, obn);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_GE(counts.epochsRead, 2800);  // a day at 30 s, a few epochs may be missing
  EXPECT_GE(counts.epochsSolved, counts.epochsRead * 97 / 100);
  std::istringstream text(ReadFile(obs));
  std::string line;
  double approx[3] = {0, 0, 0};
  while (std::getline(text, line))
    if (line.find("APPROX POSITION XYZ") != std::string::npos) {
      std::istringstream(line) >> approx[0] >> approx[1] >> approx[2];
      break;
    }
  // The header position agrees with the IGS station list to 0.25 m.
  const Accuracy a = AccuracyOf(real_data::ReadObn(obn), approx);
  EXPECT_LT(a.meanHorizontal, 1.0);
  EXPECT_LT(a.rmsHorizontal, 2.0);
}

}  // namespace
