// The RINEX 3 side of the simulator: observation and merged navigation
// files an independent solver reads and places the station by, Doppler
// values that agree with the phase, and the compact RINEX 3 encoder, whose
// output for real files is what the format's reference encoder wrote and
// whose output for simulated files decodes back byte for byte.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <map>
#include <sstream>

#include "crinex_encoder.h"
#include "rinex3.h"
#include "sim_test_util.h"
#include "simulator.h"
#include "test_support.h"

namespace stanvex::sim {
namespace {

using testing::ReadFile;

std::string SimulatedRinex3(const Station& station, const ObservationOptions& o) {
  ObservationSimulator sim(station, o);
  std::string text =
      Rinex3ObservationHeader(station, "TEST00SIM", o, sim.TruePosition(), SimTime{o.startGps, 0});
  Epoch e;
  while (sim.Next(&e)) text += FormatEpoch3(e, o.writeReceiverClock);
  return text;
}

// ---- a compact RINEX 3.0 reader of our own, for the round trips ------------

// Applies a text difference: blank keeps, '&' blanks, others replace.
void Repair(std::string* text, const std::string& diff) {
  if (text->size() < diff.size()) text->resize(diff.size(), ' ');
  for (size_t i = 0; i < diff.size(); ++i) {
    if (diff[i] == '&') (*text)[i] = ' ';
    else if (diff[i] != ' ') (*text)[i] = diff[i];
  }
  while (!text->empty() && text->back() == ' ') text->pop_back();
}

struct Series {
  int order = -1;  // -1: no arc
  int level = 0;
  int64_t diff[6] = {};
  // Takes the field text; false when it is not a number.
  bool Take(const std::string& field) {
    const size_t amp = field.find('&');
    if (amp != std::string::npos) {
      order = std::atoi(field.substr(0, amp).c_str());
      level = 0;
      diff[0] = std::strtoll(field.c_str() + amp + 1, nullptr, 10);
      return true;
    }
    if (order < 0) return false;
    const int newLevel = level < order ? level + 1 : order;
    int64_t next[6] = {};
    next[newLevel] = std::strtoll(field.c_str(), nullptr, 10);
    for (int k = newLevel - 1; k >= 0; --k) next[k] = diff[k] + next[k + 1];
    for (int k = 0; k <= newLevel; ++k) diff[k] = next[k];
    level = newLevel;
    return true;
  }
};

// value / 10^decimals as Fortran prints it in width columns (no leading zero).
std::string Fixed(int64_t value, int decimals, int width) {
  int64_t scale = 1;
  for (int k = 0; k < decimals; ++k) scale *= 10;
  const int64_t magnitude = value < 0 ? -value : value;
  std::string whole = magnitude / scale ? std::to_string(magnitude / scale) : "";
  std::string fraction = std::to_string(magnitude % scale);
  fraction.insert(0, static_cast<size_t>(decimals) - fraction.size(), '0');
  std::string s = (value < 0 ? "-" : "") + whole + "." + fraction;
  return std::string(static_cast<size_t>(width) - s.size(), ' ') + s;
}

// Decodes compact RINEX 3.0 text back into RINEX 3 (without trailing blanks).
std::string Decode3(const std::string& compact) {
  std::vector<std::string> lines = testing::Lines(compact);
  std::string out;
  std::map<char, int> types;
  size_t i = 2;
  for (; i < lines.size(); ++i) {
    out += lines[i] + "\n";
    if (lines[i].compare(60, 19, "SYS / # / OBS TYPES") == 0 && lines[i][0] != ' ')
      types[lines[i][0]] = std::atoi(lines[i].substr(3, 3).c_str());
    if (lines[i].find("END OF HEADER") != std::string::npos) break;
  }
  std::string epoch;
  Series clock;
  std::map<std::string, std::vector<Series>> values;
  std::map<std::string, std::string> flags;
  for (++i; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (line[0] == '>') {
      const int flag = line.size() > 31 ? line[31] - '0' : 0;
      if (flag >= 2 && flag <= 5) {
        out += line + "\n";
        const int records = std::atoi(line.substr(32, 3).c_str());
        for (int r = 0; r < records; ++r) out += lines[++i] + "\n";
        continue;
      }
      epoch = line;
      values.clear();
      flags.clear();
      clock = Series();
    } else {
      Repair(&epoch, line);
    }
    const int count = std::atoi(epoch.substr(32, 3).c_str());
    std::string head = epoch.substr(0, 41);
    while (!head.empty() && head.back() == ' ') head.pop_back();
    const std::string& clockLine = lines[++i];
    if (clockLine.empty()) {
      clock = Series();
      out += head + "\n";
    } else {
      EXPECT_TRUE(clock.Take(clockLine)) << "line " << i + 1;
      head.resize(41, ' ');
      out += head + Fixed(clock.diff[0], 12, 15) + "\n";
    }
    std::map<std::string, std::vector<Series>> nowValues;
    std::map<std::string, std::string> nowFlags;
    for (int s = 0; s < count; ++s) {
      const std::string id = epoch.substr(41 + static_cast<size_t>(s) * 3, 3);
      const int n = types[id[0]];
      const std::string& data = lines[++i];
      std::vector<Series> series = values.count(id) ? values[id] : std::vector<Series>(n);
      std::string flag = values.count(id) ? flags[id] : std::string();
      size_t pos = 0;
      std::vector<bool> present(static_cast<size_t>(n));
      for (int j = 0; j < n; ++j) {
        const size_t end = std::min(data.find(' ', pos), data.size());
        const std::string field = pos < data.size() ? data.substr(pos, end - pos) : "";
        pos = end + 1;
        present[j] = !field.empty();
        if (field.empty()) series[j] = Series();
        else EXPECT_TRUE(series[j].Take(field)) << "line " << i + 1;
      }
      Repair(&flag, pos < data.size() ? data.substr(pos) : "");
      flag.resize(static_cast<size_t>(n) * 2, ' ');
      std::string record = id;
      for (int j = 0; j < n; ++j)
        record += present[j] ? Fixed(series[j].diff[0], 3, 14) + flag.substr(j * 2, 2)
                             : std::string(16, ' ');
      while (!record.empty() && record.back() == ' ') record.pop_back();
      out += record + "\n";
      std::string kept = flag;
      while (!kept.empty() && kept.back() == ' ') kept.pop_back();
      nowValues[id] = series;
      nowFlags[id] = kept;
    }
    values.swap(nowValues);
    flags.swap(nowFlags);
  }
  return out;
}

// Without carriage returns and trailing blanks.
std::string Normalized(const std::string& text) {
  std::string out;
  for (std::string line : testing::Lines(text)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    while (!line.empty() && line.back() == ' ') line.pop_back();
    out += line + "\n";
  }
  return out;
}

// ---- tests -----------------------------------------------------------------

TEST(SimRinex3, CompactFilesDecodeBackByteForByte) {
  ObservationOptions o;
  o.startGps = GpsSecondsOfDate(2024, 2, 29);
  o.duration = 3 * 3600;
  o.seed = 5;
  o.doppler = true;
  o.slips.slipsPerSatelliteHour = 2;
  o.slips.outagesPerSatelliteHour = 2;
  o.slips.receiverGapStart = 3600;
  o.slips.receiverGapLength = 600;
  const std::string rinex = SimulatedRinex3({"tst3", 47.1, 8.3, 610}, o);
  for (int order : {0, 1, 3, 5}) {
    CrinexOptions options;
    options.dataOrder = order;
    options.clockOrder = 5 - order;
    std::string compact, error;
    ASSERT_TRUE(EncodeCompactRinex3(rinex, &compact, &error, options)) << error;
    EXPECT_EQ(compact.compare(0, 80, "3.0                 COMPACT RINEX FORMAT                    "
                                     "CRINEX VERS   / TYPE"),
              0);
    EXPECT_TRUE(Decode3(compact) == rinex) << "order " << order;
  }
  o.writeReceiverClock = false;
  o.duration = 1800;
  const std::string plain = SimulatedRinex3({"tst3", -12.0, -77.0, 120}, o);
  std::string compact, error;
  ASSERT_TRUE(EncodeCompactRinex3(plain, &compact, &error)) << error;
  EXPECT_TRUE(Decode3(compact) == plain);
}

TEST(SimRinex3, RealFilesEncodeAsTheReferenceEncoderDid) {
  ASSERT_TRUE(testing::HaveSharedData());
  // Mixed systems, RINEX 3.02 to 4.00, 38 satellites per epoch, blank
  // fields inside records, an event record.
  for (const char* name : {"ACOR00ESP_R_20213550000_01D_30S_MO", "VLNS0010.22", "flrs0010.12",
                           "KMS300DNK_R_20221591000_01H_30S_MO", "kais329w.18"}) {
    const bool longName = std::string(name).find('_') != std::string::npos;
    const std::string base = testing::SharedData(std::string("rinex3/") + name);
    const std::string rinex =
        ReadFile(longName ? base + ".rnx" : base + (name[0] == 'V' ? "O" : "o"));
    const std::string reference =
        ReadFile(longName ? base + ".crx" : base + (name[0] == 'V' ? "D" : "d"));
    ASSERT_FALSE(rinex.empty()) << name;
    CrinexOptions options;
    options.clockOrder = 3;
    std::string compact, error;
    ASSERT_TRUE(EncodeCompactRinex3(rinex, &compact, &error, options)) << name << ": " << error;
    // Beyond the two CRINEX lines (program and date), the same text.
    const size_t ours = compact.find('\n', compact.find('\n') + 1);
    const std::string expected = Normalized(reference);
    const size_t theirs = expected.find('\n', expected.find('\n') + 1);
    EXPECT_TRUE(compact.substr(ours) == expected.substr(theirs)) << name;
    EXPECT_TRUE(Decode3(compact) == Normalized(rinex)) << name;
  }
}

TEST(SimRinex3, WhatTheEncoderRefuses) {
  const std::string header =
      "     3.04           OBSERVATION DATA    G: GPS              RINEX VERSION / TYPE\n"
      "G    2 C1C L1C                                              SYS / # / OBS TYPES\n"
      "                                                            END OF HEADER\n";
  std::string compact, error;
  // A RINEX 2 file; a satellite of a system without types; cycle slip records.
  EXPECT_FALSE(EncodeCompactRinex3(
      "     2.11           OBSERVATION DATA    G (GPS)             RINEX VERSION / TYPE\n", &compact,
      &error));
  EXPECT_NE(error.find("RINEX 3"), std::string::npos) << error;
  EXPECT_FALSE(EncodeCompactRinex3(header +
                                       "> 2024 01 01 00 00  0.0000000  0  1\n"
                                       "R01  20000000.000   100000000.000\n",
                                   &compact, &error));
  EXPECT_NE(error.find("R01"), std::string::npos) << error;
  EXPECT_FALSE(EncodeCompactRinex3(header +
                                       "> 2024 01 01 00 00  0.0000000  6  1\n"
                                       "G01  20000000.000   100000000.000\n",
                                   &compact, &error));
  EXPECT_NE(error.find("line 4"), std::string::npos) << error;
  // An epoch that ends inside its records; an unreadable value.
  EXPECT_FALSE(EncodeCompactRinex3(header + "> 2024 01 01 00 00  0.0000000  0  2\nG01  1.000\n",
                                   &compact, &error));
  EXPECT_FALSE(EncodeCompactRinex3(header + "> 2024 01 01 00 00  0.0000000  0  1\nG01  1.0x0\n",
                                   &compact, &error));
  EXPECT_NE(error.find("G01"), std::string::npos) << error;
}

TEST(SimRinex3, DopplerAgreesWithThePhaseAndChangesNothingElse) {
  const Station station{"dopp", 35.7, 139.7, 40};
  ObservationOptions o;
  o.startGps = GpsSecondsOfDate(2022, 6, 1) + 3 * 3600;
  o.duration = 600;
  o.interval = 1;
  ObservationOptions with = o;
  with.doppler = true;
  ObservationSimulator plain(station, o), doppler(station, with);
  std::vector<Epoch> epochs;
  Epoch a, b;
  while (plain.Next(&a) && doppler.Next(&b)) {
    EXPECT_EQ(FormatEpoch(a, true), FormatEpoch(b, true));
    epochs.push_back(b);
  }
  ASSERT_EQ(epochs.size(), 600u);
  // The phase in cycles follows the range, the Doppler shift its opposite.
  // The receiver clock the observations carry is the printed one, whole
  // nanoseconds, so the phase's rate is taken over 40 seconds, where the
  // steps of the clock's last digit weigh less than 0.04 Hz.
  const size_t half = 20;
  auto find = [](const Epoch& e, int prn) -> const SatelliteObservation* {
    for (const SatelliteObservation& t : e.satellites)
      if (t.prn == prn) return &t;
    return nullptr;
  };
  int compared = 0;
  for (size_t k = half; k + half < epochs.size(); ++k) {
    for (const SatelliteObservation& s : epochs[k].satellites) {
      const SatelliteObservation* before = find(epochs[k - half], s.prn);
      const SatelliteObservation* after = find(epochs[k + half], s.prn);
      if (!before || !after || after->lli[kL1]) continue;
      const double span = 2.0 * half;
      EXPECT_NEAR(s.dopplerL1, -(after->value[kL1] - before->value[kL1]) / span, 0.1)
          << "G" << s.prn;
      if (before->present[kL2] && after->present[kL2] && !after->lli[kL2]) {
        EXPECT_NEAR(s.dopplerL2, -(after->value[kL2] - before->value[kL2]) / span, 0.1)
            << "G" << s.prn;
      }
      ++compared;
    }
  }
  EXPECT_GT(compared, 3000);
}

TEST(SimRinex3, IndependentSolverPlacesTheStationFromRinex3Files) {
  const std::string solver = testing::FindProgram("rnx2rtkp");
  if (solver.empty()) GTEST_SKIP() << "rnx2rtkp is not installed";
  const Station station{"nrth", 46.8770836, 7.4647808, 560.1};
  ObservationOptions o;
  o.startGps = GpsSecondsOfDate(2023, 1, 1);
  o.duration = 2 * 3600;
  o.doppler = true;
  testing::ScratchDir dir;
  testing::WriteFile(dir.File("s.rnx"), SimulatedRinex3(station, o));
  testing::WriteFile(dir.File("n.rnx"), Rinex3NavigationFile(o.startGps, 86400));
  testing::WriteFile(dir.File("spp.conf"),
                     "pos1-posmode =single\npos1-elmask =10\npos1-ionoopt =brdc\n"
                     "pos1-tropopt =saas\npos1-navsys =1\n");
  ASSERT_TRUE(testing::Run(solver + " -k '" + dir.File("spp.conf") + "' -e -o '" +
                           dir.File("s.pos") + "' '" + dir.File("s.rnx") + "' '" +
                           dir.File("n.rnx") + "' 2>/dev/null"));
  const Vec3 truth = StationPosition(station);
  int epochs = 0;
  Vec3 sum;
  for (const std::string& line : testing::Lines(ReadFile(dir.File("s.pos")))) {
    if (line.empty() || line[0] == '%') continue;
    std::istringstream fields(line);
    std::string date, time;
    Vec3 p;
    fields >> date >> time >> p.x >> p.y >> p.z;
    if (!fields) continue;
    sum = sum + (p - truth);
    ++epochs;
  }
  EXPECT_GE(epochs, 230);
  ASSERT_GT(epochs, 0);
  EXPECT_LT(Norm({sum.x / epochs, sum.y / epochs, sum.z / epochs}), 1.5);
}

TEST(SimRinex3, LongNameIntervals) {
  EXPECT_EQ(LongNameInterval(30), "30S");
  EXPECT_EQ(LongNameInterval(1), "01S");
  EXPECT_EQ(LongNameInterval(120), "02M");
  EXPECT_EQ(LongNameInterval(3600), "01H");
  EXPECT_EQ(LongNameInterval(0.05), "20Z");
  EXPECT_EQ(LongNameInterval(7.5), "00U");
  EXPECT_EQ(LongNameInterval(90), "00U");
}

}  // namespace
}  // namespace stanvex::sim
