// The compact RINEX encoder against the project's decoder: simulated and
// real files come back byte for byte.
#include <gtest/gtest.h>

#include "base/last_error.h"
#include "crinex/crx2rnx.h"
#include "crinex_encoder.h"
#include "simulator.h"
#include "test_support.h"

namespace stanvex::sim {
namespace {

using testing::ReadFile;
using testing::ScratchDir;

// Encodes rinex, decodes the result with Crx2Rnx and returns the decoding.
std::string RoundTrip(const std::string& rinex, const CrinexOptions& options = CrinexOptions()) {
  ScratchDir dir;
  std::string compact, error;
  EXPECT_TRUE(EncodeCompactRinex(rinex, &compact, &error, options)) << error;
  testing::WriteFile(dir.File("x.21d"), compact);
  Result decoded = Crx2Rnx(dir.File("x.21d").c_str(), dir.File("x.21o").c_str());
  EXPECT_TRUE(decoded.ok) << decoded.message;
  return ReadFile(dir.File("x.21o"));
}

std::string SimulatedRinex(const ObservationOptions& o) {
  const Station station{"crx1", -33.9, 151.2, 40};
  ObservationSimulator sim(station, o);
  std::string text = ObservationHeader(station, o, sim.TruePosition(), SimTime{o.startGps, 0});
  Epoch e;
  while (sim.Next(&e)) text += FormatEpoch(e, o.writeReceiverClock);
  return text;
}

const char kHeader[] =
    "     2.11           OBSERVATION DATA    G (GPS)             RINEX VERSION / TYPE\n"
    "     3    C1    L1    S1                                    # / TYPES OF OBSERV\n"
    "                                                            END OF HEADER\n";

TEST(SimCompactRinex, SimulatedFilesComeBackByteForByte) {
  ObservationOptions o;
  o.startGps = GpsSecondsOfDate(2021, 3, 7);
  o.duration = 3 * 3600;
  o.seed = 9;
  // Slips, outages (satellites leaving and returning), a receiver gap with
  // an epoch flag 1, L2 fields blank at low elevation.
  o.slips.slipsPerSatelliteHour = 2;
  o.slips.outagesPerSatelliteHour = 2;
  o.slips.receiverGapStart = 3600;
  o.slips.receiverGapLength = 600;
  const std::string rinex = SimulatedRinex(o);
  EXPECT_TRUE(RoundTrip(rinex) == rinex);
  // Every order the format allows, data and clock.
  for (int order : {0, 1, 5}) {
    CrinexOptions options;
    options.dataOrder = order;
    options.clockOrder = 5 - order;
    EXPECT_TRUE(RoundTrip(rinex, options) == rinex) << "order " << order;
  }
  // Epochs without clock offsets; one-second data.
  o.writeReceiverClock = false;
  o.interval = 1;
  o.duration = 900;
  const std::string plain = SimulatedRinex(o);
  EXPECT_TRUE(RoundTrip(plain) == plain);
}

// Without carriage returns and trailing blanks, which the decoder drops.
std::string Normalized(const std::string& text) {
  std::string out, line;
  for (char c : text) {
    if (c == '\r') continue;
    if (c != '\n') {
      line += c;
      continue;
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    out += line + "\n";
    line.clear();
  }
  return out + line;
}

TEST(SimCompactRinex, RealFilesComeBack) {
  ASSERT_TRUE(testing::HaveSharedData());
  // Mixed GPS/GLONASS written by a decoder already; RINEX 2.10 with epochs
  // off the grid; CR LF line ends at 5 s.
  for (const char* name : {"crinex/wsra0010.21o", "rinex/07590920.05o", "rinex/30400920.05o",
                           "highrate/glw1277m.18o"}) {
    const std::string rinex = ReadFile(testing::SharedData(name));
    ASSERT_FALSE(rinex.empty()) << name;
    EXPECT_TRUE(RoundTrip(rinex) == Normalized(rinex)) << name;
  }
}

TEST(SimCompactRinex, EventEpochsAreCopiedAndArcsStartAgain) {
  const std::string rinex = std::string(kHeader) +
      " 21  1  1  0  0  0.0000000  0  2G01G02\n"
      "  20000000.000 7 100000000.00017        45.000\n"
      "  21000000.000 6 110000000.000 6        40.000\n"
      " 21  1  1  0  0 30.0000000  0  2G01G02\n"
      "  20000300.125 7 100001576.25017        45.250\n"
      "  20999700.500 6 109998423.750 6        40.250\n"
      "                            4  2\n"
      "a comment inside the data                                   COMMENT\n"
      "     2    C1    L1                                          # / TYPES OF OBSERV\n"
      " 21  1  1  0  1  0.0000000  0  1G02\n"
      "  20999400.000 6 109996847.500 6\n"
      " 21  1  1  0  1 30.0000000  0  1G02\n"
      "  20999100.000 6 109995271.250 6\n";
  EXPECT_EQ(RoundTrip(rinex), rinex);
}

TEST(SimCompactRinex, WhatTheFormatCannotCarryIsRefused) {
  std::string compact, error;
  // 31 satellites in one epoch.
  std::string many = std::string(kHeader) + " 21  1  1  0  0  0.0000000  0 31";
  for (int prn = 1; prn <= 12; ++prn) many += "G" + std::string(prn < 10 ? "0" : "") + std::to_string(prn);
  for (int line = 0; line < 2; ++line) {
    many += "\n" + std::string(32, ' ');
    for (int k = 0; k < (line == 0 ? 12 : 7); ++k) many += "G" + std::to_string(13 + line * 12 + k);
  }
  many += "\n";
  EXPECT_FALSE(EncodeCompactRinex(many, &compact, &error));
  EXPECT_NE(error.find("30 satellites"), std::string::npos) << error;

  // Not an observation file; a header without its end; an unreadable value.
  EXPECT_FALSE(EncodeCompactRinex(
      "     2.11           N: GPS NAV DATA                         RINEX VERSION / TYPE\n",
      &compact, &error));
  EXPECT_FALSE(EncodeCompactRinex(std::string(kHeader).substr(0, 160), &compact, &error));
  EXPECT_NE(error.find("END OF HEADER"), std::string::npos);
  EXPECT_FALSE(EncodeCompactRinex(std::string(kHeader) +
                                      " 21  1  1  0  0  0.0000000  0  1G01\n"
                                      "  2000x000.000 7\n",
                                  &compact, &error));
  EXPECT_NE(error.find("line 5"), std::string::npos) << error;
  // An epoch that ends inside its records.
  EXPECT_FALSE(EncodeCompactRinex(std::string(kHeader) + " 21  1  1  0  0  0.0000000  0  2G01G02\n"
                                                         "  20000000.000 7\n",
                                  &compact, &error));

  // A real file with 10 observation types: more than the format's 9.
  const std::string ten = ReadFile(testing::SharedData("rinex/zimm0010.21o"));
  ASSERT_FALSE(ten.empty());
  EXPECT_FALSE(EncodeCompactRinex(ten, &compact, &error));
  EXPECT_NE(error.find("9 observation types"), std::string::npos) << error;
}

}  // namespace
}  // namespace stanvex::sim
