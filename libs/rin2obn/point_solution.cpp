#include "point_solution.h"

#include <cmath>

#include "geodesy.h"
#include "gnss_time.h"

namespace rin2obn {
namespace {

constexpr int kMaxIterations = 12;
constexpr int kMaxDropped = 3;
constexpr double kRangeSigmaL1 = 0.3;        // metres, code noise at the zenith
constexpr double kRangeSigmaIonoFree = 0.9;  // the combination amplifies the noise
constexpr double kResidualLimit = 10.0;      // metres: larger post-fit residuals are suspect
constexpr double kMaxPdop = 50.0;
constexpr int kEnoughDualFrequency = 5;
constexpr double kIonosphereModelError = 0.5;  // share of the modelled delay
constexpr double kMaxRms = 50.0;

struct Candidate {
  size_t observation;
  double satellite[3];
  double clock;  // seconds, including the group delay for L1-only ranges
  double range;  // metres
  bool ionoFree;
  bool active;
};

bool InvertSymmetric4(const double in[16], double out[16]) {
  double a[4][8];
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 8; ++c) a[r][c] = c < 4 ? in[r * 4 + c] : (c - 4 == r ? 1.0 : 0.0);
  for (int col = 0; col < 4; ++col) {
    int pivot = col;
    for (int r = col + 1; r < 4; ++r)
      if (std::fabs(a[r][col]) > std::fabs(a[pivot][col])) pivot = r;
    if (std::fabs(a[pivot][col]) < 1e-30) return false;
    if (pivot != col)
      for (int c = 0; c < 8; ++c) std::swap(a[pivot][c], a[col][c]);
    const double scale = 1.0 / a[col][col];
    for (int c = 0; c < 8; ++c) a[col][c] *= scale;
    for (int r = 0; r < 4; ++r) {
      if (r == col || a[r][col] == 0.0) continue;
      const double f = a[r][col];
      for (int c = 0; c < 8; ++c) a[r][c] -= f * a[col][c];
    }
  }
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) out[r * 4 + c] = a[r][c + 4];
  return true;
}

bool PlausibleRange(double range) { return range > 1.5e7 && range < 3.5e7; }

struct Row {
  size_t candidate;
  double h[4];
  double residual;
  double sigma;
};

// One linearisation at receiver position x and clock cdt: the rows of the
// active candidates above the mask (all of them while the position is not
// yet known), with elevations stored into the observations.
void BuildRows(const std::vector<Candidate>& candidates, const SolverSettings& settings, double t,
               const double x[3], double cdt, std::vector<RangeObservation>& observations,
               std::vector<Row>& rows) {
  rows.clear();
  const bool known = std::sqrt(x[0] * x[0] + x[1] * x[1] + x[2] * x[2]) > 6.0e6;
  const Geodetic g = known ? EcefToGeodetic(x) : Geodetic{0.0, 0.0, 0.0};
  const double secondsOfWeek = SecondsOfWeekOf(t);
  for (size_t i = 0; i < candidates.size(); ++i) {
    const Candidate& c = candidates[i];
    // The earth turns while the signal travels: express the satellite's
    // position in the frame of the reception instant.
    const double d0[3] = {c.satellite[0] - x[0], c.satellite[1] - x[1], c.satellite[2] - x[2]};
    const double travel = std::sqrt(d0[0] * d0[0] + d0[1] * d0[1] + d0[2] * d0[2]) / kSpeedOfLight;
    const double angle = kEarthRotationRate * travel;
    const double s[3] = {std::cos(angle) * c.satellite[0] + std::sin(angle) * c.satellite[1],
                         -std::sin(angle) * c.satellite[0] + std::cos(angle) * c.satellite[1],
                         c.satellite[2]};
    const double d[3] = {s[0] - x[0], s[1] - x[1], s[2] - x[2]};
    const double r = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    double elevation = kGpsPi / 2.0;
    double delay = 0.0;
    double ionosphere = 0.0;
    if (known) {
      double azimuth = 0.0;
      AzimuthElevation(g, x, s, azimuth, elevation);
      observations[c.observation].elevation = elevation;
      if (elevation < settings.elevationMask) continue;
      delay = SaastamoinenDelay(g, elevation);
      if (!c.ionoFree && settings.haveIon)
        ionosphere = KlobucharDelay(settings.ionAlpha, settings.ionBeta, g, azimuth, elevation,
                                    secondsOfWeek);
      delay += ionosphere;
    }
    if (!c.active) continue;
    Row row;
    row.candidate = i;
    for (int k = 0; k < 3; ++k) row.h[k] = -d[k] / r;
    row.h[3] = 1.0;
    row.residual = c.range + kSpeedOfLight * c.clock - (r + cdt) - delay;
    const double sinE = std::sin(elevation);
    const double base = c.ionoFree ? kRangeSigmaIonoFree : kRangeSigmaL1;
    // Smoothed dual-frequency ranges are left with errors of the broadcast
    // orbits and clocks that do not grow at low elevation, so they are
    // weighted more evenly than single-frequency ones, whose ionosphere
    // model error does.
    const double evenness = c.ionoFree ? 9.0 : 1.0;
    row.sigma = base * std::sqrt(evenness + 1.0 / (sinE * sinE));
    // The broadcast ionosphere model removes about half of the delay: what
    // it leaves is the larger error of a single-frequency range.
    if (!c.ionoFree)
      row.sigma = std::sqrt(row.sigma * row.sigma +
                            kIonosphereModelError * kIonosphereModelError * ionosphere * ionosphere);
    rows.push_back(row);
  }
}

// One weighted least-squares step; false when the geometry is singular.
bool SolveStep(const std::vector<Row>& rows, double dx[4]) {
  double n[16] = {0};
  double b[4] = {0};
  for (const Row& row : rows) {
    const double w = 1.0 / (row.sigma * row.sigma);
    for (int i = 0; i < 4; ++i) {
      b[i] += w * row.h[i] * row.residual;
      for (int j = 0; j < 4; ++j) n[i * 4 + j] += w * row.h[i] * row.h[j];
    }
  }
  double q[16];
  if (!InvertSymmetric4(n, q)) return false;
  for (int i = 0; i < 4; ++i) {
    dx[i] = 0.0;
    for (int j = 0; j < 4; ++j) dx[i] += q[i * 4 + j] * b[j];
  }
  return true;
}

double PositionDop(const std::vector<Row>& rows) {
  double n[16] = {0};
  for (const Row& row : rows)
    for (int i = 0; i < 4; ++i)
      for (int j = 0; j < 4; ++j) n[i * 4 + j] += row.h[i] * row.h[j];
  double q[16];
  if (!InvertSymmetric4(n, q)) return 1e9;
  const double sum = q[0] + q[5] + q[10];
  return sum > 0.0 ? std::sqrt(sum) : 1e9;
}

}  // namespace

PointSolution SolveEpoch(const EphemerisStore& store, const SolverSettings& settings, double t,
                         const double initial[3], std::vector<RangeObservation>& observations) {
  PointSolution solution;
  std::vector<Candidate> candidates;
  candidates.reserve(observations.size());
  constexpr double f1 = kFrequencyL1 * kFrequencyL1;
  constexpr double f2 = kFrequencyL2 * kFrequencyL2;
  for (size_t i = 0; i < observations.size(); ++i) {
    RangeObservation& o = observations[i];
    o.elevation = -10.0;
    o.used = false;
    if (!PlausibleRange(o.l1Range)) continue;
    const Ephemeris* eph = store.Select(o.prn, t);
    if (eph == nullptr) continue;
    // Transmission time from the range, corrected by the satellite clock.
    double transmit = t - o.l1Range / kSpeedOfLight;
    transmit -= ClockPolynomial(*eph, transmit);
    const SatelliteState state = ComputeSatellite(*eph, transmit);
    Candidate c;
    c.observation = i;
    for (int k = 0; k < 3; ++k) c.satellite[k] = state.position[k];
    // Both frequencies remove the ionosphere; the group delay then cancels.
    c.ionoFree = PlausibleRange(o.p2Range) && std::fabs(o.p2Range - o.l1Range) < 200.0;
    if (c.ionoFree) {
      c.range = o.smoothedIonoFree != 0.0 ? o.smoothedIonoFree
                                          : (f1 * o.l1Range - f2 * o.p2Range) / (f1 - f2);
      c.clock = state.clock;
    } else {
      c.range = o.smoothedL1 != 0.0 ? o.smoothedL1 : o.l1Range;
      c.clock = state.clock - eph->tgd;
    }
    c.active = true;
    candidates.push_back(c);
  }

  // With enough dual-frequency ranges the single-frequency ones, which carry
  // the broadcast ionosphere model's error, would only pull the solution.
  int dualFrequency = 0;
  for (const Candidate& c : candidates) dualFrequency += c.ionoFree ? 1 : 0;
  if (dualFrequency >= kEnoughDualFrequency)
    for (Candidate& c : candidates) c.active = c.ionoFree;

  double x[4] = {initial[0], initial[1], initial[2], 0.0};
  std::vector<Row> rows;
  int dropped = 0;
  bool converged = false;
  for (int iteration = 0; iteration < kMaxIterations * (kMaxDropped + 1); ++iteration) {
    BuildRows(candidates, settings, t, x, x[3], observations, rows);
    if (rows.size() < 4) return solution;
    double dx[4];
    if (!SolveStep(rows, dx)) return solution;
    for (int k = 0; k < 4; ++k) x[k] += dx[k];
    if (dx[0] * dx[0] + dx[1] * dx[1] + dx[2] * dx[2] > 1e-8) continue;
    // Converged: check the post-fit residuals and drop the worst satellite
    // when one stands out, then solve again without it.
    BuildRows(candidates, settings, t, x, x[3], observations, rows);
    if (rows.size() < 4) return solution;
    size_t worst = 0;
    double worstNormalised = -1.0;
    double worstAbsolute = 0.0;
    for (size_t r = 0; r < rows.size(); ++r) {
      const double normalised = std::fabs(rows[r].residual) / rows[r].sigma;
      if (normalised > worstNormalised) {
        worstNormalised = normalised;
        worstAbsolute = std::fabs(rows[r].residual);
        worst = r;
      }
    }
    if (rows.size() >= 5 && worstAbsolute > kResidualLimit && dropped < kMaxDropped) {
      candidates[rows[worst].candidate].active = false;
      ++dropped;
      continue;
    }
    converged = true;
    break;
  }
  if (!converged) return solution;

  double sum = 0.0;
  for (const Row& row : rows) sum += row.residual * row.residual;
  solution.rms = std::sqrt(sum / static_cast<double>(rows.size()));
  solution.pdop = PositionDop(rows);
  solution.satellitesUsed = static_cast<int>(rows.size());
  for (int k = 0; k < 3; ++k) solution.position[k] = x[k];
  solution.clockOffset = x[3] / kSpeedOfLight;
  for (const Row& row : rows) observations[candidates[row.candidate].observation].used = true;
  const Geodetic g = EcefToGeodetic(x);
  solution.valid = solution.pdop <= kMaxPdop && solution.rms <= kMaxRms && g.height > -2000.0 &&
                   g.height < 50000.0;
  return solution;
}

}  // namespace rin2obn
