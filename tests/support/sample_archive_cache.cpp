#include "sample_archive_cache.h"

#include <unistd.h>

#include <filesystem>

#include "base/gps_time.h"
#include "sample_archive.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace stanvex::testing {

int64_t ArchiveFirstDay() { return GpsSecondsAt(2022, 12, 31, 0, 0, 0); }

std::string CachedArchive(const std::string& name, sim::ArchiveOptions options) {
  fs::path finalDir = fs::path(OutDir()).parent_path() / "test-data" / name;
  if (fs::exists(finalDir / "done")) return finalDir.string();
  fs::create_directories(finalDir.parent_path());
  // Made beside its final place and renamed, so concurrent test processes
  // never see a half-written archive.
  fs::path temp = finalDir.string() + ".tmp" + std::to_string(::getpid());
  options.outDir = temp.string();
  std::string error;
  if (!sim::WriteSampleArchive(options, nullptr, &error)) return std::string();
  WriteFile((temp / "done").string(), "ok\n");
  std::error_code ignored;
  fs::rename(temp, finalDir, ignored);
  if (ignored) fs::remove_all(temp, ignored);
  return fs::exists(finalDir / "done") ? finalDir.string() : std::string();
}

std::string SampleArchive() {
  sim::ArchiveOptions options;
  options.startGps = ArchiveFirstDay();
  options.days = 3;
  options.interval = 30;
  options.seed = 7;
  for (const sim::ArchiveStation& station : sim::DefaultStations())
    if (station.station.name != "simb") options.stations.push_back(station);
  return CachedArchive("retrieval-archive-v1", options);
}

}  // namespace stanvex::testing
