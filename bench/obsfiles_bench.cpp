// Joining and splicing three days of 1-second OBN data, side by side with
// `cat` copying the same bytes.
//
// Builds three daily files of 86400 epochs with 12 measurements each, then
// for each repetition: restores the daily files, times ConcatenateDailyFiles
// + SpliceToWindow in a child process (whose peak resident memory is read
// back), and times `cat` joining the same three files and copying the joined
// file. Prints both times, their ratio, and the peak memory of a one-day and
// a three-day run, which must be alike.
//
// Usage: obsfiles_bench [work directory] [repetitions]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "obsfiles/concatenate.h"
#include "obsfiles/obn_file.h"
#include "obsfiles/splice.h"
#include "platform/platform.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kEpochsPerDay = 86400;
constexpr int kChannels = 12;

bool WriteDay(const std::string& name, int day) {
  stanvex::ObnFile* file = nullptr;
  if (!stanvex::CreateObn(name.c_str(), 1, 1.0f, stanvex::kObnBufferSize,
                          stanvex::kObnWriterChannels, &file)
           .ok)
    return false;
  stanvex::ObnPositionRecord position{};
  stanvex::ObnMeasurementRecord measurements[kChannels]{};
  bool ok = true;
  for (int i = 0; i < kEpochsPerDay && ok; ++i) {
    position.count = kChannels;
    position.flags = 1;
    position.week = 2138;
    position.position1 = 47.0 + i * 1e-9;
    position.position2 = 7.0;
    position.time = 86400.0 * (day + 1) + i;  // Monday to Wednesday
    for (int m = 0; m < kChannels; ++m) {
      measurements[m].prn = static_cast<uint8_t>(m + 1);
      measurements[m].l1Phase = 1.1e8 + i * 0.19 + m;
      measurements[m].l1Range = 2.1e7 + i + m;
    }
    ok = stanvex::WriteObnEpoch(file, &position, measurements).ok;
  }
  return stanvex::CloseObn(file).ok && ok;
}

std::string Name(const std::string& dir, const std::string& file) { return dir + "/" + file; }

void Restore(const std::string& dir, int days) {
  for (int d = 0; d < days; ++d) {
    const std::string base = "abcd00" + std::to_string(d + 1) + "0";
    for (const char* ext : {".obn", ".nvb", ".sta"})
      stanvex::platform::CopyFile(Name(dir, "master" + std::to_string(d) + ext).c_str(),
                                  Name(dir, base + ext).c_str(), true);
  }
}

double CpuSeconds(const rusage& usage) {
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Joins and splices days daily files in dir in a child; returns wall and CPU
// seconds and the child's peak resident memory in KiB.
bool RunOurs(const std::string& dir, int days, double* seconds, double* cpu, long* peakKiB) {
  Restore(dir, days);
  std::fflush(stdout);  // the child prints too: nothing buffered may be printed twice
  const auto begin = Clock::now();
  const pid_t child = fork();
  if (child == 0) {
    if (!stanvex::platform::SetCurrentDir(dir.c_str())) _exit(2);
    char names[3][stanvex::kDailyNameSize] = {"abcd0010.obn", "abcd0020.obn", "abcd0030.obn"};
    const auto joinBegin = Clock::now();
    bool ok = days > 1 ? stanvex::ConcatenateDailyFiles(names, "abcd0010tmp.obn", days).ok : true;
    const auto spliceBegin = Clock::now();
    if (days == 1) {
      stanvex::platform::MoveFile("abcd0010.obn", "abcd0010tmp.obn");
      stanvex::platform::MoveFile("abcd0010.nvb", "abcd0010tmp.nvb");
      stanvex::platform::MoveFile("abcd0010.sta", "abcd0010tmp.sta");
    }
    char output[32];
    // From noon of the first day to noon of the last.
    const double start = 86400.0 + 43200.0;
    const double end = 86400.0 * days + 43200.0;
    if (ok) ok = stanvex::SpliceToWindow("abcd0010tmp.obn", output, sizeof output, start, end).ok;
    // The two passes over the data: joining writes the joined file, splicing
    // reads it back and writes the window.
    std::printf("  pass 1 (join) %.3f s, pass 2 (splice) %.3f s\n",
                std::chrono::duration<double>(spliceBegin - joinBegin).count(),
                std::chrono::duration<double>(Clock::now() - spliceBegin).count());
    std::fflush(stdout);
    _exit(ok ? 0 : 1);
  }
  int status = 0;
  rusage usage{};
  if (child < 0 || wait4(child, &status, 0, &usage) != child) return false;
  *seconds = std::chrono::duration<double>(Clock::now() - begin).count();
  *peakKiB = usage.ru_maxrss;
  *cpu = CpuSeconds(usage);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// cat joining the three files and copying the joined file; with removeInputs
// the files it has read are deleted as the join and the splice delete theirs.
double RunCat(const std::string& dir, bool removeInputs, double* cpu) {
  Restore(dir, 3);
  std::string command = "cd '" + dir + "' && cat abcd0010.obn abcd0020.obn abcd0030.obn > cat_joined.obn";
  if (removeInputs) command += " && rm abcd0010.obn abcd0020.obn abcd0030.obn";
  command += " && cat cat_joined.obn > cat_copy.obn";
  if (removeInputs) command += " && rm cat_joined.obn";
  rusage before{}, after{};
  getrusage(RUSAGE_CHILDREN, &before);
  const auto begin = Clock::now();
  if (std::system(command.c_str()) != 0) return -1;
  const double seconds = std::chrono::duration<double>(Clock::now() - begin).count();
  getrusage(RUSAGE_CHILDREN, &after);
  *cpu = CpuSeconds(after) - CpuSeconds(before);
  return seconds;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  std::string dir = argc > 1 ? argv[1] : "/tmp/stanvex_obsfiles_bench";
  const int repetitions = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  stanvex::platform::MakeDirectory(dir.c_str());
  for (int d = 0; d < 3; ++d) {
    const std::string master = Name(dir, "master" + std::to_string(d));
    if (!WriteDay(master + ".obn", d)) {
      std::fprintf(stderr, "cannot write %s.obn\n", master.c_str());
      return 1;
    }
    std::FILE* text = std::fopen((master + ".nvb").c_str(), "wb");
    if (text) std::fputs("$EPHREC\r\n", text), std::fclose(text);
    text = std::fopen((master + ".sta").c_str(), "wb");
    if (text) std::fputs("Marker: abcd\r\n", text), std::fclose(text);
  }
  const long long dayBytes = stanvex::platform::FileSize(Name(dir, "master0.obn").c_str());
  std::printf("daily file: %lld bytes (%d epochs x %d measurements)\n", dayBytes, kEpochsPerDay,
              kChannels);

  std::vector<double> ours, cat, catRemove, oursCpu, catCpu;
  long peak3 = 0;
  for (int r = 0; r < repetitions; ++r) {
    double seconds = 0, cpu = 0, catCpuSeconds = 0, catRemoveCpu = 0;
    long peak = 0;
    if (!RunOurs(dir, 3, &seconds, &cpu, &peak)) {
      std::fprintf(stderr, "join/splice failed\n");
      return 1;
    }
    ours.push_back(seconds);
    oursCpu.push_back(cpu);
    peak3 = std::max(peak3, peak);
    const double catSeconds = RunCat(dir, false, &catCpuSeconds);
    const double catRemoveSeconds = RunCat(dir, true, &catRemoveCpu);
    if (catSeconds < 0 || catRemoveSeconds < 0) {
      std::fprintf(stderr, "cat failed\n");
      return 1;
    }
    cat.push_back(catSeconds);
    catRemove.push_back(catRemoveSeconds);
    catCpu.push_back(catRemoveCpu);
    std::printf("run %d: join+splice %.3f s   cat %.3f s (ratio %.2f)   cat+rm %.3f s (ratio %.2f)\n",
                r + 1, seconds, catSeconds, seconds / catSeconds, catRemoveSeconds,
                seconds / catRemoveSeconds);
  }
  double oneDaySeconds = 0, oneDayCpu = 0;
  long peak1 = 0;
  if (!RunOurs(dir, 1, &oneDaySeconds, &oneDayCpu, &peak1)) return 1;

  const double oursMedian = Median(ours), catMedian = Median(cat);
  const double catRemoveMedian = Median(catRemove);
  std::printf("median: join+splice %.3f s (%.0f MB/s read)   cat %.3f s   cat+rm %.3f s\n",
              oursMedian, 6.0 * static_cast<double>(dayBytes) / oursMedian / 1e6, catMedian,
              catRemoveMedian);
  std::printf("ratio against cat %.2f, against cat+rm %.2f (goal <= 1.5)\n", oursMedian / catMedian,
              oursMedian / catRemoveMedian);
  std::printf("CPU time (user+system): join+splice %.3f s   cat+rm %.3f s   ratio %.2f\n",
              Median(oursCpu), Median(catCpu), Median(oursCpu) / Median(catCpu));
  std::printf("peak resident memory: 3 days %ld KiB, 1 day %ld KiB\n", peak3, peak1);
  std::string cleanup = "rm -rf '" + dir + "'";
  if (argc <= 1 && std::system(cleanup.c_str()) != 0) return 1;
  return 0;
}
