// Header lines and navigation records that the simulator's RINEX 2.11 and
// RINEX 3.04 writers write alike.
#ifndef STANVEX_SIM_RINEX_COMMON_H
#define STANVEX_SIM_RINEX_COMMON_H

#include <string>

#include "constellation.h"
#include "simulator.h"

namespace stanvex::sim {

// "PGM / RUN BY / DATE", dated on the data's own first day so that output
// depends only on the inputs.
std::string ProgramLine(const SimTime& firstEpoch);

// A navigation value as D19.12 (written with 'E').
std::string D19(double v);

// Four broadcast ionosphere coefficients after prefix, as a header line.
std::string IonosphereLine(const char* prefix, const double (&coefficients)[4],
                           const char* label);

// "OBSERVER / AGENCY" through "ANTENNA: DELTA H/E/N" of an observation file.
std::string ReceiverLines(const ObservationOptions& options, const Vec3& truePosition);

// "INTERVAL" and "TIME OF FIRST OBS".
std::string IntervalLines(const ObservationOptions& options, const SimTime& firstEpoch);

// The seven broadcast orbit lines that follow an ephemeris' first line,
// each after indent.
std::string BroadcastOrbitLines(const Ephemeris& e, const char* indent);

}  // namespace stanvex::sim

#endif  // STANVEX_SIM_RINEX_COMMON_H
