// The WGS-84 ellipsoid and the constants of the GPS broadcast model, with
// the values the GPS interface specification fixes (pi included), so that
// every evaluation of an orbit or a position here agrees to the last digit.
#ifndef STANVEX_GNSS_WGS84_H
#define STANVEX_GNSS_WGS84_H

namespace stanvex::gnss {

constexpr double kWgs84A = 6378137.0;                   // semi-major axis, metres
constexpr double kWgs84F = 1.0 / 298.257223563;         // flattening
constexpr double kWgs84E2 = kWgs84F * (2.0 - kWgs84F);  // first eccentricity squared
constexpr double kEarthGm = 3.986005e14;                // m^3/s^2
constexpr double kEarthRotationRate = 7.2921151467e-5;  // rad/s
constexpr double kSpeedOfLight = 299792458.0;           // m/s
constexpr double kGpsPi = 3.1415926535898;

}  // namespace stanvex::gnss

#endif  // STANVEX_GNSS_WGS84_H
