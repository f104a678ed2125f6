#include "atmosphere.h"

#include <cmath>

#include "gps_constants.h"

namespace stanvex::sim {

double KlobucharDelayL1(const IonosphereCoefficients& c, const Geodetic& station,
                        double elevation, double azimuth, double sow) {
  // Angles of the model are in semicircles.
  const double e = elevation / kGpsPi;
  const double phiU = station.latDeg / 180.0;
  const double lambdaU = station.lonDeg / 180.0;
  const double psi = 0.0137 / (e + 0.11) - 0.022;
  double phiI = phiU + psi * std::cos(azimuth);
  if (phiI > 0.416) phiI = 0.416;
  if (phiI < -0.416) phiI = -0.416;
  const double lambdaI = lambdaU + psi * std::sin(azimuth) / std::cos(phiI * kGpsPi);
  const double phiM = phiI + 0.064 * std::cos((lambdaI - 1.617) * kGpsPi);
  double t = std::fmod(4.32e4 * lambdaI + sow, 86400.0);
  if (t < 0) t += 86400.0;
  const double f = 1.0 + 16.0 * std::pow(0.53 - e, 3);
  double amp = c.alpha[0] + phiM * (c.alpha[1] + phiM * (c.alpha[2] + phiM * c.alpha[3]));
  double per = c.beta[0] + phiM * (c.beta[1] + phiM * (c.beta[2] + phiM * c.beta[3]));
  if (amp < 0) amp = 0;
  if (per < 72000) per = 72000;
  const double x = 2.0 * kGpsPi * (t - 50400.0) / per;
  double delay = 5e-9;
  if (std::fabs(x) < 1.57) delay += amp * (1.0 - x * x / 2.0 + x * x * x * x / 24.0);
  return kSpeedOfLight * f * delay;
}

double TroposphereDelay(const Geodetic& station, double elevation) {
  const double h = station.heightM < 0 ? 0 : station.heightM;
  const double pressure = 1013.25 * std::pow(1.0 - 2.2557e-5 * h, 5.2568);
  const double temperature = 15.0 - 6.5e-3 * h + 273.16;
  const double humidity = 0.7;
  const double vapour = 6.108 * humidity *
                        std::exp((17.15 * temperature - 4684.0) / (temperature - 38.45));
  const double lat = station.latDeg * kGpsPi / 180.0;
  const double hydrostatic =
      0.0022768 * pressure / (1.0 - 0.00266 * std::cos(2.0 * lat) - 0.00028 * h / 1000.0);
  const double wet = 0.002277 * (1255.0 / temperature + 0.05) * vapour;
  const double s = std::sin(elevation);
  const double mapping = 1.001 / std::sqrt(0.002001 + s * s);
  return (hydrostatic + wet) * mapping;
}

}  // namespace stanvex::sim
