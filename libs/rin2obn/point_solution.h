// Single-point position of one epoch from GPS pseudoranges and broadcast
// ephemerides: iterated weighted least squares for position and receiver
// clock, with an elevation mask and a residual check that drops a bad
// satellite.
#ifndef STANVEX_RIN2OBN_POINT_SOLUTION_H
#define STANVEX_RIN2OBN_POINT_SOLUTION_H

#include <vector>

#include "orbit.h"
#include "rinex_nav.h"

namespace rin2obn {

struct RangeObservation {
  int prn = 0;
  double l1Range = 0.0;  // C1 or P1, metres; 0 when missing
  double p2Range = 0.0;  // P2, metres; 0 when missing (enables the ionosphere-free combination)
  // Carrier-smoothed ranges used in place of the raw ones when not 0.
  double smoothedIonoFree = 0.0;
  double smoothedL1 = 0.0;
  // Filled by the solver: elevation in radians seen from the solution (or
  // from the initial position when there is none), -10 when unknown.
  double elevation = -10.0;
  bool used = false;
};

struct PointSolution {
  bool valid = false;
  double position[3] = {0, 0, 0};  // ECEF metres
  double clockOffset = 0.0;        // seconds
  int satellitesUsed = 0;
  double pdop = 0.0;
  double rms = 0.0;  // of the post-fit residuals, metres
};

struct SolverSettings {
  double elevationMask = 10.0 * kGpsPi / 180.0;
  double ionAlpha[4] = {0, 0, 0, 0};
  double ionBeta[4] = {0, 0, 0, 0};
  bool haveIon = false;
};

// Solves one epoch at receiver time t (GPS seconds). initial: a position to
// start from (ECEF, or zeros when none is known). observations: in/out, the
// solver fills elevation and used.
PointSolution SolveEpoch(const EphemerisStore& store, const SolverSettings& settings, double t,
                         const double initial[3], std::vector<RangeObservation>& observations);

}  // namespace rin2obn

#endif  // STANVEX_RIN2OBN_POINT_SOLUTION_H
