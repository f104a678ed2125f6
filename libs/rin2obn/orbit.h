// Satellite position and clock from a broadcast ephemeris, as the GPS
// interface specification defines them, and the choice of ephemeris.
#ifndef STANVEX_RIN2OBN_ORBIT_H
#define STANVEX_RIN2OBN_ORBIT_H

#include <vector>

#include "gnss/wgs84.h"
#include "rinex_nav.h"

namespace rin2obn {

// The WGS-84 values of the GPS interface specification (pi included).
using stanvex::gnss::kEarthGm;
using stanvex::gnss::kEarthRotationRate;
using stanvex::gnss::kGpsPi;
using stanvex::gnss::kSpeedOfLight;
constexpr double kRelativityF = -4.442807633e-10;  // s/m^0.5
constexpr double kFrequencyL1 = 1575.42e6;
constexpr double kFrequencyL2 = 1227.60e6;

struct SatelliteState {
  double position[3];  // ECEF metres at transmission, earth-fixed at that instant
  double clock;        // satellite clock offset, seconds (relativity included, no TGD)
};

// Position and clock at GPS time t (seconds since 1980-01-06).
SatelliteState ComputeSatellite(const Ephemeris& eph, double t);

// Satellite clock offset at t without the relativistic term (polynomial only).
double ClockPolynomial(const Ephemeris& eph, double t);

// The ephemerides of one day, indexed by PRN, with the choice of the one to
// use at a given time.
class EphemerisStore {
 public:
  void Add(const Ephemeris& eph);
  // The healthy ephemeris of prn whose toe is nearest to t among those whose
  // fit interval covers t, or null.
  const Ephemeris* Select(int prn, double t) const;
  const std::vector<Ephemeris>& All() const { return all_; }
  size_t size() const { return all_.size(); }
  void Clear();

 private:
  std::vector<Ephemeris> all_;
  std::vector<std::vector<size_t>> byPrn_;  // indexes into all_
};

}  // namespace rin2obn

#endif  // STANVEX_RIN2OBN_ORBIT_H
