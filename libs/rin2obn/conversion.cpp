#include "conversion.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <system_error>
#include <memory>
#include <vector>

#include "carrier_smoothing.h"
#include "companion_files.h"
#include "fields.h"
#include "geodesy.h"
#include "gnss_time.h"
#include "line_source.h"
#include "obn_format.h"
#include "orbit.h"
#include "point_solution.h"
#include "rinex_nav.h"
#include "rinex_obs.h"
#include "platform/platform.h"
#include "signal_choice.h"

namespace rin2obn {
namespace {

using stanvex::ObnHeader;
using stanvex::ObnMeasurementRecord;
using stanvex::ObnPositionRecord;

constexpr int8_t kCarriedByte = 1;  // marks files written by this converter
constexpr int kMaxGpsPrn = 32;
constexpr int kProgressScale = 1000;
constexpr size_t kStreamBuffer = 1 << 16;

struct FileCloser {
  void operator()(std::FILE* f) const {
    if (f != nullptr) std::fclose(f);
  }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

long long SizeOf(std::FILE* f) {
  if (std::fseek(f, 0, SEEK_END) != 0) return 0;
  long long size = std::ftell(f);
  std::rewind(f);
  return size < 0 ? 0 : size;
}

bool SameFile(const std::string& a, const std::string& b) {
  if (a == b) return true;
  std::error_code error;
  return std::filesystem::equivalent(a, b, error) && !error;
}

std::string Describe(const std::string& what, const std::string& path) {
  return what + " " + path + ": " + std::strerror(errno);
}

// Indexes of the observation types the OBN records carry.
struct TypeIndexes {
  int c1, p1, p2, c2, l1, l2, s1, s2;
  explicit TypeIndexes(const ObsHeader& h)
      : c1(h.IndexOf("C1")), p1(h.IndexOf("P1")), p2(h.IndexOf("P2")), c2(h.IndexOf("C2")),
        l1(h.IndexOf("L1")), l2(h.IndexOf("L2")), s1(h.IndexOf("S1")), s2(h.IndexOf("S2")) {}
};

// One GPS satellite of an epoch: its OBN record and its ranges for the solver.
struct Tracked {
  ObnMeasurementRecord record;
  RangeObservation range;
};

// The values of one GPS satellite for the OBN slots, from either layout.
struct SlotValues {
  double l1Phase = 0, l2Phase = 0, l1Range = 0, l2Range = 0;
  double l1Snr = 0, l2Snr = 0;
  bool l1LossOfLock = false, l2LossOfLock = false;
  bool l1RangeIsP1 = false;
  // The L2 range the solver combines with the L1 range: P2 in RINEX 2, the
  // chosen L2 range in RINEX 3 and 4.
  double ionoFreeL2 = 0;
};

// Both carriers' phases, signal strengths and losses of lock of satellite
// slot s, from the observation type indexes given.
void SetCarrierValues(const ObsEpoch& epoch, int s, int l1Phase, int l2Phase, int l1Strength,
                      int l2Strength, SlotValues& v) {
  v.l1Phase = epoch.Value(s, l1Phase);
  v.l2Phase = epoch.Value(s, l2Phase);
  v.l1Snr = epoch.Value(s, l1Strength);
  v.l2Snr = epoch.Value(s, l2Strength);
  v.l1LossOfLock = (epoch.Lli(s, l1Phase) & 1) != 0;
  v.l2LossOfLock = (epoch.Lli(s, l2Phase) & 1) != 0;
}

// RINEX 2: C1, or P1 when C1 is missing in the epoch; P2, else C2.
SlotValues Version2Values(const ObsEpoch& epoch, int s, const TypeIndexes& t) {
  SlotValues v;
  v.l1Range = epoch.Value(s, t.c1);
  if (v.l1Range == 0.0) {
    v.l1Range = epoch.Value(s, t.p1);
    v.l1RangeIsP1 = v.l1Range != 0.0;
  }
  const double p2 = epoch.Value(s, t.p2);
  v.l2Range = p2 != 0.0 ? p2 : epoch.Value(s, t.c2);
  v.ionoFreeL2 = p2;
  SetCarrierValues(epoch, s, t.l1, t.l2, t.s1, t.s2, v);
  return v;
}

// RINEX 3 and 4: the signals chosen for the satellite for the whole file.
SlotValues Version3Values(const ObsEpoch& epoch, int s, const SlotSignals& g) {
  SlotValues v;
  v.l1Range = epoch.Value(s, g.l1Range);
  v.l1RangeIsP1 = g.l1RangeIsP && v.l1Range != 0.0;
  v.l2Range = epoch.Value(s, g.l2Range);
  v.ionoFreeL2 = v.l2Range;
  SetCarrierValues(epoch, s, g.l1Phase, g.l2Phase, g.l1Strength, g.l2Strength, v);
  return v;
}

void FillMeasurement(int prn, const SlotValues& v, Tracked& out, SmoothingInput& smoothing) {
  ObnMeasurementRecord& m = out.record;
  std::memset(&m, 0, sizeof m);
  m.size = stanvex::kObnMeasurementSize;
  m.prn = static_cast<uint8_t>(prn);
  if (v.l1RangeIsP1) m.lockFlags |= stanvex::kObnL1RangeIsP1;
  m.l1Phase = v.l1Phase;
  m.l2Phase = v.l2Phase;
  m.l1Range = v.l1Range;
  m.l2Range = v.l2Range;
  m.l1Snr = static_cast<float>(v.l1Snr);
  m.l2Snr = static_cast<float>(v.l2Snr);
  if (v.l1LossOfLock) m.lockFlags |= stanvex::kObnL1LossOfLock;
  if (v.l2LossOfLock) m.lockFlags |= stanvex::kObnL2LossOfLock;
  if (m.l1Phase == 0.0) m.lockFlags |= stanvex::kObnL1PhaseMissing;
  if (m.l2Phase == 0.0) m.lockFlags |= stanvex::kObnL2PhaseMissing;
  if (m.l1Range == 0.0) m.lockFlags |= stanvex::kObnL1RangeMissing;
  if (m.l2Range == 0.0) m.lockFlags |= stanvex::kObnL2RangeMissing;
  out.range = RangeObservation();
  out.range.prn = m.prn;
  out.range.l1Range = v.l1Range;
  out.range.p2Range = v.ionoFreeL2;
  smoothing.prn = m.prn;
  smoothing.p1 = v.l1Range;
  smoothing.p2 = v.ionoFreeL2;
  smoothing.l1 = m.l1Phase;
  smoothing.l2 = m.l2Phase;
  smoothing.l1Slip = v.l1LossOfLock;
  smoothing.l2Slip = v.l2LossOfLock;
}

// The OBN output: header at creation, epochs appended, interval fixed at the end.
class ObnOutput {
 public:
  bool Open(const std::string& path, float interval, std::string& error) {
    file_.reset(stanvex::platform::CreateNewFile(path.c_str()));
    if (!file_) {
      error = Describe("unable to create", path);
      return false;
    }
    std::setvbuf(file_.get(), nullptr, _IOFBF, kStreamBuffer);
    std::memset(&header_, 0, sizeof header_);
    header_.size = stanvex::kObnHeaderSize;
    uint32_t bits = stanvex::kObnVersionBits;
    std::memcpy(&header_.version, &bits, sizeof bits);
    header_.carriedByte = kCarriedByte;
    header_.maxChannels = stanvex::kObnWriterChannels;
    std::time_t now = std::time(nullptr);
    std::tm local{};
    if (std::tm* t = std::localtime(&now)) local = *t;
    header_.month = static_cast<int16_t>(local.tm_mon);
    header_.day = static_cast<int16_t>(local.tm_mday);
    header_.year = static_cast<int16_t>(local.tm_year);
    header_.hour = static_cast<int16_t>(local.tm_hour);
    header_.minute = static_cast<int16_t>(local.tm_min);
    header_.second = static_cast<int16_t>(local.tm_sec);
    header_.interval = interval;
    std::snprintf(header_.fileName, sizeof header_.fileName, "%s", path.c_str());
    const int16_t bufferSize = stanvex::kObnBufferSize;
    std::memcpy(&header_.runtime[4], &bufferSize, sizeof bufferSize);
    return Write(&header_, sizeof header_);
  }

  bool WriteEpoch(const ObnPositionRecord& position, const ObnMeasurementRecord* measurements) {
    if (!Write(&position, sizeof position)) return false;
    return position.count == 0 ||
           Write(measurements, sizeof(ObnMeasurementRecord) * static_cast<size_t>(position.count));
  }

  // Stores the final interval in the header and closes the file.
  bool Finish(float interval) {
    bool ok = !failed_;
    if (ok && interval != header_.interval) {
      ok = std::fseek(file_.get(), offsetof(ObnHeader, interval), SEEK_SET) == 0 &&
           std::fwrite(&interval, sizeof interval, 1, file_.get()) == 1;
    }
    std::FILE* f = file_.release();
    ok = std::fclose(f) == 0 && ok;
    return ok;
  }

  void Abandon() { file_.reset(); }

 private:
  bool Write(const void* data, size_t size) {
    if (failed_) return false;
    if (std::fwrite(data, 1, size, file_.get()) != size) failed_ = true;
    return !failed_;
  }
  File file_;
  ObnHeader header_;
  bool failed_ = false;
};

class Conversion {
 public:
  Conversion(const ConversionSettings& settings, ConversionCounts& counts)
      : settings_(settings), counts_(counts) {}

  ConversionResult Run(const std::string& observationPath, const std::string& navigationPath,
                       const std::string& obnPath);

 private:
  bool ReadNavigation(const std::string& path);
  bool ChooseSignals(std::FILE* file, const std::string& path);
  bool ConvertEpochs(ObsReader& reader, FileLineSource& source, ObnOutput& output,
                     const std::string& observationPath, const std::string& obnPath);
  void Message(double value, const std::string& text) {
    if (settings_.message) settings_.message(value, text);
  }
  bool Fail(const std::string& text) {
    result_.error = text;
    return false;
  }

  const ConversionSettings& settings_;
  ConversionCounts& counts_;
  ConversionResult result_;
  EphemerisStore store_;
  CarrierSmoother smoother_;
  SignalChoice signals_;
  std::vector<Ephemeris> navigationRecords_;
  SolverSettings solver_;
  StationSummary summary_;
  double measuredInterval_ = 0.0;
  long gpsObservations_ = 0;
};

bool Conversion::ReadNavigation(const std::string& path) {
  File file(stanvex::platform::OpenForReading(path.c_str()));
  if (!file) return Fail(Describe("unable to open the navigation file", path));
  FileLineSource source(file.get(), SizeOf(file.get()));
  NavReader reader(source, [this](const std::string& text) { Message(0.0, text); });
  if (!reader.ReadHeader()) return Fail(path + ": " + reader.error());
  Ephemeris eph;
  while (reader.Next(eph)) {
    if (eph.prn > kMaxGpsPrn) continue;
    ++counts_.ephemeridesRead;
    navigationRecords_.push_back(eph);
    store_.Add(eph);
  }
  if (source.Failed()) return Fail(Describe("unable to read the navigation file", path));
  bool usable = false;
  for (const Ephemeris& e : store_.All()) usable = usable || (e.health == 0.0 && e.sqrtA > 1000.0);
  if (!usable) return Fail("no usable GPS ephemerides in " + path);
  solver_.haveIon = reader.header().haveIon;
  if (!solver_.haveIon)
    Message(0.0, "No ION ALPHA / ION BETA in " + path +
                     ": single-frequency ranges are used without an ionosphere correction");
  std::memcpy(solver_.ionAlpha, reader.header().ionAlpha, sizeof solver_.ionAlpha);
  std::memcpy(solver_.ionBeta, reader.header().ionBeta, sizeof solver_.ionBeta);
  Message(counts_.ephemeridesRead,
          "Read " + std::to_string(counts_.ephemeridesRead) + " GPS ephemerides from " + path);
  return true;
}

// RINEX 3 and 4 files are read twice: the first reading counts the signals
// of every GPS satellite so that each OBN slot keeps one signal per
// satellite for the whole file.
bool Conversion::ChooseSignals(std::FILE* file, const std::string& path) {
  {
    FileLineSource source(file, 0);
    ObsReader reader(source);
    // A header that cannot be read is reported by the conversion's reading.
    if (reader.ReadHeader() && reader.header().IsVersion3()) {
      ObsEpoch epoch;
      while (reader.NextEpoch(epoch) == ObsReader::kEpoch) {
        if (settings_.abort != nullptr && settings_.abort->load())
          return Fail("conversion aborted");
        signals_.Count(reader.header(), epoch);
      }
      if (source.Failed()) return Fail(Describe("unable to read the observation file", path));
      signals_.Choose();
      std::string chosen;
      for (int slot = 0; slot < SignalChoice::kSlots; ++slot) {
        const std::string code = signals_.MostChosenCode(slot);
        chosen += " " + (code.empty() ? std::string("-") : code);
      }
      Message(0.0, "RINEX " + FieldText(std::to_string(reader.header().version), 0, 4) +
                       " GPS signals (L1 phase, L2 phase, L1 range, L2 range):" + chosen);
    }
  }
  std::rewind(file);
  return true;
}

bool Conversion::ConvertEpochs(ObsReader& reader, FileLineSource& source, ObnOutput& output,
                               const std::string& observationPath, const std::string& obnPath) {
  ObsEpoch epoch;
  std::vector<Tracked> tracked;
  std::vector<RangeObservation> ranges;
  std::vector<size_t> order;
  ObnMeasurementRecord records[stanvex::kObnWriterChannels];
  double previous[3] = {0, 0, 0};
  const double* approx = reader.header().approxPosition;
  if (std::sqrt(approx[0] * approx[0] + approx[1] * approx[1] + approx[2] * approx[2]) > 6.0e6)
    std::memcpy(previous, approx, sizeof previous);
  double lastEpochTime = -1.0;
  double sum[3] = {0, 0, 0};
  int lastPercentStep = -1;

  for (;;) {
    if (settings_.abort != nullptr && settings_.abort->load()) return Fail("conversion aborted");
    ObsReader::Result r = reader.NextEpoch(epoch);
    if (r != ObsReader::kEpoch) break;
    ++counts_.epochsRead;
    if (!summary_.haveEpochs) {
      summary_.haveEpochs = true;
      summary_.firstEpoch = epoch.gpsSeconds;
    }
    summary_.lastEpoch = epoch.gpsSeconds;
    if (lastEpochTime >= 0.0) {
      const double step = std::round((epoch.gpsSeconds - lastEpochTime) * 1000.0) / 1000.0;
      if (step > 0.0 && (measuredInterval_ == 0.0 || step < measuredInterval_))
        measuredInterval_ = step;
    }
    lastEpochTime = epoch.gpsSeconds;

    // The GPS satellites of the epoch (other systems are not carried). An
    // epoch of flag 6 reports cycle slips in the observation layout: it is
    // carried as it stands but neither smoothed nor solved.
    const bool slipRecords = epoch.flag == 6;
    const ObsHeader& header = reader.header();
    const TypeIndexes types(header);
    tracked.clear();
    for (int s = 0; s < epoch.SatelliteCount(); ++s) {
      const int prn = epoch.prns[static_cast<size_t>(s)];
      if (epoch.systems[static_cast<size_t>(s)] != 'G' || prn < 1 || prn > kMaxGpsPrn) continue;
      tracked.emplace_back();
      SmoothingInput smoothing;
      const SlotValues values = header.IsVersion3()
                                    ? Version3Values(epoch, s, signals_.For(header, prn))
                                    : Version2Values(epoch, s, types);
      FillMeasurement(prn, values, tracked.back(), smoothing);
      if (!slipRecords) {
        const SmoothedRanges smoothed = smoother_.Update(epoch.gpsSeconds, smoothing);
        tracked.back().range.smoothedIonoFree = smoothed.ionoFree;
        tracked.back().range.smoothedL1 = smoothed.l1;
      }
    }
    gpsObservations_ += static_cast<long>(tracked.size());
    ranges.clear();
    for (const Tracked& t : tracked) ranges.push_back(t.range);
    PointSolution solution;
    if (!slipRecords)
      solution = SolveEpoch(store_, solver_, epoch.gpsSeconds, previous, ranges);

    if (solution.valid) {
      ++counts_.epochsSolved;
      std::memcpy(previous, solution.position, sizeof previous);
      for (int k = 0; k < 3; ++k) sum[k] += solution.position[k];
    }
    if (!solution.valid && settings_.dropUnsolved) continue;

    // The highest satellites first when more are tracked than a record holds;
    // satellites without a known elevation keep their file order at the end.
    order.resize(tracked.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    if (tracked.size() > static_cast<size_t>(stanvex::kObnWriterChannels)) {
      std::stable_sort(order.begin(), order.end(), [&ranges](size_t a, size_t b) {
        return ranges[a].elevation > ranges[b].elevation;
      });
    }
    ObnPositionRecord position;
    std::memset(&position, 0, sizeof position);
    position.size = stanvex::kObnPositionSize;
    const size_t count = std::min(order.size(), static_cast<size_t>(stanvex::kObnWriterChannels));
    position.count = static_cast<int8_t>(count);
    for (size_t i = 0; i < count; ++i) records[i] = tracked[order[i]].record;
    position.week = static_cast<uint16_t>(GpsWeekOf(epoch.gpsSeconds));
    position.epochFlag = static_cast<uint8_t>(epoch.flag);
    position.time = SecondsOfWeekOf(epoch.gpsSeconds);
    if (solution.valid) {
      const Geodetic g = EcefToGeodetic(solution.position);
      position.flags = 1;
      position.satellites = static_cast<uint8_t>(std::min(solution.satellitesUsed, 255));
      position.position1 = g.latitude * 180.0 / kGpsPi;
      position.position2 = g.longitude * 180.0 / kGpsPi;
      position.height = static_cast<float>(g.height);
      position.clockOffset = solution.clockOffset;
      position.pdop = static_cast<float>(solution.pdop);
      position.rms = static_cast<float>(solution.rms);
    }
    if (!output.WriteEpoch(position, records))
      return Fail(Describe("unable to write (disk full?)", obnPath));
    ++counts_.epochsWritten;

    const int step = static_cast<int>(source.Fraction() * kProgressScale);
    if (step != lastPercentStep && settings_.progress) {
      settings_.progress(step, kProgressScale);
      lastPercentStep = step;
    }
  }
  if (source.Failed()) return Fail(Describe("unable to read the observation file", observationPath));
  if (counts_.epochsSolved > 0) {
    summary_.haveAverage = true;
    for (int k = 0; k < 3; ++k) summary_.average[k] = sum[k] / counts_.epochsSolved;
  }
  summary_.solvedEpochs = counts_.epochsSolved;
  return true;
}

ConversionResult Conversion::Run(const std::string& observationPath,
                                 const std::string& navigationPath, const std::string& obnPath) {
  counts_ = ConversionCounts();
  const std::string nvbPath = WithExtension(obnPath, ".nvb");
  const std::string staPath = WithExtension(obnPath, ".sta");
  // An output that is one of the inputs would be truncated while it is read.
  for (const std::string* output : {&obnPath, &nvbPath, &staPath})
    for (const std::string* input : {&observationPath, &navigationPath})
      if (SameFile(*output, *input)) {
        Fail("the output " + *output + " would overwrite the input " + *input);
        return result_;
      }
  File observation(stanvex::platform::OpenForReading(observationPath.c_str()));
  if (!observation) {
    Fail(Describe("unable to open the observation file", observationPath));
    return result_;
  }
  if (!ReadNavigation(navigationPath) || !ChooseSignals(observation.get(), observationPath))
    return result_;
  FileLineSource source(observation.get(), SizeOf(observation.get()));
  ObsReader reader(source, [this](const std::string& text) { Message(0.0, text); });
  if (!reader.ReadHeader()) {
    Fail(observationPath + ": " + reader.error());
    return result_;
  }
  summary_.header = &reader.header();

  bool ok = false;
  {
    ObnOutput output;
    if (output.Open(obnPath, static_cast<float>(reader.header().interval), result_.error)) {
      if (ConvertEpochs(reader, source, output, observationPath, obnPath)) {
        summary_.interval =
            reader.header().interval > 0.0 ? reader.header().interval : measuredInterval_;
        if (gpsObservations_ == 0) {
          Fail("no GPS data in " + observationPath);
          output.Abandon();
        } else if (!output.Finish(static_cast<float>(summary_.interval))) {
          Fail(Describe("unable to write (disk full?)", obnPath));
        } else {
          ok = true;
        }
      } else {
        output.Abandon();
      }
    }
  }
  // The text companions are written with LF line ends on every platform, so
  // a day's files are the same bytes wherever they were made.
  if (ok) {
    File nvb(stanvex::platform::CreateNewFile(nvbPath.c_str()));
    if (!nvb) {
      ok = Fail(Describe("unable to create", nvbPath));
    } else {
      std::setvbuf(nvb.get(), nullptr, _IOFBF, kStreamBuffer);
      ok = WriteNvb(nvb.get(), navigationRecords_);
      ok = std::fclose(nvb.release()) == 0 && ok;
      if (!ok) Fail(Describe("unable to write (disk full?)", nvbPath));
    }
  }
  if (ok) {
    File sta(stanvex::platform::CreateNewFile(staPath.c_str()));
    if (!sta) {
      ok = Fail(Describe("unable to create", staPath));
    } else {
      ok = WriteSta(sta.get(), summary_);
      ok = std::fclose(sta.release()) == 0 && ok;
      if (!ok) Fail(Describe("unable to write (disk full?)", staPath));
    }
  }
  if (!ok) {
    // A failed conversion leaves no partial output behind: the files it
    // created go, when they are plain files (never a device it was pointed at).
    for (const std::string* path : {&obnPath, &nvbPath, &staPath}) {
      std::error_code error;
      if (std::filesystem::is_regular_file(*path, error)) std::filesystem::remove(*path, error);
    }
    return result_;
  }
  if (settings_.progress) settings_.progress(kProgressScale, kProgressScale);
  Message(counts_.epochsSolved, "Converted " + std::to_string(counts_.epochsWritten) +
                                    " epochs, " + std::to_string(counts_.epochsSolved) +
                                    " with a position solution");
  result_.ok = true;
  return result_;
}

}  // namespace

std::string WithExtension(const std::string& name, const std::string& extension) {
  const size_t slash = name.find_last_of("/\\");
  const size_t dot = name.find_last_of('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
    return name.substr(0, dot) + extension;
  return name + extension;
}

ConversionResult ConvertRinex(const std::string& observationPath,
                              const std::string& navigationPath, const std::string& obnPath,
                              const ConversionSettings& settings, ConversionCounts& counts) {
  Conversion conversion(settings, counts);
  return conversion.Run(observationPath, navigationPath, obnPath);
}

}  // namespace rin2obn
