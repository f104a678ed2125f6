#include "carrier_smoothing.h"

#include <cmath>

#include "orbit.h"

namespace rin2obn {
namespace {

constexpr double kLambda1 = kSpeedOfLight / kFrequencyL1;
constexpr double kLambda2 = kSpeedOfLight / kFrequencyL2;
constexpr double kGamma1 = kFrequencyL1 * kFrequencyL1 /
                           (kFrequencyL1 * kFrequencyL1 - kFrequencyL2 * kFrequencyL2);
constexpr double kGamma2 = 1.0 - kGamma1;
constexpr double kIonoFreeWindow = 1800.0;  // seconds of smoothing at most
constexpr double kL1Window = 100.0;
constexpr double kMaxGap = 61.0;               // seconds without data that end an arc
constexpr double kGeometryFreeJump = 0.15;     // metres between epochs: a cycle slip
constexpr double kCodeMinusPhaseJump = 15.0;   // metres: a slip or a clock jump

// Runs one step of the filter on arc; returns the smoothed range.
double Step(CarrierSmoother::Arc& a, double t, double code, double phase, double window,
            bool restart) {
  if (a.active && !restart) {
    const double predicted = a.smoothed + (phase - a.lastPhase);
    if (std::fabs(code - predicted) > kCodeMinusPhaseJump) restart = true;
  }
  const double step = a.active ? t - a.lastTime : 0.0;
  if (!a.active || restart || step <= 0.0 || step > kMaxGap) {
    a.active = true;
    a.count = 1;
    a.smoothed = code;
  } else {
    // The window is a time: its length in epochs follows the data interval.
    int limit = static_cast<int>(window / step);
    if (limit < 1) limit = 1;
    if (a.count < limit) ++a.count;
    const double n = static_cast<double>(a.count);
    a.smoothed = code / n + (n - 1.0) / n * (a.smoothed + (phase - a.lastPhase));
  }
  a.lastPhase = phase;
  a.lastTime = t;
  return a.smoothed;
}

}  // namespace

SmoothedRanges CarrierSmoother::Update(double t, const SmoothingInput& in) {
  SmoothedRanges out;
  if (in.prn < 1 || in.prn > 99) return out;
  if (arcs_.size() <= static_cast<size_t>(in.prn)) arcs_.resize(static_cast<size_t>(in.prn) + 1);
  State& state = arcs_[static_cast<size_t>(in.prn)];
  const bool haveL1 = in.p1 != 0.0 && in.l1 != 0.0;
  if (haveL1 && in.p2 != 0.0 && in.l2 != 0.0) {
    Arc& a = state.ionoFree;
    const double code = kGamma1 * in.p1 + kGamma2 * in.p2;
    const double phase = kGamma1 * kLambda1 * in.l1 + kGamma2 * kLambda2 * in.l2;
    const double geometryFree = kLambda1 * in.l1 - kLambda2 * in.l2;
    bool restart = in.l1Slip || in.l2Slip;
    if (a.active && std::fabs(geometryFree - a.lastGeometryFree) > kGeometryFreeJump) restart = true;
    out.ionoFree = Step(a, t, code, phase, kIonoFreeWindow, restart);
    a.lastGeometryFree = geometryFree;
  } else {
    state.ionoFree.active = false;
  }
  if (haveL1) {
    Arc& a = state.l1;
    out.l1 = Step(a, t, in.p1, kLambda1 * in.l1, kL1Window, in.l1Slip);
  } else {
    state.l1.active = false;
  }
  return out;
}

}  // namespace rin2obn
