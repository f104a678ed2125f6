// A synthetic data archive laid out like the real ones: daily observation
// and navigation files of a few stations under the path templates of their
// services, each service with its own packing, an IGS service with merged
// navigation files, the catalogue (manufact.dwn) that describes it with
// file:// addresses, and the stations' true coordinates.
#ifndef STANVEX_SIM_SAMPLE_ARCHIVE_H
#define STANVEX_SIM_SAMPLE_ARCHIVE_H

#include <cstdint>
#include <string>
#include <vector>

#include "packing.h"
#include "simulator.h"

namespace stanvex::sim {

struct ArchiveService {
  std::string id;      // ServId
  std::string ftype;   // Ftype
  Packing packing;
  std::string color;
  std::string obs_template;      // oFile
  std::string nav_template;      // nFile
  std::string compact_template;  // dFile, empty for none
  bool publishes_obs = true;     // plain observation files exist
  bool publishes_nav = true;     // navigation files exist
};

struct ArchiveStation {
  Station station;
  std::string service;  // ServId
};

struct ArchiveOptions {
  std::string out_dir;      // created when missing
  int64_t start_gps = 0;    // first day, 00:00:00 GPS
  int days = 3;
  double interval = 30;
  uint64_t seed = 1;
  SlipOptions slips;
  std::vector<ArchiveStation> stations;  // empty: DefaultStations()
};

// The services of the sample catalogue, IGS last.
std::vector<ArchiveService> SampleServices();
// The default stations, one or two per service.
std::vector<ArchiveStation> DefaultStations();

// Layout below out_dir:
//   catalogue/manufact.dwn   the catalogue
//   stations.txt             true coordinates (ECEF and geodetic)
//   archive/<service>/...    the files, under each service's templates
// Returns false with *error on an unusable output folder (its absolute path
// must be short enough for the catalogue's address field and free of
// blanks, quotes and semicolons) or a failed write.
bool WriteSampleArchive(const ArchiveOptions& options, std::vector<std::string>* written,
                        std::string* error);

// The remote path of template for a station and day (the subset of the
// catalogue tokens the sample templates use: <YYYY> <yy> <JJJ> <XXXX>
// <MN> <DM> <WEEK> <D>).
std::string ExpandTemplate(const std::string& path_template, const std::string& station,
                           int64_t day_gps);

}  // namespace stanvex::sim

#endif  // STANVEX_SIM_SAMPLE_ARCHIVE_H
