#include "interpolator.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace intobn {

using stanvex::ObnMeasurementRecord;
using stanvex::ObnPositionRecord;

namespace {

constexpr int kMaxStencil = 8;
constexpr double kTimeEpsilon = 1e-6;  // seconds: times closer than this coincide
// Scatter, metres, of range minus phase about a straight line below which
// ranges count as carrier-smoothed (raw code noise is decimetres).
constexpr double kSmoothRangeScatter = 0.15;

// The carried observables. Records are packed, so their doubles are read by
// name (the compiler then knows they may be unaligned), never through
// pointers to members.
enum class Observable { kL1Phase, kL2Phase, kL1Range, kL2Range };

double Value(const ObnMeasurementRecord& m, Observable which) {
  switch (which) {
    case Observable::kL1Phase: return m.l1Phase;
    case Observable::kL2Phase: return m.l2Phase;
    case Observable::kL1Range: return m.l1Range;
    case Observable::kL2Range: return m.l2Range;
  }
  return 0.0;
}

const ObnMeasurementRecord* FindSatellite(const InputEpoch& epoch, uint8_t prn) {
  for (const ObnMeasurementRecord& m : epoch.satellites)
    if (m.prn == prn) return &m;
  return nullptr;
}

bool Has(const ObnMeasurementRecord* m, uint8_t missingBit) {
  return m != nullptr && (m->lockFlags & missingBit) == 0;
}

// The part of the prediction residuals common to all satellites: the median
// of the largest group of residuals that agree within threshold. Satellites
// with a jump fall outside it however many of them there are, as long as the
// clean ones are the largest group. With fewer than three residuals there is
// no majority to trust, and 0 is used.
double CommonPart(const std::vector<double>& residuals, double threshold) {
  if (residuals.size() < 3) return 0.0;
  size_t best = 0;
  double bestCentre = 0.0;
  for (double centre : residuals) {
    size_t members = 0;
    for (double r : residuals) members += std::fabs(r - centre) <= threshold;
    if (members > best || (members == best && std::fabs(centre) < std::fabs(bestCentre))) {
      best = members;
      bestCentre = centre;
    }
  }
  std::vector<double> group;
  for (double r : residuals)
    if (std::fabs(r - bestCentre) <= threshold) group.push_back(r);
  std::nth_element(group.begin(), group.begin() + group.size() / 2, group.end());
  return group[group.size() / 2];
}

// The stencil chosen for the new epochs between input epochs i and i + 1.
struct Stencil {
  int first = 0;
  int size = 0;
  double times[kMaxStencil] = {};  // relative to the first epoch's time
  double base = 0.0;               // time of the first epoch
};

class GapInterpolator {
 public:
  GapInterpolator(const std::vector<InputEpoch>& epochs, const Settings& settings, Stats& stats)
      : epochs_(epochs), settings_(settings), stats_(stats) {
    for (double& threshold : thresholds_) threshold = settings.jumpThreshold;
  }

  // Chooses the stencil for the gap after epoch i: the centred one when its
  // timing is acceptable, otherwise the nearest shifted one that still holds
  // epochs i and i + 1. False when none fits.
  bool ChooseStencil(int i, Stencil& stencil) const {
    const int n = settings_.stencilPoints;
    const int count = static_cast<int>(epochs_.size());
    if (count < n) return false;
    const int centred = std::clamp(i - (n / 2 - 1), 0, count - n);
    const int lowest = std::max(0, i + 2 - n);
    const int highest = std::min(i, count - n);
    for (int shift = 0; shift < n; ++shift) {
      for (int sign : {-1, 1}) {
        if (shift == 0 && sign == 1) continue;
        int first = centred + sign * shift;
        if (first < lowest || first > highest) continue;
        if (TimingAcceptable(first)) {
          stencil.first = first;
          stencil.size = n;
          stencil.base = epochs_[first].time;
          for (int j = 0; j < n; ++j) stencil.times[j] = epochs_[first + j].time - stencil.base;
          return true;
        }
      }
    }
    return false;
  }

  // Learns how closely each satellite's stencils predict their neighbours on
  // this file (receiver noise differs between receivers and satellites), so
  // that the jump test is as tight as the data allow: the threshold of a
  // satellite is kNoiseMultiple robust standard deviations of its residuals,
  // within [minJumpThreshold, jumpThreshold]. Jumps are rare, so they do not
  // move the median the estimate rests on.
  // Returns false when progress asks to stop (it is told 0 now and then).
  bool LearnNoise(const ProgressSink& progress) {
    std::vector<std::vector<float>> deviations(256);
    std::vector<float> all;
    const int count = static_cast<int>(epochs_.size());
    for (int i = 0; i + 1 < count; ++i) {
      if (i % 256 == 255 && !progress(0.0)) return false;
      Stencil stencil;
      if (!ChooseStencil(i, stencil)) continue;
      std::vector<Candidate> candidates = Candidates(i, stencil, false);
      ForEachDeviation(stencil, candidates, [&](Candidate& c, double deviation) {
        deviations[c.prn].push_back(static_cast<float>(std::fabs(deviation)));
        all.push_back(static_cast<float>(std::fabs(deviation)));
      });
    }
    const double pooled = all.empty() ? 0.0 : MedianOf(all);
    for (size_t prn = 0; prn < deviations.size(); ++prn) {
      const double median = deviations[prn].size() >= kMinNoiseSamples ? MedianOf(deviations[prn])
                                                                        : pooled;
      // 1.4826 * median(|x|) estimates sigma for normal noise.
      thresholds_[prn] = std::clamp(kNoiseMultiple * 1.4826 * median,
                                    settings_.minJumpThreshold, settings_.jumpThreshold);
    }
    return true;
  }

  // Fills out (one vector per new time) with the interpolated records of
  // every satellite of epoch i that passes the checks.
  void InterpolateSatellites(int i, const Stencil& stencil, const std::vector<double>& newTimes,
                             std::vector<std::vector<ObnMeasurementRecord>>& out) {
    const InputEpoch& left = epochs_[i];
    const InputEpoch& right = epochs_[i + 1];
    const int n = stencil.size;
    std::vector<Candidate> candidates = Candidates(i, stencil, true);
    ForEachDeviation(stencil, candidates, [&](Candidate& c, double deviation) {
      if (std::fabs(deviation) <= thresholds_[c.prn]) c.clean = true;
    });

    for (const Candidate& c : candidates) {
      if (!c.clean) {
        ++stats_.jumpLeftOut;
        continue;
      }
      const ObnMeasurementRecord* l = FindSatellite(left, c.prn);
      const ObnMeasurementRecord* r = FindSatellite(right, c.prn);
      const bool l2Phase = L2PhaseUsable(c.at, n, stencil, c.prn);
      const bool l1Range = RangeUsable(c.at, n, stanvex::kObnL1RangeMissing, true);
      const bool l2Range = RangeUsable(c.at, n, stanvex::kObnL2RangeMissing, false);
      for (size_t k = 0; k < newTimes.size(); ++k) {
        double weights[kMaxStencil];
        const double t = newTimes[k] - stencil.base;
        LagrangeWeights(stencil.times, n, t, weights);
        ObnMeasurementRecord m{};
        m.size = stanvex::kObnMeasurementSize;
        m.prn = c.prn;
        m.lockFlags = static_cast<uint8_t>(l->lockFlags & stanvex::kObnL1RangeIsP1);
        m.l1Phase = Combine(c.at, n, weights, Observable::kL1Phase);
        const double l1Metres = m.l1Phase * kL1Wavelength;
        if (l2Phase) m.l2Phase = Combine(c.at, n, weights, Observable::kL2Phase);
        else m.lockFlags |= stanvex::kObnL2PhaseMissing;
        if (l1Range) m.l1Range = l1Metres + RangeOffset(c.at, stencil, weights, t, Observable::kL1Range);
        else m.lockFlags |= stanvex::kObnL1RangeMissing;
        if (l2Range) m.l2Range = l1Metres + RangeOffset(c.at, stencil, weights, t, Observable::kL2Range);
        else m.lockFlags |= stanvex::kObnL2RangeMissing;
        const double fraction = (newTimes[k] - left.time) / (right.time - left.time);
        m.l1Snr = Blend(l->l1Snr, r ? r->l1Snr : l->l1Snr, fraction);
        m.l2Snr = Blend(l->l2Snr, r ? r->l2Snr : l->l2Snr, fraction);
        out[k].push_back(m);
      }
    }
  }

 private:
  static constexpr size_t kMinNoiseSamples = 8;

  struct Candidate {
    uint8_t prn = 0;
    const ObnMeasurementRecord* at[kMaxStencil] = {};
    bool clean = false;
  };

  // The satellites of epoch i present with L1 phase at every stencil epoch
  // and no L1 loss of lock on any step inside the stencil.
  std::vector<Candidate> Candidates(int i, const Stencil& stencil, bool count) {
    std::vector<Candidate> candidates;
    for (const ObnMeasurementRecord& m : epochs_[i].satellites) {
      Candidate c;
      c.prn = m.prn;
      bool usable = true;
      for (int j = 0; j < stencil.size && usable; ++j) {
        c.at[j] = FindSatellite(epochs_[stencil.first + j], m.prn);
        usable = Has(c.at[j], stanvex::kObnL1PhaseMissing) &&
                 (j == 0 || (c.at[j]->lockFlags & stanvex::kObnL1LossOfLock) == 0);
      }
      if (usable) candidates.push_back(c);
      else if (count) ++stats_.lockLeftOut;
    }
    return candidates;
  }

  // For each neighbour of the stencil (before, after) and each candidate
  // continuously tracked to it: how far the neighbour's L1 phase lies from the
  // stencil's polynomial, less the part common to all satellites.
  template <typename Visit>
  void ForEachDeviation(const Stencil& stencil, std::vector<Candidate>& candidates, Visit visit) {
    const int n = stencil.size;
    for (int extra : {stencil.first - 1, stencil.first + n}) {
      if (!NeighbourUsable(stencil, extra)) continue;
      double weights[kMaxStencil];
      LagrangeWeights(stencil.times, n, epochs_[extra].time - stencil.base, weights);
      // The epoch after a step carries the loss-of-lock flag of that step.
      const int flagged = extra < stencil.first ? stencil.first : extra;
      std::vector<double> residuals;
      std::vector<size_t> owners;
      for (size_t k = 0; k < candidates.size(); ++k) {
        const Candidate& c = candidates[k];
        const ObnMeasurementRecord* e = FindSatellite(epochs_[extra], c.prn);
        const ObnMeasurementRecord* f = FindSatellite(epochs_[flagged], c.prn);
        if (!Has(e, stanvex::kObnL1PhaseMissing) || (f->lockFlags & stanvex::kObnL1LossOfLock))
          continue;
        residuals.push_back(PredictionResidual(c.at, n, weights, e, kL1Wavelength, 0.0));
        owners.push_back(k);
      }
      if (residuals.empty()) continue;
      const double common = CommonPart(residuals, settings_.jumpThreshold);
      for (size_t r = 0; r < residuals.size(); ++r)
        visit(candidates[owners[r]], residuals[r] - common);
    }
  }

  static double MedianOf(std::vector<float>& values) {
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
  }

  bool TimingAcceptable(int first) const {
    const int n = settings_.stencilPoints;
    for (int j = 1; j < n; ++j) {
      double step = epochs_[first + j].time - epochs_[first + j - 1].time;
      if (step < kTimeEpsilon) return false;
      if (settings_.maxStepGap > 0 && step > settings_.maxStepGap) return false;
    }
    double span = epochs_[first + n - 1].time - epochs_[first].time;
    return settings_.maxStencilSpan <= 0 || span <= settings_.maxStencilSpan;
  }

  // Observed minus predicted, metres, at the neighbour e of a value
  // wavelength * field (minus l2Factor * L2 phase in metres for the
  // geometry-free combination).
  static double PredictionResidual(const ObnMeasurementRecord* const* at, int n,
                                   const double* weights, const ObnMeasurementRecord* e,
                                   double wavelength, double l2Factor) {
    auto value = [&](const ObnMeasurementRecord* m) {
      return (m->l1Phase - at[0]->l1Phase) * wavelength -
             l2Factor * (m->l2Phase - at[0]->l2Phase) * kL2Wavelength;
    };
    double predicted = 0.0;
    for (int j = 0; j < n; ++j) predicted += weights[j] * value(at[j]);
    return value(e) - predicted;
  }

  // L2 phase is usable when it is present without loss of lock over the
  // stencil and the geometry-free combination predicts one neighbour.
  bool L2PhaseUsable(const ObnMeasurementRecord* const* at, int n, const Stencil& stencil,
                     uint8_t prn) const {
    for (int j = 0; j < n; ++j) {
      if (!Has(at[j], stanvex::kObnL2PhaseMissing)) return false;
      if (j > 0 && (at[j]->lockFlags & stanvex::kObnL2LossOfLock)) return false;
    }
    for (int extra : {stencil.first - 1, stencil.first + n}) {
      if (!NeighbourUsable(stencil, extra)) continue;
      const ObnMeasurementRecord* e = FindSatellite(epochs_[extra], prn);
      const int flagged = extra < stencil.first ? stencil.first : extra;
      const ObnMeasurementRecord* f = FindSatellite(epochs_[flagged], prn);
      if (!Has(e, stanvex::kObnL2PhaseMissing) || (f->lockFlags & stanvex::kObnL2LossOfLock))
        continue;
      double weights[kMaxStencil];
      LagrangeWeights(stencil.times, n, epochs_[extra].time - stencil.base, weights);
      // Geometry-free: clock, geometry and the common part all cancel.
      if (std::fabs(PredictionResidual(at, n, weights, e, kL1Wavelength, 1.0)) <= thresholds_[prn])
        return true;
    }
    return false;
  }

  // True when epoch extra exists and is near enough to the stencil to check it.
  bool NeighbourUsable(const Stencil& stencil, int extra) const {
    if (extra < 0 || extra >= static_cast<int>(epochs_.size())) return false;
    const int inner = extra < stencil.first ? stencil.first : stencil.first + stencil.size - 1;
    const double step = std::fabs(epochs_[extra].time - epochs_[inner].time);
    return step >= kTimeEpsilon && (settings_.maxStepGap <= 0 || step <= settings_.maxStepGap);
  }

  static bool RangeUsable(const ObnMeasurementRecord* const* at, int n, uint8_t missingBit,
                          bool checkKind) {
    for (int j = 0; j < n; ++j) {
      if (!Has(at[j], missingBit)) return false;
      if (checkKind && ((at[j]->lockFlags ^ at[0]->lockFlags) & stanvex::kObnL1RangeIsP1))
        return false;  // the range changed kind inside the stencil
    }
    return true;
  }

  static double Combine(const ObnMeasurementRecord* const* at, int n, const double* weights,
                        Observable field) {
    const double origin = Value(*at[0], field);
    double sum = 0.0;
    for (int j = 0; j < n; ++j) sum += weights[j] * (Value(*at[j], field) - origin);
    return origin + sum;
  }

  // Range minus L1 phase (metres) at t. It changes slowly (twice the
  // ionosphere), so what is left around a straight line fitted over the
  // stencil is range noise: when that is large (raw ranges) the line is used,
  // which averages the noise; when it is small (carrier-smoothed ranges) the
  // stencil's polynomial is, which follows the smoothing filter exactly.
  static double RangeOffset(const ObnMeasurementRecord* const* at, const Stencil& stencil,
                            const double* weights, double t, Observable field) {
    const int n = stencil.size;
    double meanT = 0.0, meanD = 0.0;
    double d[kMaxStencil];
    for (int j = 0; j < n; ++j) {
      d[j] = Value(*at[j], field) - at[j]->l1Phase * kL1Wavelength;
      meanT += stencil.times[j];
      meanD += d[j];
    }
    meanT /= n;
    meanD /= n;
    double stt = 0.0, std_ = 0.0;
    for (int j = 0; j < n; ++j) {
      stt += (stencil.times[j] - meanT) * (stencil.times[j] - meanT);
      std_ += (stencil.times[j] - meanT) * (d[j] - meanD);
    }
    const double slope = stt > 0 ? std_ / stt : 0.0;
    double scatter = 0.0;
    for (int j = 0; j < n; ++j) {
      const double off = d[j] - (meanD + slope * (stencil.times[j] - meanT));
      scatter += off * off;
    }
    if (n > 2 && std::sqrt(scatter / (n - 2)) < kSmoothRangeScatter) {
      double sum = 0.0;
      for (int j = 0; j < n; ++j) sum += weights[j] * (d[j] - d[0]);
      return d[0] + sum;
    }
    return meanD + slope * (t - meanT);
  }

  static float Blend(float a, float b, double fraction) {
    if (a == 0.0f || b == 0.0f) return a;  // 0 means unknown
    return static_cast<float>(a + (b - a) * fraction);
  }

  const std::vector<InputEpoch>& epochs_;
  const Settings& settings_;
  Stats& stats_;
  double thresholds_[256];
};

// The position record of a new epoch at continuous time t between left and
// right: continuous values linear in time, a solution only when both sides
// have one.
ObnPositionRecord InterpolatePosition(const InputEpoch& left, const InputEpoch& right, double t,
                                      int count) {
  const ObnPositionRecord& a = left.position;
  const ObnPositionRecord& b = right.position;
  const double f = (t - left.time) / (right.time - left.time);
  auto lerp = [f](double x, double y) { return x + (y - x) * f; };
  ObnPositionRecord p = a;
  p.size = stanvex::kObnPositionSize;
  p.count = static_cast<int8_t>(count);
  const bool solved = (a.flags & 1u) && (b.flags & 1u);
  p.flags = static_cast<uint8_t>((a.flags & ~1u) | (solved ? 1u : 0u));
  // Whole weeks between the left epoch and t, for a new epoch past the week's end.
  const double weeks = std::floor(t / kSecondsPerWeek) - std::floor(left.time / kSecondsPerWeek);
  p.week = static_cast<uint16_t>(a.week + static_cast<int>(weeks));
  p.satellites = std::min(a.satellites, b.satellites);
  p.epochFlag = 0;
  p.position1 = lerp(a.position1, b.position1);
  p.position2 = lerp(a.position2, b.position2);
  p.height = static_cast<float>(lerp(a.height, b.height));
  p.time = SecondsOfWeek(t);
  p.clockOffset = lerp(a.clockOffset, b.clockOffset);
  p.pdop = static_cast<float>(lerp(a.pdop, b.pdop));
  p.rms = static_cast<float>(lerp(a.rms, b.rms));
  std::memset(p.reserved, 0, sizeof p.reserved);
  return p;
}

// The times strictly between a and b whose seconds of week are multiples of
// interval (each week's grid starts again at its own second 0).
std::vector<double> GridTimes(double a, double b, double interval) {
  std::vector<double> times;
  for (double week = std::floor(a / kSecondsPerWeek) * kSecondsPerWeek; week < b;
       week += kSecondsPerWeek) {
    const double from = std::max(a, week) - week;
    const double to = std::min(b, week + kSecondsPerWeek) - week;
    for (double k = std::floor(from / interval); k * interval < to - kTimeEpsilon; ++k) {
      const double t = k * interval;
      if (week + t > a + kTimeEpsilon) times.push_back(week + t);
    }
  }
  return times;
}

}  // namespace

void LagrangeWeights(const double* times, int n, double t, double* weights) {
  for (int j = 0; j < n; ++j) {
    double w = 1.0;
    for (int m = 0; m < n; ++m)
      if (m != j) w *= (t - times[m]) / (times[j] - times[m]);
    weights[j] = w;
  }
}

double SecondsOfWeek(double continuousTime) {
  double sow = std::fmod(continuousTime, kSecondsPerWeek);
  if (sow < 0) sow += kSecondsPerWeek;
  return sow;
}

bool Interpolate(const std::vector<InputEpoch>& epochs, const Settings& settings,
                 const EpochSink& sink, const ProgressSink& progress, Stats* statsOut) {
  Stats local;
  Stats& stats = statsOut ? *statsOut : local;
  stats = Stats{};
  stats.inputEpochs = static_cast<long>(epochs.size());
  GapInterpolator gaps(epochs, settings, stats);
  if (!gaps.LearnNoise(progress)) return false;
  const size_t count = epochs.size();
  for (size_t i = 0; i < count; ++i) {
    const InputEpoch& epoch = epochs[i];
    ObnPositionRecord position = epoch.position;
    if (!sink(position, epoch.satellites.data(), static_cast<int>(epoch.satellites.size())))
      return false;
    if (i + 1 < count) {
      std::vector<double> times = GridTimes(epoch.time, epochs[i + 1].time, settings.outputInterval);
      if (!times.empty()) {
        std::vector<std::vector<ObnMeasurementRecord>> satellites(times.size());
        Stencil stencil;
        if (gaps.ChooseStencil(static_cast<int>(i), stencil))
          gaps.InterpolateSatellites(static_cast<int>(i), stencil, times, satellites);
        for (size_t k = 0; k < times.size(); ++k) {
          std::vector<ObnMeasurementRecord>& list = satellites[k];
          if (list.size() > static_cast<size_t>(settings.maxChannels))
            list.resize(static_cast<size_t>(settings.maxChannels));
          if (list.empty()) {
            ++stats.emptyEpochs;
            continue;
          }
          ObnPositionRecord p = InterpolatePosition(epoch, epochs[i + 1], times[k],
                                                    static_cast<int>(list.size()));
          if (!sink(p, list.data(), static_cast<int>(list.size()))) return false;
          ++stats.newEpochs;
          stats.valuesWritten += static_cast<long>(list.size());
        }
      }
    }
    if (!progress(static_cast<double>(i + 1) / static_cast<double>(count))) return false;
  }
  return true;
}

}  // namespace intobn
