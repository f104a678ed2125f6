#include "ephemeris.h"

#include <cmath>

#include "gps_constants.h"

namespace stanvex::sim {

SatelliteState EvaluateEphemeris(const Ephemeris& eph, const SimTime& t) {
  SatelliteState s;
  SimTime toeTime;
  toeTime.whole = eph.toeGps;
  const double tk = Diff(t, toeTime);

  const double a = eph.sqrtA * eph.sqrtA;
  const double n = std::sqrt(kEarthGm / (a * a * a)) + eph.deltaN;
  const double mk = eph.m0 + n * tk;
  double ek = mk;
  for (int i = 0; i < 30; ++i) {
    const double next = mk + eph.e * std::sin(ek);
    if (std::fabs(next - ek) < 1e-15) {
      ek = next;
      break;
    }
    ek = next;
  }
  const double vk = std::atan2(std::sqrt(1.0 - eph.e * eph.e) * std::sin(ek), std::cos(ek) - eph.e);
  const double phi = vk + eph.omega;
  const double sin2 = std::sin(2.0 * phi), cos2 = std::cos(2.0 * phi);
  const double uk = phi + eph.cus * sin2 + eph.cuc * cos2;
  const double rk = a * (1.0 - eph.e * std::cos(ek)) + eph.crs * sin2 + eph.crc * cos2;
  const double ik = eph.i0 + eph.cis * sin2 + eph.cic * cos2 + eph.idot * tk;
  const double xp = rk * std::cos(uk), yp = rk * std::sin(uk);
  const double node =
      eph.omega0 + (eph.omegaDot - kEarthRotationRate) * tk - kEarthRotationRate * eph.toe;
  s.position = {xp * std::cos(node) - yp * std::cos(ik) * std::sin(node),
                xp * std::sin(node) + yp * std::cos(ik) * std::cos(node), yp * std::sin(ik)};
  const double dt = tk;  // toc equals toe for our ephemerides
  s.clock = eph.af0 + eph.af1 * dt + eph.af2 * dt * dt +
            kRelativisticF * eph.e * eph.sqrtA * std::sin(ek);
  s.eccentricAnomaly = ek;
  return s;
}

}  // namespace stanvex::sim
