// Physical and broadcast-model constants of GPS, with the values the
// broadcast-ephemeris user algorithm fixes (pi included), so that our truth
// and any user's evaluation agree to the last digit. The WGS-84 ones are
// those of gnss/wgs84.h, shared with the converter and the core.
#ifndef STANVEX_SIM_GPS_CONSTANTS_H
#define STANVEX_SIM_GPS_CONSTANTS_H

#include "gnss/gps_time.h"
#include "gnss/wgs84.h"

namespace stanvex::sim {

using gnss::kEarthGm;
using gnss::kEarthRotationRate;
using gnss::kGpsPi;
using gnss::kSpeedOfLight;
using gnss::kWgs84A;
using gnss::kWgs84E2;
using gnss::kWgs84F;
using gnss::kSecondsPerDay;
using gnss::kSecondsPerWeek;

constexpr double kRelativisticF = -4.442807633e-10;  // s/m^(1/2)
constexpr double kL1Frequency = 1575.42e6;
constexpr double kL2Frequency = 1227.60e6;
constexpr double kL1Wavelength = kSpeedOfLight / kL1Frequency;
constexpr double kL2Wavelength = kSpeedOfLight / kL2Frequency;
// (f1/f2)^2: the L2 group delay is this many times the L1 delay.
constexpr double kGammaL1L2 = (kL1Frequency / kL2Frequency) * (kL1Frequency / kL2Frequency);

}  // namespace stanvex::sim

#endif  // STANVEX_SIM_GPS_CONSTANTS_H
