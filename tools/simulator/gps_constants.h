// Physical and broadcast-model constants of GPS, with the values the
// broadcast-ephemeris user algorithm fixes (pi included), so that our truth
// and any user's evaluation agree to the last digit.
#ifndef STANVEX_SIM_GPS_CONSTANTS_H
#define STANVEX_SIM_GPS_CONSTANTS_H

namespace stanvex::sim {

constexpr double kGpsPi = 3.1415926535898;
constexpr double kEarthGm = 3.986005e14;            // m^3/s^2
constexpr double kEarthRotationRate = 7.2921151467e-5;  // rad/s
constexpr double kSpeedOfLight = 299792458.0;       // m/s
constexpr double kRelativisticF = -4.442807633e-10;  // s/m^(1/2)
constexpr double kL1Frequency = 1575.42e6;
constexpr double kL2Frequency = 1227.60e6;
constexpr double kL1Wavelength = kSpeedOfLight / kL1Frequency;
constexpr double kL2Wavelength = kSpeedOfLight / kL2Frequency;
// (f1/f2)^2: the L2 group delay is this many times the L1 delay.
constexpr double kGammaL1L2 = (kL1Frequency / kL2Frequency) * (kL1Frequency / kL2Frequency);

constexpr double kWgs84A = 6378137.0;
constexpr double kWgs84F = 1.0 / 298.257223563;

constexpr long long kSecondsPerWeek = 604800;
constexpr long long kSecondsPerDay = 86400;

}  // namespace stanvex::sim

#endif  // STANVEX_SIM_GPS_CONSTANTS_H
