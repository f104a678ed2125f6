// One GPS broadcast ephemeris and its evaluation by the broadcast-ephemeris
// user algorithm: Keplerian elements with the harmonic perturbation terms,
// and the satellite clock polynomial with the relativistic term.
#ifndef STANVEX_SIM_EPHEMERIS_H
#define STANVEX_SIM_EPHEMERIS_H

#include <cstdint>

#include "geodesy.h"
#include "sim_time.h"

namespace stanvex::sim {

struct Ephemeris {
  int prn = 0;
  int64_t toeGps = 0;  // time of ephemeris (= time of clock), GPS seconds
  int week = 0;         // GPS week of toe (no rollover)
  double toe = 0;       // seconds of week of toe
  double af0 = 0, af1 = 0, af2 = 0;
  double iode = 0, crs = 0, deltaN = 0, m0 = 0;
  double cuc = 0, e = 0, cus = 0, sqrtA = 0;
  double cic = 0, omega0 = 0, cis = 0;
  double i0 = 0, crc = 0, omega = 0, omegaDot = 0;
  double idot = 0, l2Codes = 1, l2pFlag = 0;
  double accuracy = 2.0, health = 0, tgd = 0, iodc = 0;
  double transmissionTime = 0, fitInterval = 4;
};

struct SatelliteState {
  Vec3 position;          // ECEF at the instant (frame of that instant), metres
  double clock = 0;       // satellite clock offset incl. relativity, seconds (no TGD)
  double eccentricAnomaly = 0;
};

// Evaluates the ephemeris at GPS time t.
SatelliteState EvaluateEphemeris(const Ephemeris& eph, const SimTime& t);

}  // namespace stanvex::sim

#endif  // STANVEX_SIM_EPHEMERIS_H
