// Synthetic GPS data whose truth is known exactly: RINEX 2.11 observation
// files of a station at a given position and RINEX 2 navigation files of our
// own constellation, deterministic for a given seed.
//
// Truth model. Satellite orbits and clocks are the broadcast-ephemeris
// evaluation of the nearest ephemeris (all ephemerides of a satellite
// describe one continuous orbit). Observations are the geometric range at
// the transmit time (earth rotation during the signal's flight included),
// the satellite clock with its group delay, a receiver clock with drift and
// random walk, a Saastamoinen troposphere, the broadcast (Klobuchar)
// ionosphere with opposite signs on code and phase scaled by frequency,
// integer ambiguities and white noise.
//
// All functions may be called from any thread; nothing is shared between
// calls except the read-only constellation. One ObservationSimulator is
// used by one thread at a time.
//
// Example (CMake target stanvex_sim): a one-second day of a station.
//   stanvex::sim::Station station{"test", 46.5, 7.25, 850.0};
//   stanvex::sim::ObservationOptions o;
//   o.startGps = stanvex::sim::GpsSecondsOfDate(2021, 1, 3);
//   o.duration = 86400;
//   o.interval = 1;
//   o.slips.slipsPerSatelliteHour = 0.2;
//   std::string error;
//   if (!SimulateStationFiles(station, o, "test0030.21o", "test0030.21n", &error)) ...
// StationPosition(station) is the exact position a solution should find.
// sample_archive.h writes whole archives; crinex_encoder.h, lzw_compress.h
// and packing.h pack single files.
#ifndef STANVEX_SIM_SIMULATOR_H
#define STANVEX_SIM_SIMULATOR_H

#include <cstdint>
#include <string>
#include <vector>

#include "ephemeris.h"
#include "geodesy.h"
#include "random.h"
#include "sim_time.h"

namespace stanvex::sim {

struct Station {
  std::string name;  // four characters, used as MARKER NAME
  double latDeg = 0, lonDeg = 0, heightM = 0;  // WGS84, south/west negative
};

struct SlipOptions {
  // Expected cycle slips per tracked satellite and hour (both phases jump
  // by whole cycles; the loss-of-lock indicator is set on that epoch).
  double slipsPerSatelliteHour = 0;
  // Expected tracking losses per satellite and hour: the satellite is
  // missing for outageEpochs epochs and comes back with new ambiguities
  // and loss of lock set.
  double outagesPerSatelliteHour = 0;
  int outageEpochs = 4;
  // A receiver gap: no epochs at all from receiverGapStart seconds after
  // the start for receiverGapLength seconds (negative start: no gap). The
  // first epoch after it carries epoch flag 1 and loss of lock on every phase.
  double receiverGapStart = -1;
  double receiverGapLength = 0;
};

struct ObservationOptions {
  int64_t startGps = 0;    // GPS seconds of the first epoch
  double duration = 86400;  // epochs are start + k * interval, k >= 0, before start + duration
  double interval = 30;     // seconds, > 0
  uint64_t seed = 1;
  double elevationMaskDeg = 10;
  // L2 is tracked only above this elevation (its fields are blank below).
  double l2MaskDeg = 12;
  SlipOptions slips;
  bool writeReceiverClock = true;  // clock offset in columns 69-80 of each epoch line
  // Offset of the header's APPROX POSITION XYZ from the true position, metres
  // along each axis (the default is a few metres, as a receiver's own
  // estimate would be).
  Vec3 approxPositionOffset{2.1, -1.7, 3.2};
  // Fill the Doppler values (RINEX 3 files carry them). Their noise comes
  // from a generator of its own, so the other observations are the same
  // with and without them.
  bool doppler = false;
};

// Observation types in file order.
enum ObsType { kC1 = 0, kP1, kL1, kL2, kP2, kS1, kS2, kObsTypeCount };
extern const char* const kObsTypeNames[kObsTypeCount];

struct SatelliteObservation {
  int prn = 0;
  double elevationDeg = 0;
  double value[kObsTypeCount] = {};
  bool present[kObsTypeCount] = {};
  int lli[kObsTypeCount] = {};  // 0 or 1 (loss of lock), phases only
  int ssi[kObsTypeCount] = {};  // 0 (blank) or 1-9
  // Doppler shifts in Hz (positive while the satellite approaches), when
  // ObservationOptions::doppler is set; the L2 one only with L2 present.
  double dopplerL1 = 0, dopplerL2 = 0;
};

struct Epoch {
  SimTime time;           // receiver time of the epoch
  int flag = 0;           // RINEX epoch flag (0, or 1 after a receiver gap)
  double receiverClock = 0;  // seconds; the epoch is this much late against GPS time
  std::vector<SatelliteObservation> satellites;  // PRN order
};

// Generates the epochs of one station in order.
class ObservationSimulator {
 public:
  ObservationSimulator(const Station& station, const ObservationOptions& options);
  // Fills the next epoch; false when the duration is over.
  bool Next(Epoch* epoch);
  const Vec3& TruePosition() const { return position_; }

 private:
  struct Track {
    bool visible = false;
    int outageLeft = 0;
    bool lostLock = false;
    bool l2Tracked = false;
    bool l2Seen = false;  // L2 was tracked since the satellite rose
    bool l2LostLock = false;
    double n1 = 0, n2 = 0;
  };
  void Observe(int prn, const SimTime& receiveTime, double receiverClock, Track* track,
               SatelliteObservation* out, bool* visible);

  Station station_;
  Geodetic geodetic_;
  ObservationOptions options_;
  Vec3 position_;
  uint64_t index_ = 0;
  double clockWalk_ = 0;
  double clockBias_ = 0, clockDrift_ = 0;
  bool afterGap_ = false;
  std::vector<Track> tracks_;  // by PRN, 0..32
  std::vector<Ephemeris> ephemerides_;  // by PRN: the last one used
  Random random_;
  Random dopplerRandom_;
};

// ---- RINEX text -------------------------------------------------------------

// The observation header for files starting at firstEpoch.
std::string ObservationHeader(const Station& station, const ObservationOptions& options,
                              const Vec3& truePosition, const SimTime& firstEpoch);
// The RINEX 2.11 text of one epoch (epoch line, continuation lines, records).
std::string FormatEpoch(const Epoch& epoch, bool withClock);

// Navigation header; program date and leap seconds follow firstEpoch.
std::string NavigationHeader(const SimTime& firstEpoch);
// RINEX 2 navigation text of every ephemeris of the constellation whose time
// of ephemeris lies in [start, start + duration), in time then PRN order.
std::string NavigationBody(int64_t startGps, double duration);

// ---- files -----------------------------------------------------------------

// Writes the RINEX observation file of station for options to path.
// False with a message in *error when the file cannot be written.
bool WriteObservationFile(const Station& station, const ObservationOptions& options,
                          const std::string& path, std::string* error);

// Writes the navigation file for [startGps, startGps + duration); the first
// ephemeris is the last one issued at or before startGps.
bool WriteNavigationFile(int64_t startGps, double duration, const std::string& path,
                         std::string* error);

// Both files for one station: what tests and benchmarks need in one call.
bool SimulateStationFiles(const Station& station, const ObservationOptions& options,
                          const std::string& obsPath, const std::string& navPath,
                          std::string* error);

// The true ECEF position of a station.
Vec3 StationPosition(const Station& station);

}  // namespace stanvex::sim

#endif  // STANVEX_SIM_SIMULATOR_H
