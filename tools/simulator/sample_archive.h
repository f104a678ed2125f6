// A synthetic data archive laid out like the real ones: daily observation
// and navigation files of a few stations under the path templates of their
// services, each service with its own packing, an IGS service with merged
// navigation files, the catalogue (manufact.dwn) that describes it with
// file:// addresses, and the stations' true coordinates.
#ifndef STANVEX_SIM_SAMPLE_ARCHIVE_H
#define STANVEX_SIM_SAMPLE_ARCHIVE_H

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "packing.h"
#include "simulator.h"

namespace stanvex::sim {

struct ArchiveService {
  std::string id;      // ServId
  std::string ftype;   // Ftype
  Packing packing;
  std::string color;
  std::string obsTemplate;      // oFile
  std::string navTemplate;      // nFile
  std::string compactTemplate;  // dFile, empty for none
  bool publishesObs = true;     // plain observation files exist
  bool publishesNav = true;     // navigation files exist
  // RINEX 3 files under long names: observation files as compact RINEX 3,
  // one merged RINEX 3 navigation file per day for all its stations.
  bool rinex3 = false;
};

struct ArchiveStation {
  ArchiveStation() = default;
  ArchiveStation(Station s, std::string serviceId, std::string longName_ = std::string(),
                 bool alternate_ = false)
      : station(std::move(s)),
        service(std::move(serviceId)),
        longName(std::move(longName_)),
        alternate(alternate_) {}
  Station station;
  std::string service;  // ServId
  // The nine-character RINEX 3 name (catalogue key lName:), for stations of
  // a RINEX 3 service.
  std::string longName;
  // Odd days of the archive are published under the second alternative of
  // the service's templates (a station that switched from _R_ to _S_ names).
  bool alternate = false;
};

struct ArchiveOptions {
  std::string outDir;      // created when missing
  int64_t startGps = 0;    // first day, 00:00:00 GPS
  int days = 3;
  double interval = 30;
  uint64_t seed = 1;
  SlipOptions slips;
  std::vector<ArchiveStation> stations;  // empty: DefaultStations()
  // Adds the RINEX-3-only service (Rinex3Service) to the catalogue and, when
  // stations is empty, its stations (Rinex3Stations).
  bool rinex3 = false;
  // With rinex3: the IGS service too is laid out as today (IgsLongNameService),
  // and the RINEX 3 service publishes no navigation files of its own, so its
  // retrievals take the merged file through the IGS fallback.
  bool igsLongNames = false;
};

// The services of the sample catalogue, IGS last.
std::vector<ArchiveService> SampleServices();
// The default stations, one or two per service.
std::vector<ArchiveStation> DefaultStations();
// The RINEX-3-only service, laid out like the IGS archive at a data centre
// today: /IGS/obs/<YYYY>/<JJJ>/ holds compact RINEX 3 files under long names
// (SSSSMRCCC_R_YYYYDDD0000_01D_30S_MO.crx.gz, or _S_ for streamed data: the
// template names both), /IGS/BRDC/<YYYY>/<JJJ>/ the merged navigation file
// BRDC00IGS_R_YYYYDDD0000_01D_MN.rnx.gz; gzip throughout. The interval
// (seconds) gives the names' data-frequency field.
ArchiveService Rinex3Service(double interval);
// The IGS service of today: the same long-name layout under its own root,
// whose merged navigation file serves every service's fallback.
ArchiveService IgsLongNameService(double interval);
// Its stations, with long names; the second one alternates _R_ and _S_.
std::vector<ArchiveStation> Rinex3Stations();

// Layout below outDir:
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
// <XXXXMRCCC> (the long name) <MN> <DM> <WEEK> <D>). Alternatives separated
// by '|' are expanded each and kept apart by '|'.
std::string ExpandTemplate(const std::string& pathTemplate, const std::string& station,
                           int64_t dayGps, const std::string& longName = std::string());
// The alternative of a template (or of an expanded path) at index (0 for
// the first); the last one when there are fewer.
std::string Alternative(const std::string& pathTemplate, size_t index);

}  // namespace stanvex::sim

#endif  // STANVEX_SIM_SAMPLE_ARCHIVE_H
