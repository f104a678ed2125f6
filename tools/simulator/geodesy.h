// WGS84 coordinates and the station-to-satellite geometry.
#ifndef STANVEX_SIM_GEODESY_H
#define STANVEX_SIM_GEODESY_H

namespace stanvex::sim {

struct Vec3 {
  double x = 0, y = 0, z = 0;
};

Vec3 operator-(const Vec3& a, const Vec3& b);
Vec3 operator+(const Vec3& a, const Vec3& b);
double Norm(const Vec3& v);

struct Geodetic {
  double latDeg = 0, lonDeg = 0, heightM = 0;
};

Vec3 GeodeticToEcef(const Geodetic& g);
Geodetic EcefToGeodetic(const Vec3& p);

// Elevation and azimuth (radians) of target seen from station (both ECEF).
void ElevationAzimuth(const Geodetic& station, const Vec3& stationEcef, const Vec3& target,
                      double* elevation, double* azimuth);

}  // namespace stanvex::sim

#endif  // STANVEX_SIM_GEODESY_H
