// The two text companions of an OBN file: the NVB ephemeris file (tagged
// block form) and the STA station file (Key: value lines).
#ifndef STANVEX_RIN2OBN_COMPANION_FILES_H
#define STANVEX_RIN2OBN_COMPANION_FILES_H

#include <cstdio>
#include <vector>

#include "rinex_nav.h"
#include "rinex_obs.h"

namespace rin2obn {

// Writes the "$EPHREC" line and one GpsEph block per ephemeris, carrying
// every value of the navigation record. Returns false when a write fails.
bool WriteNvb(std::FILE* out, const std::vector<Ephemeris>& ephemerides);

struct StationSummary {
  const ObsHeader* header = nullptr;
  bool haveAverage = false;
  double average[3] = {0, 0, 0};  // mean of the epoch solutions, ECEF metres
  long solvedEpochs = 0;
  double interval = 0.0;
  bool haveEpochs = false;
  double firstEpoch = 0.0;  // GPS seconds
  double lastEpoch = 0.0;
};

// Writes the station file. Returns false when a write fails.
bool WriteSta(std::FILE* out, const StationSummary& summary);

}  // namespace rin2obn

#endif  // STANVEX_RIN2OBN_COMPANION_FILES_H
