// What the retrieval and availability commands share: the loaded catalogue,
// the stations a command names (one by name, or the nearest to a position)
// and which of them a login given on the command line goes to.
#ifndef STANVEX_TOOLS_STATION_CHOICE_H
#define STANVEX_TOOLS_STATION_CHOICE_H

#include <string>
#include <vector>

#include "stanvex.h"

namespace stanvex::cli {

// Loads a staged catalogue (StageCatalogue) into the library on
// construction, with work as the working folder, and releases it on every
// way out. Throws CommandFailure with the library's reason.
class ScopedCatalogue {
 public:
  ScopedCatalogue(const std::string& staged, const std::string& work);
  ~ScopedCatalogue();
  ScopedCatalogue(const ScopedCatalogue&) = delete;
  ScopedCatalogue& operator=(const ScopedCatalogue&) = delete;
  const Serv_Sta& records() const { return catalogue_; }

 private:
  Serv_Sta catalogue_{};
};

// The catalogue folder a command reads: the one given, else the catalogue
// bundled beside the program.
std::string CatalogueFolder(const std::string& given);

// The station name of service (any service when empty; a station that
// several services serve has a record under each); null when none.
StationRecord* FindStation(const Serv_Sta& catalogue, const std::string& name,
                           const std::string& service);

// Up to count stations within maxKm of the position, nearest first, of
// service only when one is named. Throws CommandFailure with the library's
// reason.
std::vector<StationRecord*> NearestStations(double latitude, double longitude, double maxKm,
                                            int count, const std::string& service);

// The record's name and service as texts (their fields need not end in NUL).
std::string StationName(const StationRecord& station);
std::string StationService(const StationRecord& station);

// True when the station's service takes bearer tokens (auth: bearer).
bool TakesToken(const StationRecord& station);

// Whether a login given on the command line goes to station when a command
// reaches several stations (--nearest): a password without a user name is a
// bearer token and goes to the stations of services that take tokens only;
// a user's login goes to the stations of the service named by --service
// (required then, RequireServiceForUser).
bool LoginGoesTo(const StationRecord& station, const std::string& user,
                 const std::string& service);

// Refuses --user with --nearest but without --service: the login would go to
// every nearby archive.
void RequireServiceForUser(const std::string& user, const std::string& service);

// "150" or "12.5" for a distance in km.
std::string KmText(double km);

// "2021-01-03" for the day of GPS seconds.
std::string DayText(double seconds);

}  // namespace stanvex::cli

#endif  // STANVEX_TOOLS_STATION_CHOICE_H
