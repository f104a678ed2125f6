// Orbits, signal-delay models, carrier smoothing and the epoch solver.
#include <cmath>
#include <cstdio>
#include <map>

#include <gtest/gtest.h>

#include "carrier_smoothing.h"
#include "geodesy.h"
#include "orbit.h"
#include "point_solution.h"
#include "rinex_nav.h"
#include "test_support.h"

namespace {

using namespace rin2obn;

std::vector<Ephemeris> ReadNavFile(const std::string& path) {
  std::vector<Ephemeris> list;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return list;
  FileLineSource source(f, 0);
  NavReader reader(source);
  Ephemeris e;
  if (reader.ReadHeader())
    while (reader.Next(e)) list.push_back(e);
  std::fclose(f);
  return list;
}

const char kNav2005[] = "rinex/07590920.05n";

TEST(Orbit, ConsecutiveBroadcastEphemeridesAgreeBetweenTheirReferenceTimes) {
  ASSERT_TRUE(stanvex::testing::HaveSharedData());
  std::vector<Ephemeris> all = ReadNavFile(stanvex::testing::SharedData(kNav2005));
  ASSERT_GT(all.size(), 50u);
  std::map<int, const Ephemeris*> previous;
  int pairs = 0;
  for (const Ephemeris& e : all) {
    auto it = previous.find(e.prn);
    if (it != previous.end() && e.toeSeconds - it->second->toeSeconds == 7200.0) {
      // Halfway between the two reference times both describe the same orbit.
      const double t = e.toeSeconds - 3600.0;
      SatelliteState a = ComputeSatellite(*it->second, t);
      SatelliteState b = ComputeSatellite(e, t);
      const double d = std::hypot(a.position[0] - b.position[0], a.position[1] - b.position[1],
                                  a.position[2] - b.position[2]);
      const double radius = std::hypot(a.position[0], a.position[1], a.position[2]);
      EXPECT_LT(d, 5.0) << "PRN " << e.prn;
      EXPECT_NEAR(radius, 26.56e6, 0.6e6);  // eccentricities reach 0.02
      EXPECT_LT(std::fabs(a.clock - b.clock) * kSpeedOfLight, 3.0) << "PRN " << e.prn;
      ++pairs;
    }
    previous[e.prn] = &e;
  }
  EXPECT_GT(pairs, 20);
}

TEST(Orbit, SelectionTakesTheNearestHealthyEphemerisWithinItsFit) {
  Ephemeris base;
  base.prn = 5;
  base.sqrtA = 5153.7;
  EphemerisStore store;
  const double day = 1000 * 604800.0;
  for (double toe : {0.0, 7200.0, 14400.0}) {
    Ephemeris e = base;
    e.toeSeconds = day + toe;
    e.toe = toe;
    e.health = toe == 7200.0 ? 1.0 : 0.0;  // the middle one is unhealthy
    store.Add(e);
  }
  store.Add(store.All()[0]);  // a repeated broadcast is kept once
  EXPECT_EQ(store.size(), 3u);
  EXPECT_EQ(store.Select(5, day + 3000.0)->toe, 0.0);
  EXPECT_EQ(store.Select(5, day + 6000.0)->toe, 0.0);  // the unhealthy one is passed over
  EXPECT_EQ(store.Select(5, day + 12000.0)->toe, 14400.0);
  EXPECT_EQ(store.Select(5, day + 14400.0 + 7300.0), nullptr);  // beyond the fit
  EXPECT_EQ(store.Select(6, day), nullptr);
}

TEST(Geodesy, GeodeticAndEarthCentredCoordinatesConvertBothWays) {
  const double zimm[3] = {4331296.832, 567556.166, 4633134.114};
  Geodetic g = EcefToGeodetic(zimm);
  EXPECT_NEAR(g.latitude * 180.0 / kGpsPi, 46.877099, 1e-5);
  EXPECT_NEAR(g.longitude * 180.0 / kGpsPi, 7.465278, 1e-5);
  EXPECT_NEAR(g.height, 956.4, 0.5);
  for (Geodetic p : {g, Geodetic{-0.6, -2.0, -30.0}, Geodetic{1.55, 3.0, 4000.0}}) {
    double xyz[3];
    GeodeticToEcef(p, xyz);
    Geodetic back = EcefToGeodetic(xyz);
    EXPECT_NEAR(back.latitude, p.latitude, 1e-10);
    EXPECT_NEAR(back.longitude, p.longitude, 1e-10);
    EXPECT_NEAR(back.height, p.height, 1e-4);
  }
}

TEST(Geodesy, DelayModelsGiveTheirTextbookMagnitudes) {
  const Geodetic sea{0.8, 0.1, 0.0};
  const double zenith = SaastamoinenDelay(sea, kGpsPi / 2.0);
  EXPECT_NEAR(zenith, 2.35, 0.1);
  EXPECT_NEAR(SaastamoinenDelay(sea, 10.0 * kGpsPi / 180.0) / zenith, 5.6, 0.3);
  EXPECT_EQ(SaastamoinenDelay(Geodetic{0.8, 0.1, 20000.0}, kGpsPi / 2.0), 0.0);
  // With no amplitude the model is its night-time 5 ns, scaled by the slant factor.
  const double zero[4] = {0, 0, 0, 0};
  const double night = KlobucharDelay(zero, zero, sea, 0.0, kGpsPi / 2.0, 0.0);
  EXPECT_NEAR(night, kSpeedOfLight * 5e-9 * (1.0 + 16.0 * std::pow(0.03, 3.0)), 1e-6);
  const double alpha[4] = {0.7451e-08, -0.1490e-07, -0.5960e-07, 0.1192e-06};
  const double beta[4] = {0.9011e+05, -0.6554e+05, -0.1311e+06, 0.4588e+06};
  // Local afternoon (14:00 at the station's longitude) has more than night.
  const double afternoon = 50400.0 - 43200.0 * 0.1 / kGpsPi;
  EXPECT_GT(KlobucharDelay(alpha, beta, sea, 0.0, kGpsPi / 2.0, afternoon), night);
  EXPECT_GT(KlobucharDelay(alpha, beta, sea, 0.0, 0.2, afternoon),
            2.0 * KlobucharDelay(alpha, beta, sea, 0.0, kGpsPi / 2.0, afternoon));
}

TEST(CarrierSmoothing, NoiseIsAveragedOutAndALossOfLockRestartsTheArc) {
  CarrierSmoother smoother;
  const double lambda1 = kSpeedOfLight / kFrequencyL1;
  const double lambda2 = kSpeedOfLight / kFrequencyL2;
  double last = 0.0;
  for (int k = 0; k < 40; ++k) {
    const double t = 1e9 + 30.0 * k;
    const double range = 2.2e7 + 400.0 * k;
    const double noise = (k % 2 == 0 ? 1.0 : -1.0);
    SmoothingInput in;
    in.prn = 3;
    in.p1 = range + noise;
    in.p2 = range - noise;
    in.l1 = range / lambda1 + 1000.0;
    in.l2 = range / lambda2 - 500.0;
    in.l1Slip = k == 30;
    SmoothedRanges out = smoother.Update(t, in);
    const double rawIonoFree = (kFrequencyL1 * kFrequencyL1 * in.p1 - kFrequencyL2 * kFrequencyL2 * in.p2) /
                               (kFrequencyL1 * kFrequencyL1 - kFrequencyL2 * kFrequencyL2);
    if (k == 29) {
      EXPECT_LT(std::fabs(out.ionoFree - range), 0.3);
    }
    if (k == 30) {
      EXPECT_DOUBLE_EQ(out.ionoFree, rawIonoFree);
    }
    last = out.l1;
  }
  EXPECT_NE(last, 0.0);
}

// Ranges a receiver at truth would measure from the satellites of the 2005
// file, modelled as the solver models them, with a receiver clock offset.
std::vector<RangeObservation> SimulatedRanges(const EphemerisStore& store, double t,
                                              const double truth[3], double clockMetres) {
  std::vector<RangeObservation> list;
  const Geodetic g = EcefToGeodetic(truth);
  for (int prn = 1; prn <= 32; ++prn) {
    const Ephemeris* e = store.Select(prn, t);
    if (e == nullptr) continue;
    double travel = 0.07;
    double range = 0.0;
    double elevation = 0.0;
    SatelliteState s{};
    for (int i = 0; i < 5; ++i) {
      s = ComputeSatellite(*e, t - travel);
      const double a = kEarthRotationRate * travel;
      const double p[3] = {std::cos(a) * s.position[0] + std::sin(a) * s.position[1],
                           -std::sin(a) * s.position[0] + std::cos(a) * s.position[1],
                           s.position[2]};
      range = std::hypot(p[0] - truth[0], p[1] - truth[1], p[2] - truth[2]);
      travel = range / kSpeedOfLight;
      double azimuth = 0.0;
      AzimuthElevation(g, truth, p, azimuth, elevation);
    }
    if (elevation < 12.0 * kGpsPi / 180.0) continue;
    RangeObservation o;
    o.prn = prn;
    o.l1Range = range + clockMetres - kSpeedOfLight * s.clock + SaastamoinenDelay(g, elevation);
    o.p2Range = o.l1Range;  // no ionosphere: the combination is the range itself
    list.push_back(o);
  }
  return list;
}

TEST(PointSolution, RecoversThePositionAndDropsOneGrossRange) {
  ASSERT_TRUE(stanvex::testing::HaveSharedData());
  EphemerisStore store;
  for (const Ephemeris& e : ReadNavFile(stanvex::testing::SharedData(kNav2005))) store.Add(e);
  const double truth[3] = {-3976219.5082, 3382372.5671, 3652512.9849};
  const double t = store.All()[0].toeSeconds + 1800.0;
  const double none[3] = {0.0, 0.0, 0.0};
  SolverSettings settings;
  std::vector<RangeObservation> ranges = SimulatedRanges(store, t, truth, 3000.0);
  ASSERT_GE(ranges.size(), 6u);
  PointSolution s = SolveEpoch(store, settings, t, none, ranges);
  ASSERT_TRUE(s.valid);
  EXPECT_NEAR(s.position[0], truth[0], 0.05);
  EXPECT_NEAR(s.position[1], truth[1], 0.05);
  EXPECT_NEAR(s.position[2], truth[2], 0.05);
  EXPECT_NEAR(s.clockOffset * kSpeedOfLight, 3000.0, 0.05);
  EXPECT_EQ(s.satellitesUsed, static_cast<int>(ranges.size()));
  EXPECT_LT(s.rms, 0.01);
  EXPECT_GT(s.pdop, 1.0);

  ranges[2].l1Range += 150.0;
  ranges[2].p2Range += 150.0;
  s = SolveEpoch(store, settings, t, truth, ranges);
  ASSERT_TRUE(s.valid);
  EXPECT_FALSE(ranges[2].used);
  EXPECT_EQ(s.satellitesUsed, static_cast<int>(ranges.size()) - 1);
  EXPECT_NEAR(s.position[2], truth[2], 0.05);

  ranges.resize(3);
  EXPECT_FALSE(SolveEpoch(store, settings, t, truth, ranges).valid);
}

}  // namespace
