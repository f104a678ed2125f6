// The constellation and its broadcast ephemerides: one continuous orbit per
// satellite, GPS-like geometry, and values that read back from the
// navigation file exactly as the simulator used them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <set>

#include "constellation.h"
#include "gps_constants.h"
#include "sim_test_util.h"
#include "simulator.h"

namespace stanvex::sim {
namespace {

const int64_t kDay2021 = GpsSecondsOfDate(2021, 1, 1);

TEST(SimConstellation, HasThirtyOneDistinctSatellitesInSixPlanes) {
  const Constellation& c = Constellation::Default();
  ASSERT_EQ(c.Prns().size(), 31u);
  EXPECT_EQ(std::set<int>(c.Prns().begin(), c.Prns().end()).size(), 31u);
  std::set<long> planes;
  for (int prn : c.Prns()) {
    const Ephemeris e = c.EphemerisAt(prn, kDay2021);
    EXPECT_NEAR(e.i0 * 180 / kGpsPi, 55.0, 1.6) << prn;
    EXPECT_GT(e.e, 0.0009);
    EXPECT_LT(e.e, 0.021);
    EXPECT_EQ(e.health, 0);
    EXPECT_LT(std::fabs(e.af0), 1e-3);
    // Nodes at the reference epoch lie near one of six 60-degree slots.
    planes.insert(std::lround(std::fmod(e.omega0 * 180 / kGpsPi + 720.0, 360.0) / 10.0));
  }
  EXPECT_GE(planes.size(), 6u);
}

TEST(SimConstellation, SuccessiveEphemeridesDescribeOneOrbit) {
  const Constellation& c = Constellation::Default();
  // Across a day boundary, a week boundary and a date far from the elements' epoch.
  for (int64_t toe : {kDay2021 + 22 * 3600, GpsSecondsOfDate(2021, 1, 9) + 22 * 3600,
                      GpsSecondsOfDate(1999, 8, 21) + 22 * 3600,
                      GpsSecondsOfDate(2040, 6, 30)}) {
    for (int prn : c.Prns()) {
      const Ephemeris a = c.EphemerisAt(prn, toe);
      const Ephemeris b = c.EphemerisAt(prn, toe + kEphemerisSpacing);
      const SimTime middle{toe + kEphemerisSpacing / 2, 0.25};
      const SatelliteState sa = EvaluateEphemeris(a, middle);
      const SatelliteState sb = EvaluateEphemeris(b, middle);
      EXPECT_LT(Norm(sa.position - sb.position), 0.005) << "prn " << prn << " toe " << toe;
      EXPECT_NEAR(sa.clock, sb.clock, 1e-13);
    }
  }
}

TEST(SimConstellation, OrbitsHaveGpsRadiusSpeedAndPeriod) {
  const Constellation& c = Constellation::Default();
  const Ephemeris e = c.EphemerisAt(7, kDay2021);
  const SimTime t{kDay2021 + 1000, 0};
  const SatelliteState s0 = EvaluateEphemeris(e, t);
  const SatelliteState s1 = EvaluateEphemeris(e, t.Plus(1.0));
  EXPECT_NEAR(Norm(s0.position), 26560e3, 600e3);
  // Earth-fixed speed of a GPS satellite: about 3.0 to 3.9 km/s.
  const double speed = Norm(s1.position - s0.position);
  EXPECT_GT(speed, 2500);
  EXPECT_LT(speed, 4200);
  // Half a sidereal day later the satellite is back over nearly the same
  // inertial place: in the earth frame it has turned by half a sidereal day.
  const double period = 2 * kGpsPi / (std::sqrt(kEarthGm / std::pow(e.sqrtA, 6)) + e.deltaN);
  EXPECT_NEAR(period, 43082, 40);
}

// Reads the n-th 19-character field of a navigation record line.
double Field(const std::string& line, int n) {
  std::string f = line.substr(static_cast<size_t>(n == 0 ? 22 : 3 + (n - 1) * 19), 19);
  for (char& ch : f)
    if (ch == 'D') ch = 'E';
  return std::strtod(f.c_str(), nullptr);
}

TEST(SimConstellation, NavigationFileReadsBackToTheTruthValues) {
  const std::string text = NavigationBody(kDay2021, 86400);
  const std::vector<std::string> lines = testing::Lines(text);
  ASSERT_EQ(lines.size(), 31u * 12u * 8u);  // every satellite every two hours
  const Constellation& c = Constellation::Default();
  for (size_t r = 0; r < lines.size(); r += 8) {
    const int prn = std::atoi(lines[r].substr(0, 2).c_str());
    const int hour = std::atoi(lines[r].substr(12, 2).c_str());
    const Ephemeris e = c.EphemerisAt(prn, kDay2021 + hour * 3600);
    EXPECT_EQ(Field(lines[r], 0), e.af0);
    EXPECT_EQ(Field(lines[r + 1], 4), e.m0);
    EXPECT_EQ(Field(lines[r + 2], 2), e.e);
    EXPECT_EQ(Field(lines[r + 2], 4), e.sqrtA);
    EXPECT_EQ(Field(lines[r + 3], 1), e.toe);
    EXPECT_EQ(Field(lines[r + 3], 3), e.omega0);
    EXPECT_EQ(Field(lines[r + 4], 1), e.i0);
    EXPECT_EQ(Field(lines[r + 4], 3), e.omega);
    EXPECT_EQ(Field(lines[r + 5], 3), e.week);
    EXPECT_EQ(Field(lines[r + 6], 3), e.tgd);
    EXPECT_GT(e.accuracy, 0);
    EXPECT_LE(Field(lines[r + 7], 1), e.toe);  // sent no later than its time of ephemeris
  }
}

TEST(SimClock, CalendarWeekAndLeapSecondsOfKnownDates) {
  const CalendarTime c = ToCalendar(SimTime{GpsSecondsOfDate(2002, 2, 3), 0});
  EXPECT_EQ(c.dayOfYear, 34);
  EXPECT_EQ(c.gpsWeek, 1152);
  EXPECT_EQ(c.secondsOfWeek, 0);
  const CalendarTime leap = ToCalendar(SimTime{GpsSecondsOfDate(2020, 12, 31) + 86399, 0.5});
  EXPECT_EQ(leap.dayOfYear, 366);
  EXPECT_EQ(leap.second, 59.5);
  EXPECT_EQ(LeapSecondsAt(GpsSecondsOfDate(2021, 1, 1)), 18);
  EXPECT_EQ(LeapSecondsAt(GpsSecondsOfDate(2005, 4, 2)), 13);
  EXPECT_EQ(LeapSecondsAt(GpsSecondsOfDate(1980, 2, 1)), 0);
  EXPECT_DOUBLE_EQ(Diff(SimTime{1000000000, 0.75}, SimTime{999999999, 0.5}), 1.25);
}

}  // namespace
}  // namespace stanvex::sim
