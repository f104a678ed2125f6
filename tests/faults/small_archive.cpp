#include "small_archive.h"

#include "base/gps_time.h"
#include "sample_archive_cache.h"

namespace stanvex::testing {

int64_t SmallArchiveFirstDay() { return GpsSecondsAt(2023, 1, 1, 0, 0, 0); }

std::string SmallArchive() {
  sim::ArchiveOptions options;
  options.startGps = SmallArchiveFirstDay();
  options.days = 2;
  options.interval = 300;
  options.seed = 11;
  return CachedArchive("faults-archive-v1", options);
}

}  // namespace stanvex::testing
