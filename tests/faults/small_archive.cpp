#include "small_archive.h"

#include <unistd.h>

#include <filesystem>

#include "pipeline/gps_time.h"
#include "sample_archive.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace stanvex::testing {

int64_t SmallArchiveFirstDay() { return GpsSecondsAt(2023, 1, 1, 0, 0, 0); }

std::string SmallArchive() {
  fs::path final_dir = fs::path(OutDir()).parent_path() / "test-data" / "faults-archive-v1";
  if (fs::exists(final_dir / "done")) return final_dir.string();
  fs::create_directories(final_dir.parent_path());
  // Written beside its final place and renamed: parallel test processes
  // never see half an archive.
  fs::path temp = final_dir.string() + ".tmp" + std::to_string(::getpid());
  sim::ArchiveOptions options;
  options.out_dir = temp.string();
  options.start_gps = SmallArchiveFirstDay();
  options.days = 2;
  options.interval = 300;
  options.seed = 11;
  std::string error;
  if (!sim::WriteSampleArchive(options, nullptr, &error)) return std::string();
  WriteFile((temp / "done").string(), "ok\n");
  std::error_code ignored;
  fs::rename(temp, final_dir, ignored);
  if (ignored) fs::remove_all(temp, ignored);
  return fs::exists(final_dir / "done") ? final_dir.string() : std::string();
}

}  // namespace stanvex::testing
