// WGS84 coordinate conversions and the two signal-delay models used for
// single-point positioning.
#ifndef STANVEX_RIN2OBN_GEODESY_H
#define STANVEX_RIN2OBN_GEODESY_H

namespace rin2obn {

struct Geodetic {
  double latitude;   // radians, north positive
  double longitude;  // radians, east positive
  double height;     // ellipsoidal, metres
};

Geodetic EcefToGeodetic(const double xyz[3]);
void GeodeticToEcef(const Geodetic& g, double xyz[3]);

// Azimuth and elevation (radians) of target seen from a receiver at
// receiver (ECEF) with geodetic position g.
void AzimuthElevation(const Geodetic& g, const double receiver[3], const double target[3],
                      double& azimuth, double& elevation);

// Tropospheric delay (metres) by the Saastamoinen model with a standard
// atmosphere at the receiver's height. 0 outside -100 m .. 10 km.
double SaastamoinenDelay(const Geodetic& g, double elevation);

// L1 ionospheric delay (metres) by the broadcast Klobuchar model at GPS
// second of week t.
double KlobucharDelay(const double alpha[4], const double beta[4], const Geodetic& g,
                      double azimuth, double elevation, double t);

}  // namespace rin2obn

#endif  // STANVEX_RIN2OBN_GEODESY_H
