// Simulated observation files: RINEX 2.11 columns, determinism, and the
// physics a receiver's data show (ionosphere opposite on code and phase,
// elevation masks, loss of lock at slips and gaps).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <map>

#include "gps_constants.h"
#include "rinex_text.h"
#include "sim_test_util.h"
#include "simulator.h"
#include "test_support.h"

namespace stanvex::sim {
namespace {

const Station kStation{"tst1", 46.5, 7.25, 850.0};

ObservationOptions Hours(double hours, uint64_t seed = 3) {
  ObservationOptions o;
  o.startGps = GpsSecondsOfDate(2021, 1, 1);
  o.duration = hours * 3600;
  o.interval = 30;
  o.seed = seed;
  return o;
}

std::string Simulate(const ObservationOptions& o, const Station& station = kStation) {
  ObservationSimulator sim(station, o);
  std::string text = ObservationHeader(station, o, sim.TruePosition(), SimTime{o.startGps, 0});
  Epoch e;
  while (sim.Next(&e)) text += FormatEpoch(e, o.writeReceiverClock);
  return text;
}

std::vector<Epoch> Epochs(const ObservationOptions& o) {
  ObservationSimulator sim(kStation, o);
  std::vector<Epoch> epochs;
  Epoch e;
  while (sim.Next(&e)) epochs.push_back(e);
  return epochs;
}

// A reader of RINEX 2.11 observation text, strict about columns: the header
// labels, then each epoch line's date, flag, satellite count and list, and
// exactly ceil(types / 5) record lines per satellite of 16-column fields.
void CheckRinex211(const std::string& text, int expectedEpochs) {
  const std::vector<std::string> lines = testing::Lines(text);
  size_t i = 0;
  int types = 0;
  bool end = false;
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0].substr(0, 9), "     2.11");
  EXPECT_EQ(lines[0].substr(20, 1), "O");
  EXPECT_EQ(lines[0].substr(40, 1), "G");
  for (; i < lines.size() && !end; ++i) {
    const std::string& l = lines[i];
    ASSERT_GE(l.size(), 61u) << "header line " << i;
    ASSERT_LE(l.size(), 80u) << "header line " << i;
    const std::string label = l.substr(60);
    if (label == "# / TYPES OF OBSERV") types = std::atoi(l.substr(0, 6).c_str());
    if (label == "END OF HEADER") end = true;
  }
  ASSERT_TRUE(end);
  ASSERT_EQ(types, 7);
  int epochs = 0;
  while (i < lines.size()) {
    const std::string& l = lines[i++];
    ASSERT_GE(l.size(), 32u) << l;
    ASSERT_LE(l.size(), 80u) << l;
    EXPECT_EQ(l[0], ' ');
    const int month = std::atoi(l.substr(4, 2).c_str());
    const double seconds = std::atof(l.substr(15, 11).c_str());
    EXPECT_EQ(month, 1);
    EXPECT_GE(seconds, 0.0);
    EXPECT_LT(seconds, 60.0);
    EXPECT_EQ(l.substr(18, 1), ".");
    const int flag = std::atoi(l.substr(26, 3).c_str());
    EXPECT_TRUE(flag == 0 || flag == 1) << l;
    const int count = std::atoi(l.substr(29, 3).c_str());
    ASSERT_GE(count, 4) << l;
    std::string list = l.substr(32, 36);
    for (int extra = count - 12; extra > 0; extra -= 12) {
      ASSERT_LT(i, lines.size());
      EXPECT_EQ(lines[i].substr(0, 32), std::string(32, ' '));
      list += lines[i++].substr(32);
    }
    for (int s = 0; s < count; ++s) {
      EXPECT_EQ(list[static_cast<size_t>(s) * 3], 'G') << l;
      const int prn = std::atoi(list.substr(static_cast<size_t>(s) * 3 + 1, 2).c_str());
      EXPECT_TRUE(prn >= 1 && prn <= 32) << l;
    }
    if (l.size() > 68) {
      EXPECT_EQ(l.substr(70, 1), ".") << "clock offset F12.9: " << l;
    }
    for (int s = 0; s < count; ++s) {
      for (int part = 0; part < 2; ++part) {
        ASSERT_LT(i, lines.size());
        const std::string& r = lines[i++];
        ASSERT_LE(r.size(), part == 0 ? 80u : 32u) << r;
        for (size_t f = 0; f * 16 < r.size(); ++f) {
          const std::string field = r.substr(f * 16, 14);
          if (field.find_first_not_of(' ') == std::string::npos) continue;
          EXPECT_EQ(field[10], '.') << "F14.3 in " << r;
          char* stop = nullptr;
          std::strtod(field.c_str(), &stop);
          EXPECT_EQ(*stop, '\0') << r;
        }
      }
    }
    ++epochs;
  }
  EXPECT_EQ(epochs, expectedEpochs);
}

TEST(SimObservationFile, FollowsRinex211Columns) {
  ObservationOptions o = Hours(2);
  o.slips.slipsPerSatelliteHour = 2;
  o.slips.outagesPerSatelliteHour = 1;
  CheckRinex211(Simulate(o), 240);
  // An interval that does not divide a minute, and no clock offsets.
  o.interval = 7;
  o.writeReceiverClock = false;
  o.duration = 700;
  CheckRinex211(Simulate(o), 100);
}

TEST(SimObservationFile, SameSeedSameTextOtherSeedOtherNoise) {
  const std::string a = Simulate(Hours(0.5, 11));
  EXPECT_EQ(a, Simulate(Hours(0.5, 11)));
  const std::string b = Simulate(Hours(0.5, 12));
  EXPECT_NE(a, b);
  EXPECT_EQ(a.size() / 100, b.size() / 100);  // the same satellites, other noise
}

TEST(SimObservationFile, WritesFilesAndReportsUnwritablePaths) {
  testing::ScratchDir dir;
  std::string error;
  ObservationOptions o = Hours(0.25);
  ASSERT_TRUE(SimulateStationFiles(kStation, o, dir.File("a.21o"), dir.File("a.21n"), &error))
      << error;
  EXPECT_EQ(testing::ReadFile(dir.File("a.21o")), Simulate(o));
  EXPECT_NE(testing::ReadFile(dir.File("a.21n")).find("END OF HEADER"), std::string::npos);
  EXPECT_FALSE(WriteObservationFile(kStation, o, dir.File("missing/a.21o"), &error));
  EXPECT_NE(error.find("missing/a.21o"), std::string::npos);
  EXPECT_FALSE(WriteNavigationFile(o.startGps, 3600, dir.File("missing/a.21n"), &error));
  o.interval = 0;
  EXPECT_FALSE(WriteObservationFile(kStation, o, dir.File("b.21o"), &error));
  EXPECT_FALSE(testing::Exists(dir.File("b.21o")));
}

TEST(SimObservations, IonosphereDelaysCodeAndAdvancesPhaseByFrequency) {
  // The ionosphere delays code and advances phase, scaled by 1/f^2: over a
  // satellite's arc P2 - P1 and L1 - L2 (in metres) both change by
  // (gamma - 1) times the change of the L1 delay (with a same-sign
  // ionosphere on phase they would change by opposite amounts). Around local noon, when
  // the delay changes most; means over 20 epochs keep the code noise small.
  ObservationOptions o = Hours(4);
  o.startGps += 9 * 3600;
  std::map<int, std::vector<std::pair<double, double>>> arcs;
  for (const Epoch& e : Epochs(o)) {
    for (const SatelliteObservation& s : e.satellites) {
      if (!s.present[kL2]) continue;
      auto& arc = arcs[s.prn];
      if (s.lli[kL1] || s.lli[kL2]) arc.clear();
      arc.push_back({s.value[kP2] - s.value[kP1],
                     s.value[kL1] * kL1Wavelength - s.value[kL2] * kL2Wavelength});
    }
  }
  int strong = 0;
  for (const auto& [prn, arc] : arcs) {
    if (arc.size() < 60) continue;
    double code0 = 0, code1 = 0, phase0 = 0, phase1 = 0;
    for (size_t k = 0; k < 20; ++k) {
      code0 += arc[k].first / 20;
      phase0 += arc[k].second / 20;
      code1 += arc[arc.size() - 1 - k].first / 20;
      phase1 += arc[arc.size() - 1 - k].second / 20;
    }
    const double codeChange = code1 - code0, phaseChange = phase1 - phase0;
    EXPECT_NEAR(codeChange, phaseChange, 0.4 + 0.02 * std::fabs(phaseChange))
        << "prn " << prn;
    if (std::fabs(phaseChange) > 1.0) ++strong;
  }
  EXPECT_GE(strong, 3);
}

TEST(SimObservations, MasksHoldAndSignalFollowsElevation) {
  const std::vector<Epoch> epochs = Epochs(Hours(2));
  for (const Epoch& e : epochs) {
    EXPECT_GE(e.satellites.size(), 5u);
    EXPECT_LE(e.satellites.size(), 16u);
    for (const SatelliteObservation& s : e.satellites) {
      EXPECT_GE(s.elevationDeg, 10.0);
      EXPECT_EQ(s.present[kL2], s.elevationDeg >= 12.0);
      EXPECT_GT(s.value[kS1], s.present[kS2] ? s.value[kS2] : 0.0);
      // Ranges of 20 000 to 26 000 km, and C1 beside P1 within its noise.
      EXPECT_GT(s.value[kP1], 19.5e6);
      EXPECT_LT(s.value[kP1], 26.5e6 + 3e5);
      EXPECT_NEAR(s.value[kC1], s.value[kP1], 4.0);
    }
  }
}

TEST(SimObservations, SlipsAndOutagesSetLossOfLockOnlyWhereTheyHappen) {
  ObservationOptions quiet = Hours(2);
  for (const Epoch& e : Epochs(quiet))
    for (const SatelliteObservation& s : e.satellites) {
      EXPECT_EQ(s.lli[kL1], 0);
      EXPECT_EQ(e.flag, 0);
    }

  ObservationOptions slips = Hours(2);
  slips.slips.slipsPerSatelliteHour = 3;
  slips.slips.outagesPerSatelliteHour = 2;
  int flagged = 0, jumps = 0;
  std::map<int, double> lastWide;
  for (const Epoch& e : Epochs(slips)) {
    for (const SatelliteObservation& s : e.satellites) {
      if (!s.present[kL2]) continue;
      // The geometry-free L1 - (f1/f2) L2 in cycles moves slowly (ionosphere)
      // except where an ambiguity changes.
      const double wide = s.value[kL1] - (kL1Frequency / kL2Frequency) * s.value[kL2];
      auto it = lastWide.find(s.prn);
      if (it != lastWide.end()) {
        const bool jumped = std::fabs(wide - it->second) > 0.5;
        const bool lost = s.lli[kL1] || s.lli[kL2];
        if (lost) ++flagged;
        if (jumped) {
          ++jumps;
          EXPECT_TRUE(lost) << "an unflagged jump, prn " << s.prn;
        }
      }
      lastWide[s.prn] = wide;
    }
  }
  EXPECT_GT(flagged, 5);
  EXPECT_GT(jumps, flagged / 2);
}

TEST(SimObservations, ReceiverGapLeavesNoEpochsThenFlagsPowerFailure) {
  ObservationOptions o = Hours(1);
  o.slips.receiverGapStart = 600;
  o.slips.receiverGapLength = 300;
  const std::vector<Epoch> epochs = Epochs(o);
  ASSERT_EQ(epochs.size(), 120u - 10u);
  const int64_t start = o.startGps;
  for (size_t k = 0; k < epochs.size(); ++k) {
    const int64_t offset = epochs[k].time.whole - start;
    EXPECT_FALSE(offset >= 600 && offset < 900);
    if (offset == 900) {
      EXPECT_EQ(epochs[k].flag, 1);
      for (const SatelliteObservation& s : epochs[k].satellites) EXPECT_EQ(s.lli[kL1], 1);
    } else {
      EXPECT_EQ(epochs[k].flag, 0);
    }
  }
}

TEST(SimRinexText, FixedFieldsDropTheLeadingZeroAndTheSignOfZero) {
  EXPECT_EQ(FortranFixed(0.5, 14, 3), "          .500");
  EXPECT_EQ(FortranFixed(-0.5, 14, 3), "         -.500");
  EXPECT_EQ(FortranFixed(-0.0001, 14, 3), "          .000");
  EXPECT_EQ(FortranFixed(21205746.924, 14, 3), "  21205746.924");
  EXPECT_EQ(FortranFixed(0.000089953, 12, 9), "  .000089953");
  EXPECT_EQ(FortranFixed(-1.5, 12, 9), "-1.500000000");
}

}  // namespace
}  // namespace stanvex::sim
