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
  return GeodeticToEcef({station.latDeg, station.lonDeg, station.heightM});
}

ObservationSimulator::ObservationSimulator(const Station& station,
                                           const ObservationOptions& options)
    : station_(station),
      geodetic_{station.latDeg, station.lonDeg, station.heightM},
      options_(options),
      position_(StationPosition(station)),
      tracks_(kMaxPrn + 1),
      ephemerides_(kMaxPrn + 1),
      random_(MixSeed(options.seed, station.name)),
      dopplerRandom_(MixSeed(options.seed, station.name + " doppler")) {
  clockBias_ = random_.Uniform(-4e-4, 4e-4);
  clockDrift_ = random_.Uniform(-1.5e-9, 1.5e-9);
}

bool ObservationSimulator::Next(Epoch* epoch) {
  if (!(options_.interval > 0)) return false;
  for (;;) {
    const double offset = static_cast<double>(index_) * options_.interval;
    if (offset >= options_.duration) return false;
    ++index_;
    // The receiver clock keeps running through a gap.
    const double step = options_.interval;
    if (index_ > 1) clockWalk_ += 2e-11 * std::sqrt(step) * random_.Gaussian();
    const SlipOptions& slips = options_.slips;
    if (slips.receiverGapStart >= 0 && offset >= slips.receiverGapStart &&
        offset < slips.receiverGapStart + slips.receiverGapLength) {
      afterGap_ = true;
      continue;
    }

    epoch->time = SimTime{options_.startGps, 0}.Plus(offset);
    // Printed with nine decimals; the printed value is the clock.
    epoch->receiverClock =
        std::round(1e9 * (clockBias_ + clockDrift_ * offset + clockWalk_)) / 1e9;
    epoch->flag = afterGap_ ? 1 : 0;
    epoch->satellites.clear();
    if (afterGap_) {
      for (Track& t : tracks_) {
        if (t.visible) {
          t.lostLock = true;
          t.l2LostLock = true;
          t.n1 = static_cast<double>(random_.Integer(-5000000, 5000000));
          t.n2 = static_cast<double>(random_.Integer(-5000000, 5000000));
        }
      }
      afterGap_ = false;
    }
    for (int prn : Constellation::Default().Prns()) {
      SatelliteObservation obs;
      bool visible = false;
      Observe(prn, epoch->time, epoch->receiverClock, &tracks_[prn], &obs, &visible);
      if (visible) epoch->satellites.push_back(obs);
    }
    return true;
  }
}

void ObservationSimulator::Observe(int prn, const SimTime& receiveTime, double receiverClock,
                                   Track* track, SatelliteObservation* out, bool* visible) {
  const Constellation& constellation = Constellation::Default();
  // True GPS time of reception: the receiver's clock reads receiverClock ahead.
  const SimTime tRx = receiveTime.Plus(-receiverClock);
  double tau = 0.075;
  SatelliteState state;
  Vec3 sat;
  double range = 0;
  Ephemeris eph;
  for (int iteration = 0; iteration < 4; ++iteration) {
    const SimTime tTx = tRx.Plus(-tau);
    const int64_t toe = Constellation::NearestToe(tTx);
    Ephemeris& cached = ephemerides_[prn];
    if (cached.prn != prn || cached.toeGps != toe) cached = constellation.EphemerisAt(prn, toe);
    eph = cached;
    state = EvaluateEphemeris(eph, tTx);
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
  const bool above = elevation >= options_.elevationMaskDeg * kDeg;

  const double rate = options_.interval / 3600.0;
  if (!above) {
    track->visible = false;
    track->outageLeft = 0;
    *visible = false;
    return;
  }
  if (!track->visible) {
    // A rising satellite: fresh ambiguities, no loss of lock to report.
    track->visible = true;
    track->lostLock = false;
    track->l2Tracked = false;
    track->l2Seen = false;
    track->l2LostLock = false;
    track->n1 = static_cast<double>(random_.Integer(-5000000, 5000000));
    track->n2 = static_cast<double>(random_.Integer(-5000000, 5000000));
  }
  if (track->outageLeft > 0) {
    if (--track->outageLeft == 0) {
      track->lostLock = true;
      track->l2LostLock = true;
      track->n1 = static_cast<double>(random_.Integer(-5000000, 5000000));
      track->n2 = static_cast<double>(random_.Integer(-5000000, 5000000));
    }
    *visible = false;
    return;
  }
  const SlipOptions& slips = options_.slips;
  if (slips.outagesPerSatelliteHour > 0 &&
      random_.Uniform() < slips.outagesPerSatelliteHour * rate) {
    track->outageLeft = slips.outageEpochs > 0 ? slips.outageEpochs : 1;
    *visible = false;
    return;
  }
  if (slips.slipsPerSatelliteHour > 0 &&
      random_.Uniform() < slips.slipsPerSatelliteHour * rate) {
    track->n1 += static_cast<double>(random_.Integer(1, 40) * (random_.Uniform() < 0.5 ? -1 : 1));
    track->n2 += static_cast<double>(random_.Integer(1, 40) * (random_.Uniform() < 0.5 ? -1 : 1));
    track->lostLock = true;
    track->l2LostLock = true;
  }
  const bool l2 = elevation >= options_.l2MaskDeg * kDeg;
  if (l2 && !track->l2Tracked) {
    // Acquiring L2 gives a new ambiguity; reacquiring it after it dropped
    // below its mask since the satellite rose is a loss of lock.
    track->n2 = static_cast<double>(random_.Integer(-5000000, 5000000));
    track->l2LostLock = track->l2LostLock || track->l2Seen;
    track->l2Seen = true;
  }
  track->l2Tracked = l2;

  const double sow = ToCalendar(tRx).secondsOfWeek;
  const double iono = KlobucharDelayL1(BroadcastIonosphere(), geodetic_, elevation, azimuth, sow);
  const double tropo = TroposphereDelay(geodetic_, elevation);
  const double geometric =
      range + kSpeedOfLight * (receiverClock - state.clock) + tropo;
  const double groupDelay = kSpeedOfLight * eph.tgd;

  const double s1 = 32.0 + 18.0 * std::sin(elevation) + kSignalNoise * random_.Gaussian();
  const double s2 = s1 - 6.0 + kSignalNoise * random_.Gaussian();

  out->prn = prn;
  out->elevationDeg = elevation / kDeg;
  out->value[kC1] = Round3(geometric + groupDelay + iono + kCodeNoiseC1 * random_.Gaussian());
  out->value[kP1] = Round3(geometric + groupDelay + iono + kCodeNoiseP * random_.Gaussian());
  out->value[kL1] = Round3((geometric - iono) / kL1Wavelength + track->n1 +
                           kPhaseNoise * random_.Gaussian());
  out->value[kS1] = Round3(s1);
  for (int type : {kC1, kP1, kL1, kS1}) out->present[type] = true;
  const int ssi1 = SignalStrengthIndicator(s1);
  out->ssi[kC1] = out->ssi[kP1] = out->ssi[kL1] = ssi1;
  out->lli[kL1] = track->lostLock ? 1 : 0;
  if (l2) {
    out->value[kP2] = Round3(geometric + kGammaL1L2 * (groupDelay + iono) +
                             kCodeNoiseP * random_.Gaussian());
    out->value[kL2] = Round3((geometric - kGammaL1L2 * iono) / kL2Wavelength + track->n2 +
                             kPhaseNoise * random_.Gaussian());
    out->value[kS2] = Round3(s2);
    for (int type : {kL2, kP2, kS2}) out->present[type] = true;
    const int ssi2 = SignalStrengthIndicator(s2);
    out->ssi[kL2] = out->ssi[kP2] = ssi2;
    out->lli[kL2] = track->l2LostLock ? 1 : 0;
    track->l2LostLock = false;
  }
  if (options_.doppler) {
    // Range rate by a central difference over one second of transmit time,
    // the satellite clock drift included, then the receiver clock drift.
    const SimTime tTx = tRx.Plus(-tau);
    const SatelliteState before = EvaluateEphemeris(eph, tTx.Plus(-0.5));
    const SatelliteState after = EvaluateEphemeris(eph, tTx.Plus(0.5));
    const double theta = kEarthRotationRate * tau;
    auto rotated = [theta](const Vec3& p) {
      return Vec3{p.x * std::cos(theta) + p.y * std::sin(theta),
                  -p.x * std::sin(theta) + p.y * std::cos(theta), p.z};
    };
    const double rangeRate = Norm(rotated(after.position) - position_) -
                              Norm(rotated(before.position) - position_) -
                              kSpeedOfLight * (after.clock - before.clock) +
                              kSpeedOfLight * clockDrift_;
    out->dopplerL1 = Round3(-rangeRate / kL1Wavelength + kDopplerNoise * dopplerRandom_.Gaussian());
    if (l2)
      out->dopplerL2 =
          Round3(-rangeRate / kL2Wavelength + kDopplerNoise * dopplerRandom_.Gaussian());
  }
  track->lostLock = false;
  *visible = true;
}

}  // namespace stanvex::sim
