// Interpolation of an OBN observation sequence to a finer interval.
//
// Every input epoch is passed on unchanged; between two input epochs the new
// epochs on the output grid (the multiples of the output interval) are added.
// For each new epoch one stencil of input epochs is chosen, the same for every
// satellite so that errors common to all satellites (the receiver clock)
// cancel between satellites. Per satellite, each carried observable is
// interpolated with the Lagrange polynomial through the stencil, only when:
//   - the satellite and its L1 phase are present at every stencil epoch, with
//     no loss of lock flagged inside the stencil;
//   - no step of the stencil exceeds maxStepGap and its span is at most
//     maxStencilSpan (values are never extrapolated);
//   - the stencil's polynomial predicts one of the neighbouring input epochs
//     (just before or just after it) within the satellite's jump threshold
//     once the part common to all satellites is removed. This is how cycle slips and phase
//     jumps that the receiver did not flag are found: a jump inside the
//     stencil bends the polynomial away from the neighbour.
// L2 phase is kept only when the geometry-free combination passes the same
// prediction test; ranges follow the interpolated L1 phase plus a straight
// line fitted to range-minus-phase over the stencil, which is smooth and so
// averages the range noise instead of amplifying it. A satellite whose L1
// phase cannot be interpolated is left out; a new epoch left with no
// satellite is not produced.
#ifndef STANVEX_LIBS_INTOBN_INTERPOLATOR_H
#define STANVEX_LIBS_INTOBN_INTERPOLATOR_H

#include <functional>
#include <vector>

#include "gnss/gps_time.h"
#include "gnss/wgs84.h"
#include "obn_format.h"

namespace intobn {

using stanvex::gnss::kSpeedOfLight;
constexpr double kL1Wavelength = kSpeedOfLight / 1575.42e6;  // metres
constexpr double kL2Wavelength = kSpeedOfLight / 1227.60e6;
constexpr double kSecondsPerWeek = static_cast<double>(stanvex::gnss::kSecondsPerWeek);
// Bounds of the largest prediction residual, metres, of a clean stencil
// (after removing the part common to all satellites). Predicting a neighbour
// 30 s away multiplies receiver phase noise by about 8, so 3 mm of noise
// gives residuals near 3 cm; a satellite's bound is kNoiseMultiple times its
// own noise there, clamped to these. A jump inside the stencil moves the
// residual by at least its own size.
constexpr double kMinJumpThreshold = 0.06;
constexpr double kJumpThreshold = 0.30;
constexpr double kNoiseMultiple = 5.0;

struct InputEpoch {
  stanvex::ObnPositionRecord position;
  std::vector<stanvex::ObnMeasurementRecord> satellites;
  double time;  // seconds of week plus whole weeks since the first epoch
};

struct Settings {
  double outputInterval = 0.0;  // seconds, > 0
  int stencilPoints = 4;        // 2..8
  double maxStencilSpan = 200.0;  // seconds, 0: no limit
  double maxStepGap = 180.0;      // seconds, 0: no limit
  int maxChannels = stanvex::kObnWriterChannels;  // most satellites of a new epoch
  double minJumpThreshold = kMinJumpThreshold;
  double jumpThreshold = kJumpThreshold;
};

struct Stats {
  long inputEpochs = 0;
  long newEpochs = 0;          // written
  long emptyEpochs = 0;        // new grid times left with no satellite
  long valuesWritten = 0;      // satellites written in new epochs
  long lockLeftOut = 0;        // satellite left out: loss of lock, absent or gap
  long jumpLeftOut = 0;        // satellite left out: an unflagged jump
};

// Receives each output epoch in time order. Returns false to end the run
// (write failure or stop).
using EpochSink = std::function<bool(const stanvex::ObnPositionRecord& position,
                                     const stanvex::ObnMeasurementRecord* satellites, int count)>;
// Told the fraction (0..1) of the work done after each input epoch. Returns
// false to end the run.
using ProgressSink = std::function<bool(double fraction)>;

// Runs the interpolation over epochs (times increasing). Returns false when a
// sink ended the run; stats (when not null) holds the counts so far.
bool Interpolate(const std::vector<InputEpoch>& epochs, const Settings& settings,
                 const EpochSink& sink, const ProgressSink& progress, Stats* stats);

// Weights of the Lagrange polynomial through times[0..n-1] evaluated at t.
void LagrangeWeights(const double* times, int n, double t, double* weights);

// Seconds of week (time) for a continuous time of the kind InputEpoch holds.
double SecondsOfWeek(double continuousTime);

}  // namespace intobn

#endif  // STANVEX_LIBS_INTOBN_INTERPOLATOR_H
