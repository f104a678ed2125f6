#include <cmath>

#include "atmosphere.h"
#include "constellation.h"
#include "gps_constants.h"
#include "simulator.h"

namespace stanvex::sim {
namespace {

constexpr double kDeg = 3.14159265358979323846 / 180.0;
constexpr int kMaxPrn = 32;

// Noise of one observation (1 sigma).
constexpr double kCodeNoiseP = 0.25;   // metres, P1 and P2
constexpr double kCodeNoiseC1 = 0.40;  // metres
constexpr double kPhaseNoise = 0.003;  // cycles
constexpr double kSignalNoise = 0.4;   // dB-Hz
constexpr double kDopplerNoise = 0.02;  // Hz

double Round3(double v) {
  const double r = std::round(v * 1000.0) / 1000.0;
  return r == 0 ? 0.0 : r;  // no negative zero
}

int SignalStrengthIndicator(double dbhz) {
  int ssi = static_cast<int>(dbhz / 6.0);
  if (ssi < 1) ssi = 1;
  if (ssi > 9) ssi = 9;
  return ssi;
}

}  // namespace

const char* const kObsTypeNames[kObsTypeCount] = {"C1", "P1", "L1", "L2", "P2", "S1", "S2"};

Vec3 StationPosition(const Station& station) {
  return GeodeticToEcef({station.lat_deg, station.lon_deg, station.height_m});
}

ObservationSimulator::ObservationSimulator(const Station& station,
                                           const ObservationOptions& options)
    : station_(station),
      geodetic_{station.lat_deg, station.lon_deg, station.height_m},
      options_(options),
      position_(StationPosition(station)),
      tracks_(kMaxPrn + 1),
      ephemerides_(kMaxPrn + 1),
      random_(MixSeed(options.seed, station.name)),
      doppler_random_(MixSeed(options.seed, station.name + " doppler")) {
  clock_bias_ = random_.Uniform(-4e-4, 4e-4);
  clock_drift_ = random_.Uniform(-1.5e-9, 1.5e-9);
}

bool ObservationSimulator::Next(Epoch* epoch) {
  if (!(options_.interval > 0)) return false;
  for (;;) {
    const double offset = static_cast<double>(index_) * options_.interval;
    if (offset >= options_.duration) return false;
    ++index_;
    // The receiver clock keeps running through a gap.
    const double step = options_.interval;
    if (index_ > 1) clock_walk_ += 2e-11 * std::sqrt(step) * random_.Gaussian();
    const SlipOptions& slips = options_.slips;
    if (slips.receiver_gap_start >= 0 && offset >= slips.receiver_gap_start &&
        offset < slips.receiver_gap_start + slips.receiver_gap_length) {
      after_gap_ = true;
      continue;
    }

    epoch->time = SimTime{options_.start_gps, 0}.Plus(offset);
    // Printed with nine decimals; the printed value is the clock.
    epoch->receiver_clock =
        std::round(1e9 * (clock_bias_ + clock_drift_ * offset + clock_walk_)) / 1e9;
    epoch->flag = after_gap_ ? 1 : 0;
    epoch->satellites.clear();
    if (after_gap_) {
      for (Track& t : tracks_) {
        if (t.visible) {
          t.lost_lock = true;
          t.l2_lost_lock = true;
          t.n1 = static_cast<double>(random_.Integer(-5000000, 5000000));
          t.n2 = static_cast<double>(random_.Integer(-5000000, 5000000));
        }
      }
      after_gap_ = false;
    }
    for (int prn : Constellation::Default().Prns()) {
      SatelliteObservation obs;
      bool visible = false;
      Observe(prn, epoch->time, epoch->receiver_clock, &tracks_[prn], &obs, &visible);
      if (visible) epoch->satellites.push_back(obs);
    }
    return true;
  }
}

void ObservationSimulator::Observe(int prn, const SimTime& receive_time, double receiver_clock,
                                   Track* track, SatelliteObservation* out, bool* visible) {
  const Constellation& constellation = Constellation::Default();
  // True GPS time of reception: the receiver's clock reads receiver_clock ahead.
  const SimTime t_rx = receive_time.Plus(-receiver_clock);
  double tau = 0.075;
  SatelliteState state;
  Vec3 sat;
  double range = 0;
  Ephemeris eph;
  for (int iteration = 0; iteration < 4; ++iteration) {
    const SimTime t_tx = t_rx.Plus(-tau);
    const int64_t toe = Constellation::NearestToe(t_tx);
    Ephemeris& cached = ephemerides_[prn];
    if (cached.prn != prn || cached.toe_gps != toe) cached = constellation.EphemerisAt(prn, toe);
    eph = cached;
    state = EvaluateEphemeris(eph, t_tx);
    // The earth turns while the signal travels: express the transmit-time
    // position in the frame of the reception instant.
    const double theta = kEarthRotationRate * tau;
    sat = {state.position.x * std::cos(theta) + state.position.y * std::sin(theta),
           -state.position.x * std::sin(theta) + state.position.y * std::cos(theta),
           state.position.z};
    range = Norm(sat - position_);
    tau = range / kSpeedOfLight;
  }
  double elevation = 0, azimuth = 0;
  ElevationAzimuth(geodetic_, position_, sat, &elevation, &azimuth);
  const bool above = elevation >= options_.elevation_mask_deg * kDeg;

  const double rate = options_.interval / 3600.0;
  if (!above) {
    track->visible = false;
    track->outage_left = 0;
    *visible = false;
    return;
  }
  if (!track->visible) {
    // A rising satellite: fresh ambiguities, no loss of lock to report.
    track->visible = true;
    track->lost_lock = false;
    track->l2_tracked = false;
    track->l2_seen = false;
    track->l2_lost_lock = false;
    track->n1 = static_cast<double>(random_.Integer(-5000000, 5000000));
    track->n2 = static_cast<double>(random_.Integer(-5000000, 5000000));
  }
  if (track->outage_left > 0) {
    if (--track->outage_left == 0) {
      track->lost_lock = true;
      track->l2_lost_lock = true;
      track->n1 = static_cast<double>(random_.Integer(-5000000, 5000000));
      track->n2 = static_cast<double>(random_.Integer(-5000000, 5000000));
    }
    *visible = false;
    return;
  }
  const SlipOptions& slips = options_.slips;
  if (slips.outages_per_satellite_hour > 0 &&
      random_.Uniform() < slips.outages_per_satellite_hour * rate) {
    track->outage_left = slips.outage_epochs > 0 ? slips.outage_epochs : 1;
    *visible = false;
    return;
  }
  if (slips.slips_per_satellite_hour > 0 &&
      random_.Uniform() < slips.slips_per_satellite_hour * rate) {
    track->n1 += static_cast<double>(random_.Integer(1, 40) * (random_.Uniform() < 0.5 ? -1 : 1));
    track->n2 += static_cast<double>(random_.Integer(1, 40) * (random_.Uniform() < 0.5 ? -1 : 1));
    track->lost_lock = true;
    track->l2_lost_lock = true;
  }
  const bool l2 = elevation >= options_.l2_mask_deg * kDeg;
  if (l2 && !track->l2_tracked) {
    // Acquiring L2 gives a new ambiguity; reacquiring it after it dropped
    // below its mask since the satellite rose is a loss of lock.
    track->n2 = static_cast<double>(random_.Integer(-5000000, 5000000));
    track->l2_lost_lock = track->l2_lost_lock || track->l2_seen;
    track->l2_seen = true;
  }
  track->l2_tracked = l2;

  const double sow = ToCalendar(t_rx).seconds_of_week;
  const double iono = KlobucharDelayL1(BroadcastIonosphere(), geodetic_, elevation, azimuth, sow);
  const double tropo = TroposphereDelay(geodetic_, elevation);
  const double geometric =
      range + kSpeedOfLight * (receiver_clock - state.clock) + tropo;
  const double group_delay = kSpeedOfLight * eph.tgd;

  const double s1 = 32.0 + 18.0 * std::sin(elevation) + kSignalNoise * random_.Gaussian();
  const double s2 = s1 - 6.0 + kSignalNoise * random_.Gaussian();

  out->prn = prn;
  out->elevation_deg = elevation / kDeg;
  out->value[kC1] = Round3(geometric + group_delay + iono + kCodeNoiseC1 * random_.Gaussian());
  out->value[kP1] = Round3(geometric + group_delay + iono + kCodeNoiseP * random_.Gaussian());
  out->value[kL1] = Round3((geometric - iono) / kL1Wavelength + track->n1 +
                           kPhaseNoise * random_.Gaussian());
  out->value[kS1] = Round3(s1);
  for (int type : {kC1, kP1, kL1, kS1}) out->present[type] = true;
  const int ssi1 = SignalStrengthIndicator(s1);
  out->ssi[kC1] = out->ssi[kP1] = out->ssi[kL1] = ssi1;
  out->lli[kL1] = track->lost_lock ? 1 : 0;
  if (l2) {
    out->value[kP2] = Round3(geometric + kGammaL1L2 * (group_delay + iono) +
                             kCodeNoiseP * random_.Gaussian());
    out->value[kL2] = Round3((geometric - kGammaL1L2 * iono) / kL2Wavelength + track->n2 +
                             kPhaseNoise * random_.Gaussian());
    out->value[kS2] = Round3(s2);
    for (int type : {kL2, kP2, kS2}) out->present[type] = true;
    const int ssi2 = SignalStrengthIndicator(s2);
    out->ssi[kL2] = out->ssi[kP2] = ssi2;
    out->lli[kL2] = track->l2_lost_lock ? 1 : 0;
    track->l2_lost_lock = false;
  }
  if (options_.doppler) {
    // Range rate by a central difference over one second of transmit time,
    // the satellite clock drift included, then the receiver clock drift.
    const SimTime t_tx = t_rx.Plus(-tau);
    const SatelliteState before = EvaluateEphemeris(eph, t_tx.Plus(-0.5));
    const SatelliteState after = EvaluateEphemeris(eph, t_tx.Plus(0.5));
    const double theta = kEarthRotationRate * tau;
    auto rotated = [theta](const Vec3& p) {
      return Vec3{p.x * std::cos(theta) + p.y * std::sin(theta),
                  -p.x * std::sin(theta) + p.y * std::cos(theta), p.z};
    };
    const double range_rate = Norm(rotated(after.position) - position_) -
                              Norm(rotated(before.position) - position_) -
                              kSpeedOfLight * (after.clock - before.clock) +
                              kSpeedOfLight * clock_drift_;
    out->doppler_l1 = Round3(-range_rate / kL1Wavelength + kDopplerNoise * doppler_random_.Gaussian());
    if (l2)
      out->doppler_l2 =
          Round3(-range_rate / kL2Wavelength + kDopplerNoise * doppler_random_.Gaussian());
  }
  track->lost_lock = false;
  *visible = true;
}

}  // namespace stanvex::sim
