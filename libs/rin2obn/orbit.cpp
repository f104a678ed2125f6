#include "orbit.h"

#include <cmath>

#include "gnss_time.h"

namespace rin2obn {
namespace {

// Time from a reference, folded into the half week around it.
double SinceReference(double t, double reference) {
  double d = t - reference;
  if (d > kHalfWeek) d -= kSecondsPerWeek;
  if (d < -kHalfWeek) d += kSecondsPerWeek;
  return d;
}

}  // namespace

double ClockPolynomial(const Ephemeris& eph, double t) {
  const double dt = SinceReference(t, eph.tocSeconds);
  return eph.af0 + eph.af1 * dt + eph.af2 * dt * dt;
}

SatelliteState ComputeSatellite(const Ephemeris& eph, double t) {
  const double a = eph.sqrtA * eph.sqrtA;
  const double n0 = std::sqrt(kEarthGm / (a * a * a));
  const double tk = SinceReference(t, eph.toeSeconds);
  const double n = n0 + eph.deltaN;
  const double m = eph.m0 + n * tk;
  // Kepler's equation by Newton iteration.
  double ek = m;
  for (int i = 0; i < 30; ++i) {
    const double step = (ek - eph.e * std::sin(ek) - m) / (1.0 - eph.e * std::cos(ek));
    ek -= step;
    if (std::fabs(step) < 1e-14) break;
  }
  const double sinE = std::sin(ek);
  const double cosE = std::cos(ek);
  const double nu = std::atan2(std::sqrt(1.0 - eph.e * eph.e) * sinE, cosE - eph.e);
  const double phi = nu + eph.omega;
  const double sin2 = std::sin(2.0 * phi);
  const double cos2 = std::cos(2.0 * phi);
  const double u = phi + eph.cus * sin2 + eph.cuc * cos2;
  const double r = a * (1.0 - eph.e * cosE) + eph.crs * sin2 + eph.crc * cos2;
  const double inclination = eph.i0 + eph.idot * tk + eph.cis * sin2 + eph.cic * cos2;
  const double xp = r * std::cos(u);
  const double yp = r * std::sin(u);
  const double node =
      eph.omega0 + (eph.omegaDot - kEarthRotationRate) * tk - kEarthRotationRate * eph.toe;
  const double sinNode = std::sin(node);
  const double cosNode = std::cos(node);
  const double cosI = std::cos(inclination);
  SatelliteState state;
  state.position[0] = xp * cosNode - yp * cosI * sinNode;
  state.position[1] = xp * sinNode + yp * cosI * cosNode;
  state.position[2] = yp * std::sin(inclination);
  state.clock = ClockPolynomial(eph, t) + kRelativityF * eph.e * eph.sqrtA * sinE;
  return state;
}

void EphemerisStore::Add(const Ephemeris& eph) {
  if (eph.prn < 1 || eph.prn > 99) return;
  // A repeated broadcast of the same data set adds nothing.
  if (static_cast<size_t>(eph.prn) < byPrn_.size()) {
    for (size_t index : byPrn_[static_cast<size_t>(eph.prn)]) {
      const Ephemeris& known = all_[index];
      if (known.toeSeconds == eph.toeSeconds && known.iode == eph.iode &&
          known.tocSeconds == eph.tocSeconds)
        return;
    }
  }
  if (byPrn_.size() <= static_cast<size_t>(eph.prn)) byPrn_.resize(static_cast<size_t>(eph.prn) + 1);
  byPrn_[static_cast<size_t>(eph.prn)].push_back(all_.size());
  all_.push_back(eph);
}

const Ephemeris* EphemerisStore::Select(int prn, double t) const {
  if (prn < 1 || static_cast<size_t>(prn) >= byPrn_.size()) return nullptr;
  const Ephemeris* best = nullptr;
  double bestDistance = 0.0;
  for (size_t index : byPrn_[static_cast<size_t>(prn)]) {
    const Ephemeris& eph = all_[index];
    // Unhealthy satellites and elements no GPS orbit has are never used.
    if (eph.health != 0.0 || eph.sqrtA < 1000.0 || eph.e < 0.0 || eph.e >= 0.5) continue;
    // The fit interval is given in hours (0 means the standard four hours);
    // an ephemeris is valid for half of it on either side of toe.
    const double fitHours = eph.fitInterval > 0.0 ? eph.fitInterval : 4.0;
    const double limit = fitHours * 1800.0 + 60.0;
    const double distance = std::fabs(t - eph.toeSeconds);
    if (distance > limit) continue;
    if (best == nullptr || distance < bestDistance) {
      best = &eph;
      bestDistance = distance;
    }
  }
  return best;
}

void EphemerisStore::Clear() {
  all_.clear();
  byPrn_.clear();
}

}  // namespace rin2obn
