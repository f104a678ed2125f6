// A synthetic data archive laid out like the real ones: daily observation
// and navigation files of a few stations under the path templates of their
// services, each service with its own packing, an IGS service with merged
// navigation files, the catalogue (manufact.dwn) that describes it with
// file:// addresses, and the stations' true coordinates. On request also the
// sub-daily products of two services (subdaily_archive.h) and a "today" that
// has only those.
#ifndef STANVEX_SIM_SAMPLE_ARCHIVE_H
#define STANVEX_SIM_SAMPLE_ARCHIVE_H

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "packing.h"
#include "simulator.h"

namespace stanvex::sim {

// The sub-daily products of a service (catalogue keys hFile:, qFile:,
// hnFile:), empty for none.
struct SubDailyTemplates {
  std::string hourly;      // hourly observation files at the archive's interval
  std::string quarter;     // 15-minute observation files at 1 s
  std::string rollingNav;  // navigation rebuilt through the day, every day
};

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
  SubDailyTemplates subDaily;
  std::string comment;  // a comment line above the service's block, empty for none
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
  // Adds the services of SubDailyServices and, when stations is empty, their
  // stations (SubDailyStations); their archive goes on for one more day,
  // "today", up to todayHours hours into it (1 to 24): its hourly files and
  // its rolling navigation file exist, its daily files do not.
  bool subDaily = false;
  int todayHours = 13;
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
//   recorded/<name>.rnx      with subDaily: the first 1 Hz hour of each
//                            station with 15-minute files, as recorded
// Returns false with *error on an unusable output folder (its absolute path
// must be short enough for the catalogue's address field and free of
// blanks, quotes and semicolons) or a failed write.
bool WriteSampleArchive(const ArchiveOptions& options, std::vector<std::string>* written,
                        std::string* error);

// The remote path of template for a station and the file that starts at
// startGps (the day's first second for daily files), with the subset of the
// catalogue tokens the sample templates use: <YYYY> <yy> <JJJ> <XXXX>
// <XXXXMRCCC> (the long name) <MN> <DM> <WEEK> <D>, and of the file's start
// <h> (hour letter a-x) <HH> <MM>. Alternatives separated by '|' are
// expanded each and kept apart by '|'.
std::string ExpandTemplate(const std::string& pathTemplate, const std::string& station,
                           int64_t startGps, const std::string& longName = std::string());
// The alternative of a template (or of an expanded path) at index (0 for
// the first); the last one when there are fewer.
std::string Alternative(const std::string& pathTemplate, size_t index);

}  // namespace stanvex::sim

#endif  // STANVEX_SIM_SAMPLE_ARCHIVE_H
