#include "geodesy.h"

#include <cmath>

#include "orbit.h"

namespace rin2obn {

using stanvex::gnss::kWgs84A;
using stanvex::gnss::kWgs84E2;

Geodetic EcefToGeodetic(const double xyz[3]) {
  const double p2 = xyz[0] * xyz[0] + xyz[1] * xyz[1];
  const double p = std::sqrt(p2);
  Geodetic g{0.0, 0.0, 0.0};
  if (p2 + xyz[2] * xyz[2] < 1.0) {
    g.height = -kWgs84A;
    return g;
  }
  g.longitude = p > 1e-9 ? std::atan2(xyz[1], xyz[0]) : 0.0;
  // Fixed-point iteration on the latitude; converges to well below a
  // millimetre in a handful of steps anywhere near the earth's surface.
  double z = xyz[2];
  double zk = 0.0;
  double v = kWgs84A;
  for (int i = 0; i < 20 && std::fabs(z - zk) >= 1e-5; ++i) {
    zk = z;
    const double sinPhi = z / std::sqrt(p2 + z * z);
    v = kWgs84A / std::sqrt(1.0 - kWgs84E2 * sinPhi * sinPhi);
    z = xyz[2] + v * kWgs84E2 * sinPhi;
  }
  g.latitude = p2 > 1e-12 ? std::atan(z / p) : (xyz[2] > 0.0 ? kGpsPi / 2.0 : -kGpsPi / 2.0);
  g.height = std::sqrt(p2 + z * z) - v;
  return g;
}

void GeodeticToEcef(const Geodetic& g, double xyz[3]) {
  const double sinPhi = std::sin(g.latitude);
  const double cosPhi = std::cos(g.latitude);
  const double v = kWgs84A / std::sqrt(1.0 - kWgs84E2 * sinPhi * sinPhi);
  xyz[0] = (v + g.height) * cosPhi * std::cos(g.longitude);
  xyz[1] = (v + g.height) * cosPhi * std::sin(g.longitude);
  xyz[2] = (v * (1.0 - kWgs84E2) + g.height) * sinPhi;
}

void AzimuthElevation(const Geodetic& g, const double receiver[3], const double target[3],
                      double& azimuth, double& elevation) {
  const double d[3] = {target[0] - receiver[0], target[1] - receiver[1], target[2] - receiver[2]};
  const double sinPhi = std::sin(g.latitude), cosPhi = std::cos(g.latitude);
  const double sinLam = std::sin(g.longitude), cosLam = std::cos(g.longitude);
  const double east = -sinLam * d[0] + cosLam * d[1];
  const double north = -sinPhi * cosLam * d[0] - sinPhi * sinLam * d[1] + cosPhi * d[2];
  const double up = cosPhi * cosLam * d[0] + cosPhi * sinLam * d[1] + sinPhi * d[2];
  const double horizontal = std::sqrt(east * east + north * north);
  azimuth = horizontal > 1e-9 ? std::atan2(east, north) : 0.0;
  if (azimuth < 0.0) azimuth += 2.0 * kGpsPi;
  elevation = std::atan2(up, horizontal);
}

double SaastamoinenDelay(const Geodetic& g, double elevation) {
  if (g.height < -100.0 || g.height > 1e4 || elevation <= 0.0) return 0.0;
  const double h = g.height < 0.0 ? 0.0 : g.height;
  // Standard atmosphere: sea-level pressure 1013.25 hPa, 15 deg C, 50 %
  // relative humidity, with the usual lapse rates.
  const double pressure = 1013.25 * std::pow(1.0 - 2.2557e-5 * h, 5.2568);
  const double temperature = 15.0 - 6.5e-3 * h + 273.16;
  const double humidity = 0.5;
  const double vapour =
      6.108 * humidity * std::exp((17.15 * temperature - 4684.0) / (temperature - 38.45));
  const double zenith = kGpsPi / 2.0 - elevation;
  const double dry = 0.0022768 * pressure /
                     (1.0 - 0.00266 * std::cos(2.0 * g.latitude) - 0.00028 * h / 1e3) /
                     std::cos(zenith);
  const double wet = 0.002277 * (1255.0 / temperature + 0.05) * vapour / std::cos(zenith);
  return dry + wet;
}

double KlobucharDelay(const double alpha[4], const double beta[4], const Geodetic& g,
                      double azimuth, double elevation, double t) {
  if (g.height < -1e3 || elevation <= 0.0) return 0.0;
  // The model works in semicircles.
  const double e = elevation / kGpsPi;
  const double psi = 0.0137 / (e + 0.11) - 0.022;
  double phiI = g.latitude / kGpsPi + psi * std::cos(azimuth);
  if (phiI > 0.416) phiI = 0.416;
  if (phiI < -0.416) phiI = -0.416;
  const double lambdaI = g.longitude / kGpsPi + psi * std::sin(azimuth) / std::cos(phiI * kGpsPi);
  const double phiM = phiI + 0.064 * std::cos((lambdaI - 1.617) * kGpsPi);
  double local = 43200.0 * lambdaI + t;
  local -= std::floor(local / 86400.0) * 86400.0;
  const double slant = 1.0 + 16.0 * std::pow(0.53 - e, 3.0);
  double amplitude = alpha[0] + phiM * (alpha[1] + phiM * (alpha[2] + phiM * alpha[3]));
  double period = beta[0] + phiM * (beta[1] + phiM * (beta[2] + phiM * beta[3]));
  if (amplitude < 0.0) amplitude = 0.0;
  if (period < 72000.0) period = 72000.0;
  const double x = 2.0 * kGpsPi * (local - 50400.0) / period;
  double delay = 5e-9;
  if (std::fabs(x) < 1.57) delay += amplitude * (1.0 - x * x / 2.0 + x * x * x * x / 24.0);
  return kSpeedOfLight * slant * delay;
}

}  // namespace rin2obn
