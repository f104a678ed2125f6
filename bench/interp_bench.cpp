// Interpolation accuracy and speed on real 5-second data: the file is
// converted to OBN, thinned to 30 s, interpolated back to 5 s, and every new
// epoch is compared with the original 5-second epoch. Figures are
// between-satellite differences (the receiver clock cancels) of interpolated
// minus observed L1 phase and L1 range, for every pair of satellites, printed
// side by side with a baseline: a plain 4-point Lagrange polynomial over the
// L1 phase that skips only stencils with a flagged loss of lock.
//
// Usage: interp_bench [observation navigation | file.obn]   (default: the
// shared highrate/glw1277m.18o with its .18n)
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "base/last_error.h"
#include "base/paths.h"
#include "base/status_channel.h"
#include "base/text.h"
#include "convert/converter_binding.h"
#include "obsfiles/obn_file.h"
#include "obsfiles/obs_status.h"
#include "obsfiles/resample.h"
#include "platform/platform.h"

namespace fs = std::filesystem;
using namespace stanvex;

namespace {

constexpr double kLambda1 = 299792458.0 / 1575.42e6;
constexpr int kRuns = 7;

struct Epoch {
  ObnPositionRecord position;
  std::vector<ObnMeasurementRecord> satellites;
};

std::vector<Epoch> ReadAll(const std::string& path) {
  std::vector<Epoch> epochs;
  ObnFile* file = nullptr;
  const Result opened = OpenObnForRead(path.c_str(), kObnBufferSize, &file);
  if (!opened.ok) {
    std::fprintf(stderr, "%s\n", opened.message);
    std::exit(1);
  }
  Epoch e;
  ObnMeasurementRecord m[kObnReaderRoom];
  while (ReadObnEpoch(file, &e.position, m).ok) {
    e.satellites.assign(m, m + e.position.count);
    epochs.push_back(e);
  }
  CloseObn(file);
  return epochs;
}

const ObnMeasurementRecord* Find(const Epoch& e, int prn) {
  for (const auto& m : e.satellites)
    if (m.prn == prn) return &m;
  return nullptr;
}

void STANVEX_CALL PrintLibraryText(StatusRecord* record) {
  if (record->code == STATUS_TEXT) std::printf("library: %s\n", record->text);
}

bool OnGrid(double t, double step) { return std::fabs(std::remainder(t, step)) < 1e-3; }

// Between-satellite errors of every interpolated epoch against the original.
struct Errors {
  std::vector<double> phase, range;
  long values = 0, gapLockViolations = 0, stencilLockViolations = 0;
};

Errors Compare(const std::vector<Epoch>& interpolated, const std::vector<Epoch>& original) {
  std::map<long long, const Epoch*> byTime;
  for (const Epoch& e : original) byTime[std::llround(e.position.time * 100)] = &e;
  auto lockedBetween = [&](int prn, double from, double to) {
    for (auto it = byTime.upper_bound(std::llround(from * 100));
         it != byTime.end() && it->first <= std::llround(to * 100); ++it)
      if (const ObnMeasurementRecord* m = Find(*it->second, prn))
        if (m->lockFlags & kObnL1LossOfLock) return true;
    return false;
  };
  Errors errors;
  for (const Epoch& e : interpolated) {
    if (OnGrid(e.position.time, 30.0)) continue;
    auto it = byTime.find(std::llround(e.position.time * 100));
    if (it == byTime.end()) continue;
    const Epoch& o = *it->second;
    const double t0 = std::floor(e.position.time / 30.0) * 30.0;
    std::vector<std::pair<const ObnMeasurementRecord*, const ObnMeasurementRecord*>> both;
    for (const auto& m : e.satellites) {
      ++errors.values;
      if (lockedBetween(m.prn, t0, t0 + 30.0)) ++errors.gapLockViolations;
      if (lockedBetween(m.prn, t0 - 30.0, t0 + 60.0)) ++errors.stencilLockViolations;
      if (const ObnMeasurementRecord* om = Find(o, m.prn)) both.push_back({&m, om});
    }
    for (size_t a = 0; a < both.size(); ++a)
      for (size_t b = a + 1; b < both.size(); ++b) {
        auto [ia, oa] = both[a];
        auto [ib, ob] = both[b];
        const uint8_t missing = kObnL1PhaseMissing;
        if (!((ia->lockFlags | oa->lockFlags | ib->lockFlags | ob->lockFlags) & missing))
          errors.phase.push_back(kLambda1 * ((ia->l1Phase - ib->l1Phase) - (oa->l1Phase - ob->l1Phase)));
        if (!((ia->lockFlags | oa->lockFlags | ib->lockFlags | ob->lockFlags) & kObnL1RangeMissing))
          errors.range.push_back((ia->l1Range - ib->l1Range) - (oa->l1Range - ob->l1Range));
      }
  }
  return errors;
}

// The baseline: 4-point Lagrange over raw L1 phase and range, skipping only
// stencils with a flagged loss of lock.
std::vector<Epoch> Baseline(const std::vector<Epoch>& coarse, double step) {
  std::vector<Epoch> out;
  const int n = static_cast<int>(coarse.size());
  for (int i = 0; i + 1 < n; ++i) {
    out.push_back(coarse[static_cast<size_t>(i)]);
    const int first = std::clamp(i - 1, 0, n - 4);
    double times[4];
    for (int j = 0; j < 4; ++j) times[j] = coarse[static_cast<size_t>(first + j)].position.time;
    for (double t = coarse[static_cast<size_t>(i)].position.time + step;
         t < coarse[static_cast<size_t>(i + 1)].position.time - 1e-3; t += step) {
      Epoch e{};
      e.position.time = t;
      double w[4];
      for (int j = 0; j < 4; ++j) {
        w[j] = 1;
        for (int k = 0; k < 4; ++k)
          if (k != j) w[j] *= (t - times[k]) / (times[j] - times[k]);
      }
      for (const auto& m : coarse[static_cast<size_t>(i)].satellites) {
        const ObnMeasurementRecord* at[4];
        bool ok = true;
        for (int j = 0; j < 4 && ok; ++j) {
          at[j] = Find(coarse[static_cast<size_t>(first + j)], m.prn);
          ok = at[j] && !(at[j]->lockFlags & (kObnL1PhaseMissing | kObnL1RangeMissing)) &&
               (j == 0 || !(at[j]->lockFlags & kObnL1LossOfLock));
        }
        if (!ok) continue;
        ObnMeasurementRecord r = m;
        r.lockFlags = 0;
        r.l1Phase = r.l1Range = 0;
        for (int j = 0; j < 4; ++j) {
          r.l1Phase += w[j] * (at[j]->l1Phase - at[0]->l1Phase);
          r.l1Range += w[j] * (at[j]->l1Range - at[0]->l1Range);
        }
        r.l1Phase += at[0]->l1Phase;
        r.l1Range += at[0]->l1Range;
        e.satellites.push_back(r);
      }
      if (!e.satellites.empty()) out.push_back(e);
    }
  }
  out.push_back(coarse.back());
  return out;
}

struct Summary {
  double rms = 0, median = 0, p95 = 0, max = 0, over10cm = 0;
  size_t count = 0;
};

Summary Summarise(std::vector<double> values) {
  Summary s;
  s.count = values.size();
  if (values.empty()) return s;
  double sum = 0;
  for (double& v : values) {
    sum += v * v;
    v = std::fabs(v);
    if (v > 0.1) s.over10cm += 1;
  }
  std::sort(values.begin(), values.end());
  s.rms = std::sqrt(sum / static_cast<double>(values.size()));
  s.median = values[values.size() / 2];
  s.p95 = values[values.size() * 95 / 100];
  s.max = values.back();
  s.over10cm = 100.0 * s.over10cm / static_cast<double>(values.size());
  return s;
}

void PrintRow(const char* what, const Summary& ours, const Summary& base, double scale,
              const char* unit) {
  std::printf("%-28s %12.1f %12.1f %s\n", (std::string(what) + " RMS").c_str(), ours.rms * scale,
              base.rms * scale, unit);
  std::printf("%-28s %12.1f %12.1f %s\n", (std::string(what) + " median").c_str(),
              ours.median * scale, base.median * scale, unit);
  std::printf("%-28s %12.1f %12.1f %s\n", (std::string(what) + " 95%").c_str(), ours.p95 * scale,
              base.p95 * scale, unit);
  std::printf("%-28s %12.1f %12.1f %s\n", (std::string(what) + " max").c_str(), ours.max * scale,
              base.max * scale, unit);
  std::printf("%-28s %12.3f %12.3f %%\n", (std::string(what) + " over 10 cm").c_str(),
              ours.over10cm, base.over10cm);
  std::printf("%-28s %12zu %12zu\n", (std::string(what) + " pairs").c_str(), ours.count, base.count);
}

void WriteFile(const char* path) {
  if (std::FILE* f = std::fopen(path, "wb")) std::fclose(f);
}

void CopyOrDie(const fs::path& from, const fs::path& to) {
  std::error_code error;
  fs::copy_file(from, to, fs::copy_options::overwrite_existing, error);
  if (error) {
    std::fprintf(stderr, "cannot copy %s: %s\n", from.c_str(), error.message().c_str());
    std::exit(1);
  }
}

// Writes epochs as an OBN file.
void WriteAll(const std::string& path, const std::vector<Epoch>& epochs) {
  ObnFile* file = nullptr;
  Result written = CreateObn(path.c_str(), 0, 5.0f, kObnBufferSize, kObnWriterChannels, &file);
  for (Epoch e : epochs) {
    if (!written.ok) break;
    written = WriteObnEpoch(file, &e.position, e.satellites.data());
  }
  if (file != nullptr) {
    const Result closed = CloseObn(file);
    if (written.ok) written = closed;
  }
  if (!written.ok) {
    std::fprintf(stderr, "%s\n", written.message);
    std::exit(1);
  }
}

// Adds unflagged L1 phase jumps of 0.3 to 3.7 m (either sign) at a rate of
// one per `rate` satellite epochs, each kept for the rest of the file, as
// receivers that miss a slip produce. Deterministic.
std::vector<Epoch> WithUnflaggedJumps(std::vector<Epoch> epochs, double rate, long* jumps) {
  uint64_t state = 0x9E3779B97F4A7C15ull;
  auto uniform = [&state] {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<double>(state >> 11) / 9007199254740992.0;
  };
  std::map<int, double> offset;  // cycles per satellite so far
  *jumps = 0;
  for (Epoch& e : epochs)
    for (auto& m : e.satellites) {
      if (uniform() < rate) {
        const double metres = (0.3 + 3.4 * uniform()) * (uniform() < 0.5 ? -1 : 1);
        offset[m.prn] += metres / kLambda1;
        ++*jumps;
      }
      m.l1Phase += offset[m.prn];
    }
  return epochs;
}

// Thins original (companions from `companions`) to 30 s, interpolates it
// back to 5 s, and prints the figures beside the baseline's.
void RunScenario(const char* title, const std::vector<Epoch>& original, const std::string& companions) {
  std::printf("---- %s\n", title);
  WriteAll("fine.obn", original);
  for (const char* ext : {".nvb", ".sta"}) {
    char from[kPathSize];
    CopyText(from, sizeof from, companions.c_str());
    ReplaceExtension(from, ext);
    CopyOrDie(from, std::string("fine") + ext);
  }
  if (const Result r = ResampleObn("", "fine.obn", "coarse.obn", 30.0); !r.ok) {
    std::fprintf(stderr, "thinning failed: %s\n", r.message);
    std::exit(1);
  }
  const std::vector<Epoch> coarse = ReadAll("coarse.obn");
  for (const char* ext : {".obn", ".nvb", ".sta"})
    CopyOrDie(std::string("coarse") + ext, std::string("keep") + ext);
  // The fastest of several runs of each, as the machine is shared.
  double oursSeconds = 1e9, copySeconds = 1e9;
  for (int run = 0; run < kRuns; ++run) {
    for (const char* ext : {".obn", ".nvb", ".sta"})
      CopyOrDie(std::string("keep") + ext, std::string("coarse") + ext);
    RegisteredCallBack.store(run == 0 ? &PrintLibraryText : nullptr);
    ResetObsStatusForTesting();
    const auto start = std::chrono::steady_clock::now();
    if (const Result r = ResampleObn("", "coarse.obn", "back.obn", 5.0); !r.ok) {
      std::fprintf(stderr, "interpolation failed: %s\n", r.message);
      std::exit(1);
    }
    oursSeconds = std::min(oursSeconds,
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    const auto copyStart = std::chrono::steady_clock::now();
    CopyOrDie("back.obn", "copy.obn");
    copySeconds = std::min(copySeconds,
        std::chrono::duration<double>(std::chrono::steady_clock::now() - copyStart).count());
  }
  RegisteredCallBack.store(nullptr);
  ResetObsStatusForTesting();
  const std::vector<Epoch> back = ReadAll("back.obn");
  const std::vector<Epoch> baseline = Baseline(coarse, 5.0);

  const Errors ours = Compare(back, original);
  const Errors base = Compare(baseline, original);
  std::printf("%zu epochs, thinned to %zu, interpolated back to %zu (baseline %zu)\n",
              original.size(), coarse.size(), back.size(), baseline.size());
  std::printf("%-28s %12s %12s\n", "", "ours", "baseline");
  PrintRow("L1 phase", Summarise(ours.phase), Summarise(base.phase), 1000.0, "mm");
  PrintRow("L1 range", Summarise(ours.range), Summarise(base.range), 100.0, "cm");
  std::printf("%-28s %12ld %12ld\n", "satellite values", ours.values, base.values);
  std::printf("%-28s %12ld %12ld\n", "values across LLI (gap)", ours.gapLockViolations,
              base.gapLockViolations);
  std::printf("%-28s %12ld %12ld\n", "values across LLI (stencil)", ours.stencilLockViolations,
              base.stencilLockViolations);
  std::printf("ResampleObn 30 s -> 5 s: %.4f s, %.0f output epochs/s, %.1f x a plain copy of its "
              "output (%.4f s)\n",
              oursSeconds, static_cast<double>(back.size()) / oursSeconds,
              oursSeconds / copySeconds, copySeconds);
}

// How long a running interpolation takes to end after StopInerpolation,
// asked from another thread a quarter of the way into a 0.1 s resampling.
void StopLatency(const std::vector<Epoch>& original, const std::string& companions) {
  std::printf("---- stop from another thread\n");
  auto prepare = [&] {
    WriteAll("fine.obn", original);
    for (const char* ext : {".nvb", ".sta"}) {
      char from[kPathSize];
      CopyText(from, sizeof from, companions.c_str());
      ReplaceExtension(from, ext);
      CopyOrDie(from, std::string("fine") + ext);
    }
    if (!ResampleObn("", "fine.obn", "coarse.obn", 30.0).ok) std::exit(1);
  };
  using Clock = std::chrono::steady_clock;
  prepare();
  auto start = Clock::now();
  if (const Result r = ResampleObn("", "coarse.obn", "tenth.obn", 0.1); !r.ok) {
    std::fprintf(stderr, "interpolation failed: %s\n", r.message);
    std::exit(1);
  }
  const double full = std::chrono::duration<double>(Clock::now() - start).count();
  prepare();
  Clock::time_point stopAt;
  start = Clock::now();
  std::thread stopper([&] {
    std::this_thread::sleep_for(std::chrono::duration<double>(full / 4));
    stopAt = Clock::now();
    StopInerpolation();
  });
  const Result result = ResampleObn("", "coarse.obn", "tenth.obn", 0.1);
  const Clock::time_point ended = Clock::now();
  stopper.join();
  std::printf("30 s -> 0.1 s takes %.3f s; stopped a quarter in: result %d, ended %.1f ms after "
              "the stop, output left: %s\n",
              full, result.ok ? 0 : -1, std::chrono::duration<double, std::milli>(ended - stopAt).count(),
              platform::FileExists("tenth.obn") ? "yes" : "no");
}

}  // namespace

int main(int argc, char** argv) {
  const std::string data = STANVEX_TEST_DATA;
  const fs::path observation = argc > 2 ? argv[1] : data + "/highrate/glw1277m.18o";
  const fs::path navigation = argc > 2 ? argv[2] : data + "/highrate/glw1277m.18n";
  const fs::path work =
      fs::temp_directory_path() / ("interp_bench_" + std::to_string(platform::TickCount()));
  fs::create_directories(work);
  const fs::path saved = fs::current_path();
  fs::current_path(work);
  char obn[kPathSize] = "day.obn";
  if (argc == 2) {  // an OBN file made elsewhere
    CopyOrDie(fs::absolute(saved / argv[1]), "day.obn");
    WriteFile("day.nvb");
    WriteFile("day.sta");
  } else {
    CopyOrDie(observation, "day.obs");
    CopyOrDie(navigation, "day.nav");
    if (const Result converted = ConvertRinexToObn("day.obs", "day.nav", obn, 0, 0);
        !converted.ok) {
      std::fprintf(stderr, "conversion failed: %s\n", converted.message);
      return 1;
    }
  }
  std::printf("input %s\n", argc == 2 ? argv[1] : observation.filename().c_str());
  const std::vector<Epoch> original = ReadAll(obn);
  RunScenario("as recorded", original, obn);
  long jumps = 0;
  const std::vector<Epoch> jumpy = WithUnflaggedJumps(original, 0.002, &jumps);
  char title[128];
  std::snprintf(title, sizeof title, "with %ld unflagged L1 jumps of 0.3-3.7 m added", jumps);
  RunScenario(title, jumpy, obn);
  StopLatency(original, obn);
  fs::current_path(saved);
  fs::remove_all(work);
  return 0;
}
