// Synthetic OBN files for the resampling and interpolation tests: satellites
// whose ranges follow smooth orbits, a receiver clock common to all of them,
// and faults (loss of lock, unflagged jumps, gaps) placed where a test wants.
#ifndef STANVEX_TESTS_SUPPORT_SYNTHETIC_OBN_H
#define STANVEX_TESTS_SUPPORT_SYNTHETIC_OBN_H

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "obn_format.h"

namespace stanvex::testing {

constexpr double kC = 299792458.0;
constexpr double kLambda1 = kC / 1575.42e6;
constexpr double kLambda2 = kC / 1227.60e6;

struct SynthEpoch {
  ObnPositionRecord position{};
  std::vector<ObnMeasurementRecord> satellites;
};

struct SynthFile {
  ObnHeader header{};
  std::vector<SynthEpoch> epochs;
};

// Geometric range plus receiver clock, metres, of satellite prn at time t.
inline double TrueRange(int prn, double t) {
  const double omega = 2.0 * M_PI / 43082.0;
  const double phase = prn * 0.7;
  return 2.2e7 + 3.0e6 * std::sin(omega * t + phase) + 25.0 * std::sin(t / 900.0) +
         0.3 * t;  // the last two terms: a receiver clock common to all satellites
}
inline double TrueIono(int prn, double t) { return 3.0 + 0.5 * std::sin(t / 2000.0 + prn); }

// A measurement record of prn at t with L1/L2 phase (cycles) and ranges.
inline ObnMeasurementRecord SynthMeasurement(int prn, double t) {
  ObnMeasurementRecord m{};
  m.size = kObnMeasurementSize;
  m.prn = static_cast<uint8_t>(prn);
  const double rho = TrueRange(prn, t), iono = TrueIono(prn, t);
  const double ambiguity1 = 1000.0 * prn, ambiguity2 = -700.0 * prn;
  m.l1Phase = (rho - iono) / kLambda1 + ambiguity1;
  m.l2Phase = (rho - iono * 1.6469) / kLambda2 + ambiguity2;
  m.l1Range = rho + iono;
  m.l2Range = rho + iono * 1.6469;
  m.l1Snr = 45.0f;
  m.l2Snr = 40.0f;
  return m;
}

// A file of `epochs` epochs every `step` seconds from start, with the given
// satellites in every epoch, each epoch with a position solution.
inline SynthFile MakeSynthFile(double start, double step, int epochs, std::vector<int> prns,
                               float interval = 0.0f) {
  SynthFile file;
  file.header.size = kObnHeaderSize;
  std::memcpy(&file.header.version, &kObnVersionBits, 4);
  file.header.carriedByte = 7;
  file.header.maxChannels = kObnWriterChannels;
  file.header.interval = interval > 0 ? interval : static_cast<float>(step);
  for (int k = 0; k < epochs; ++k) {
    SynthEpoch e;
    const double t = start + k * step;
    e.position.size = kObnPositionSize;
    e.position.flags = 1;
    e.position.week = 2021;
    e.position.satellites = static_cast<uint8_t>(prns.size());
    e.position.position1 = 53.0 + k * 1e-7;
    e.position.position2 = -6.0 - k * 1e-7;
    e.position.height = 100.0f + static_cast<float>(k);
    e.position.time = std::fmod(t, 604800.0);
    if (t >= 604800.0) e.position.week = 2022;
    e.position.clockOffset = 1e-6 * k;
    for (int prn : prns) e.satellites.push_back(SynthMeasurement(prn, t));
    e.position.count = static_cast<int8_t>(e.satellites.size());
    file.epochs.push_back(e);
  }
  return file;
}

inline ObnMeasurementRecord* FindPrn(SynthEpoch& epoch, int prn) {
  for (auto& m : epoch.satellites)
    if (m.prn == prn) return &m;
  return nullptr;
}

// Adds `metres` of L1 phase from epoch `from` on (a jump the receiver does not
// flag unless flag is true).
inline void AddL1Jump(SynthFile& file, int prn, size_t from, double metres, bool flag) {
  for (size_t k = from; k < file.epochs.size(); ++k)
    if (ObnMeasurementRecord* m = FindPrn(file.epochs[k], prn)) m->l1Phase += metres / kLambda1;
  if (flag)
    if (ObnMeasurementRecord* m = FindPrn(file.epochs[from], prn)) m->lockFlags |= kObnL1LossOfLock;
}

inline void AddL2Jump(SynthFile& file, int prn, size_t from, double cycles) {
  for (size_t k = from; k < file.epochs.size(); ++k)
    if (ObnMeasurementRecord* m = FindPrn(file.epochs[k], prn)) m->l2Phase += cycles;
}

inline bool WriteSynthFile(const std::string& path, const SynthFile& file) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(&file.header, sizeof file.header, 1, f) == 1;
  for (const SynthEpoch& e : file.epochs) {
    SynthEpoch copy = e;
    copy.position.count = static_cast<int8_t>(copy.satellites.size());
    ok = ok && std::fwrite(&copy.position, sizeof copy.position, 1, f) == 1;
    if (!copy.satellites.empty())
      ok = ok && std::fwrite(copy.satellites.data(), sizeof(ObnMeasurementRecord),
                             copy.satellites.size(), f) == copy.satellites.size();
  }
  return std::fclose(f) == 0 && ok;
}

// Reads a file written by anyone; an empty header size means it failed.
inline SynthFile ReadSynthFile(const std::string& path) {
  SynthFile file;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return file;
  if (std::fread(&file.header, sizeof file.header, 1, f) != 1) file.header.size = 0;
  SynthEpoch e;
  while (file.header.size == kObnHeaderSize &&
         std::fread(&e.position, sizeof e.position, 1, f) == 1) {
    e.satellites.assign(static_cast<size_t>(e.position.count < 0 ? 0 : e.position.count), {});
    if (!e.satellites.empty() &&
        std::fread(e.satellites.data(), sizeof(ObnMeasurementRecord), e.satellites.size(), f) !=
            e.satellites.size())
      break;
    file.epochs.push_back(e);
  }
  std::fclose(f);
  return file;
}

}  // namespace stanvex::testing

#endif  // STANVEX_TESTS_SUPPORT_SYNTHETIC_OBN_H
