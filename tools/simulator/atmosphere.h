// Signal delays of the simulated atmosphere.
#ifndef STANVEX_SIM_ATMOSPHERE_H
#define STANVEX_SIM_ATMOSPHERE_H

#include "constellation.h"
#include "geodesy.h"

namespace stanvex::sim {

// L1 ionospheric group delay in metres by the broadcast (Klobuchar) model,
// for a receiver at station, a satellite at elevation/azimuth (radians) and
// GPS seconds of week sow.
double KlobucharDelayL1(const IonosphereCoefficients& c, const Geodetic& station,
                        double elevation, double azimuth, double sow);

// Tropospheric delay in metres: Saastamoinen zenith delays of a standard
// atmosphere at the station's height, mapped to the elevation (radians).
double TroposphereDelay(const Geodetic& station, double elevation);

}  // namespace stanvex::sim

#endif  // STANVEX_SIM_ATMOSPHERE_H
