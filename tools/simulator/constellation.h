// Our own GPS constellation: 31 satellites in six orbital planes with fixed
// Keplerian elements, perturbation terms, clocks, group delays, health and
// accuracy. Broadcast ephemerides are issued every two hours for any date;
// each one is the exact propagation of the same elements, so the orbit a
// user computes from any of them is one continuous orbit, and that orbit is
// the simulator's truth.
#ifndef STANVEX_SIM_CONSTELLATION_H
#define STANVEX_SIM_CONSTELLATION_H

#include <cstdint>
#include <vector>

#include "ephemeris.h"

namespace stanvex::sim {

constexpr int64_t kEphemerisSpacing = 7200;  // seconds between times of ephemeris

// Klobuchar coefficients broadcast in the navigation header; the
// simulated ionosphere is the model they define.
struct IonosphereCoefficients {
  double alpha[4];
  double beta[4];
};
const IonosphereCoefficients& BroadcastIonosphere();

class Constellation {
 public:
  // The one fixed constellation.
  static const Constellation& Default();

  // PRNs of the satellites, ascending.
  const std::vector<int>& Prns() const { return prns_; }

  // The ephemeris of prn whose time of ephemeris is toeGps (a multiple of
  // kEphemerisSpacing), with every value rounded as a RINEX navigation file
  // prints it, so that a reader of the file holds exactly these values.
  Ephemeris EphemerisAt(int prn, int64_t toeGps) const;

  // The ephemeris with the time of ephemeris nearest to t.
  Ephemeris NearestEphemeris(int prn, const SimTime& t) const;
  // Its time of ephemeris.
  static int64_t NearestToe(const SimTime& t);

 private:
  struct Orbit {
    int prn;
    double sqrtA, e, iRef, nodeRef, omega, mRef, deltaN, omegaDot, idot;
    double cuc, cus, crc, crs, cic, cis;
    double clockBias, clockDrift, tgd, accuracy;
  };
  Constellation();
  const Orbit* Find(int prn) const;

  std::vector<Orbit> orbits_;
  std::vector<int> prns_;
};

// A value as it reads back from a RINEX D19.12 field.
double RoundLikeRinex(double value);

}  // namespace stanvex::sim

#endif  // STANVEX_SIM_CONSTELLATION_H
