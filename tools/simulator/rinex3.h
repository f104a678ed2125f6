// RINEX 3.04 text of the simulator: GPS observation files with the signals
// a geodetic receiver of today records, and navigation files merged as the
// IGS publishes them (GPS records of our constellation among records of
// other systems that GPS users skip). Long file names of the RINEX 3 naming
// convention.
//
// Observation types, in file order, and the simulated value each carries:
//   C1C  C/A code range (C1)      L1C  L1 phase (L1)     D1C  L1 Doppler
//   S1C  L1 signal strength (S1)  C2W  P2 range (P2)     L2W  L2 phase (L2)
//   D2W  L2 Doppler               S2W  L2 signal strength (S2)
// The epochs come from an ObservationSimulator whose options ask for
// Doppler values; the flags are those of the RINEX 2 text.
#ifndef STANVEX_SIM_RINEX3_H
#define STANVEX_SIM_RINEX3_H

#include <cstdint>
#include <string>

#include "simulator.h"

namespace stanvex::sim {

// The observation header of a station's file starting at firstEpoch.
// longName is the nine-character name (MARKER NAME keeps the four-character
// code).
std::string Rinex3ObservationHeader(const Station& station, const std::string& longName,
                                    const ObservationOptions& options,
                                    const Vec3& truePosition, const SimTime& firstEpoch);
// The RINEX 3 text of one epoch: the ">" line and one line per satellite.
std::string FormatEpoch3(const Epoch& epoch, bool withClock);

// The merged navigation file of one day: header, the GPS ephemerides of
// [start, start + duration) as in NavigationBody, and a few records of
// other systems.
std::string Rinex3NavigationFile(int64_t startGps, double duration);

// The data-frequency field of a long name for an interval in seconds:
// "30S", "01S", "05M", "01H", "20Z" (Hz); "00U" when none fits.
std::string LongNameInterval(double interval);

}  // namespace stanvex::sim

#endif  // STANVEX_SIM_RINEX3_H
