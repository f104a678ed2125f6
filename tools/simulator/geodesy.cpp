#include "geodesy.h"

#include <cmath>

#include "gps_constants.h"

namespace stanvex::sim {
namespace {
constexpr double kDeg = 3.14159265358979323846 / 180.0;
}

Vec3 operator-(const Vec3& a, const Vec3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec3 operator+(const Vec3& a, const Vec3& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
double Norm(const Vec3& v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }

Vec3 GeodeticToEcef(const Geodetic& g) {
  const double e2 = kWgs84E2;
  const double lat = g.latDeg * kDeg, lon = g.lonDeg * kDeg;
  const double n = kWgs84A / std::sqrt(1.0 - e2 * std::sin(lat) * std::sin(lat));
  return {(n + g.heightM) * std::cos(lat) * std::cos(lon),
          (n + g.heightM) * std::cos(lat) * std::sin(lon),
          (n * (1.0 - e2) + g.heightM) * std::sin(lat)};
}

Geodetic EcefToGeodetic(const Vec3& p) {
  const double e2 = kWgs84E2;
  const double r = std::sqrt(p.x * p.x + p.y * p.y);
  double lat = std::atan2(p.z, r * (1.0 - e2));
  double height = 0;
  for (int i = 0; i < 10; ++i) {
    const double n = kWgs84A / std::sqrt(1.0 - e2 * std::sin(lat) * std::sin(lat));
    height = r / std::cos(lat) - n;
    lat = std::atan2(p.z, r * (1.0 - e2 * n / (n + height)));
  }
  return {lat / kDeg, std::atan2(p.y, p.x) / kDeg, height};
}

void ElevationAzimuth(const Geodetic& station, const Vec3& stationEcef, const Vec3& target,
                      double* elevation, double* azimuth) {
  const Vec3 d = target - stationEcef;
  const double lat = station.latDeg * kDeg, lon = station.lonDeg * kDeg;
  const double east = -std::sin(lon) * d.x + std::cos(lon) * d.y;
  const double north = -std::sin(lat) * std::cos(lon) * d.x - std::sin(lat) * std::sin(lon) * d.y +
                       std::cos(lat) * d.z;
  const double up = std::cos(lat) * std::cos(lon) * d.x + std::cos(lat) * std::sin(lon) * d.y +
                    std::sin(lat) * d.z;
  *elevation = std::atan2(up, std::sqrt(east * east + north * north));
  *azimuth = std::atan2(east, north);
}

}  // namespace stanvex::sim
