#include "constellation.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "gps_constants.h"
#include "random.h"

namespace stanvex::sim {
namespace {

constexpr double kTwoPi = 6.283185307179586476925;
constexpr double kDeg = kTwoPi / 360.0;
// Reference epoch of the elements: GPS week 2086 (2020-01-05).
constexpr int64_t kElementEpoch = 2086LL * kSecondsPerWeek;
// Satellites per plane (31 in all) and the PRN left out.
constexpr int kPlaneSizes[6] = {6, 5, 5, 5, 5, 5};
constexpr int kUnusedPrn = 31;

double Wrap(double angle) {
  angle = std::fmod(angle, kTwoPi);
  if (angle > kTwoPi / 2) angle -= kTwoPi;
  if (angle < -kTwoPi / 2) angle += kTwoPi;
  return angle;
}

}  // namespace

double RoundLikeRinex(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.12E", value);
  return std::strtod(text, nullptr);
}

const IonosphereCoefficients& BroadcastIonosphere() {
  static const IonosphereCoefficients coefficients = {
      {1.1176e-08, 7.4506e-09, -5.9605e-08, -5.9605e-08},
      {9.0112e+04, 4.9152e+04, -1.3107e+05, -3.2768e+05}};
  return coefficients;
}

const Constellation& Constellation::Default() {
  static const Constellation constellation;
  return constellation;
}

Constellation::Constellation() {
  Random random(20260108);
  int prn = 1;
  for (int plane = 0; plane < 6; ++plane) {
    for (int slot = 0; slot < kPlaneSizes[plane]; ++slot) {
      if (prn == kUnusedPrn) ++prn;
      Orbit o{};
      o.prn = prn++;
      o.sqrtA = 5153.65 + random.Uniform(-1.2, 1.2);
      o.e = random.Uniform(0.001, 0.02);
      o.iRef = (55.0 + random.Uniform(-1.5, 1.5)) * kDeg;
      o.nodeRef = Wrap((plane * 60.0 + 17.0 + random.Uniform(-1, 1)) * kDeg);
      o.omega = Wrap(random.Uniform(-180, 180) * kDeg);
      // Spread the satellites over the plane, with the planes staggered,
      // and fold the argument of perigee out of the mean anomaly so the
      // satellites keep their places along the plane.
      const double along = (slot * 360.0 / kPlaneSizes[plane] + plane * 23.0 +
                            random.Uniform(-4, 4)) * kDeg;
      o.mRef = Wrap(along - o.omega);
      o.deltaN = random.Uniform(3.5e-9, 5.5e-9);
      o.omegaDot = random.Uniform(-8.6e-9, -7.6e-9);
      o.idot = random.Uniform(-5e-11, 5e-11);
      o.cuc = random.Uniform(-6e-6, 6e-6);
      o.cus = random.Uniform(-6e-6, 6e-6);
      o.crc = random.Uniform(150, 350);
      o.crs = random.Uniform(-120, 120);
      o.cic = random.Uniform(-2e-7, 2e-7);
      o.cis = random.Uniform(-2e-7, 2e-7);
      o.clockBias = random.Uniform(-4e-4, 4e-4);
      o.clockDrift = random.Uniform(-3e-12, 3e-12);
      o.tgd = random.Uniform(-1.2e-8, 1.2e-8);
      static const double kAccuracies[3] = {2.0, 2.8, 4.0};
      o.accuracy = kAccuracies[random.Integer(0, 2)];
      orbits_.push_back(o);
      prns_.push_back(o.prn);
    }
  }
}

const Constellation::Orbit* Constellation::Find(int prn) const {
  for (const Orbit& o : orbits_)
    if (o.prn == prn) return &o;
  return nullptr;
}

Ephemeris Constellation::EphemerisAt(int prn, int64_t toeGps) const {
  Ephemeris eph;
  const Orbit* o = Find(prn);
  if (!o) return eph;
  const double dt = static_cast<double>(toeGps - kElementEpoch);
  int64_t week = toeGps / kSecondsPerWeek;
  int64_t sow = toeGps % kSecondsPerWeek;
  if (sow < 0) {
    sow += kSecondsPerWeek;
    --week;
  }
  const double a = o->sqrtA * o->sqrtA;
  const double n = std::sqrt(kEarthGm / (a * a * a)) + o->deltaN;

  eph.prn = prn;
  eph.toeGps = toeGps;
  eph.week = static_cast<int>(week);
  eph.toe = static_cast<double>(sow);
  // Reduce the whole-revolution counts exactly before scaling, so that far
  // dates keep full precision.
  eph.m0 = RoundLikeRinex(Wrap(o->mRef + std::fmod(n * dt, kTwoPi)));
  eph.omega0 = RoundLikeRinex(Wrap(o->nodeRef +
                                   std::fmod((o->omegaDot - kEarthRotationRate) * dt, kTwoPi) +
                                   kEarthRotationRate * static_cast<double>(sow)));
  eph.i0 = RoundLikeRinex(o->iRef + o->idot * dt);
  eph.af0 = RoundLikeRinex(o->clockBias + o->clockDrift * dt);
  eph.af1 = RoundLikeRinex(o->clockDrift);
  eph.af2 = 0;
  eph.sqrtA = RoundLikeRinex(o->sqrtA);
  eph.e = RoundLikeRinex(o->e);
  eph.omega = RoundLikeRinex(o->omega);
  eph.deltaN = RoundLikeRinex(o->deltaN);
  eph.omegaDot = RoundLikeRinex(o->omegaDot);
  eph.idot = RoundLikeRinex(o->idot);
  eph.cuc = RoundLikeRinex(o->cuc);
  eph.cus = RoundLikeRinex(o->cus);
  eph.crc = RoundLikeRinex(o->crc);
  eph.crs = RoundLikeRinex(o->crs);
  eph.cic = RoundLikeRinex(o->cic);
  eph.cis = RoundLikeRinex(o->cis);
  eph.tgd = RoundLikeRinex(o->tgd);
  eph.accuracy = o->accuracy;
  eph.health = 0;
  eph.iode = static_cast<double>((toeGps / kEphemerisSpacing) % 256);
  eph.iodc = eph.iode;
  eph.l2Codes = 1;
  eph.l2pFlag = 0;
  // Sent from the start of its two-hour slot; never before the week began.
  eph.transmissionTime = eph.toe >= 3600 ? eph.toe - 3600 : eph.toe;
  eph.fitInterval = 4;
  return eph;
}

int64_t Constellation::NearestToe(const SimTime& t) {
  const double slots = std::floor((static_cast<double>(t.whole) + t.fraction) /
                                      static_cast<double>(kEphemerisSpacing) + 0.5);
  return static_cast<int64_t>(slots) * kEphemerisSpacing;
}

Ephemeris Constellation::NearestEphemeris(int prn, const SimTime& t) const {
  return EphemerisAt(prn, NearestToe(t));
}

}  // namespace stanvex::sim
