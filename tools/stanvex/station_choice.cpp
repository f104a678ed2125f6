#include "station_choice.h"

#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "base/gps_time.h"
#include "catalogue/catalogue.h"
#include "command.h"

namespace stanvex::cli {

ScopedCatalogue::ScopedCatalogue(const std::string& staged, const std::string& work) {
  catalogue_.iServiceSize = sizeof(ServiceRecord);
  catalogue_.iStationSize = sizeof(StationRecord);
  std::vector<char> text(staged.begin(), staged.end());
  text.push_back('\0');
  if (iInitalizeNEW(text.data(), work.c_str(), &catalogue_) != 0)
    throw CommandFailure{LibraryError()};
}

ScopedCatalogue::~ScopedCatalogue() { vClearMem(&catalogue_); }

std::string CatalogueFolder(const std::string& given) {
  if (!given.empty()) return given;
  return (std::filesystem::path(ProgramDirectory()) / "catalogue").string();
}

std::string StationName(const StationRecord& station) {
  return std::string(station.sName, strnlen(station.sName, sizeof station.sName));
}

std::string StationService(const StationRecord& station) {
  return std::string(station.serv, strnlen(station.serv, sizeof station.serv));
}

StationRecord* FindStation(const Serv_Sta& catalogue, const std::string& name,
                           const std::string& service) {
  for (int32_t i = 0; i < catalogue.iNumStations; ++i) {
    StationRecord& station = catalogue.pStations[i];
    if (strcasecmp(StationName(station).c_str(), name.c_str()) == 0 &&
        (service.empty() || strcasecmp(StationService(station).c_str(), service.c_str()) == 0))
      return &station;
  }
  return nullptr;
}

std::vector<StationRecord*> NearestStations(double latitude, double longitude, double maxKm,
                                            int count, const std::string& service) {
  // A service named leaves out the others' stations: ask for all of them.
  // No catalogue holds more than kMaxStations, so a larger count asks them all.
  const int32_t wanted = service.empty() ? std::min(count, kMaxStations) : kMaxStations;
  std::vector<StationRecord*> found(static_cast<size_t>(wanted > 0 ? wanted : 1));
  int32_t number = 0;
  if (iFindClosestStation(latitude, longitude, maxKm * 1000.0, found.data(), wanted, &number) !=
      0)
    throw CommandFailure{LibraryError()};
  std::vector<StationRecord*> chosen;
  for (int32_t i = 0; i < number && static_cast<int>(chosen.size()) < count; ++i) {
    StationRecord* station = found[static_cast<size_t>(i)];
    if (service.empty() || strcasecmp(StationService(*station).c_str(), service.c_str()) == 0)
      chosen.push_back(station);
  }
  return chosen;
}

bool TakesToken(const StationRecord& station) {
  return ServiceUsesBearerToken(FindService(StationService(station).c_str()));
}

bool LoginGoesTo(const StationRecord& station, const std::string& user,
                 const std::string& service) {
  if (user.empty()) return TakesToken(station);
  return strcasecmp(StationService(station).c_str(), service.c_str()) == 0;
}

void RequireServiceForUser(const std::string& user, const std::string& service) {
  if (!user.empty() && service.empty())
    throw CommandFailure{
        "--user with --nearest needs --service: the login goes to that service's stations "
        "only, not to every archive nearby"};
}

std::string KmText(double km) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", km);
  return text;
}

std::string DayText(double seconds) {
  GpsTime time{};
  time.seconds = static_cast<int32_t>(seconds);
  time.ComputeFromSeconds();
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", time.year, time.month, time.day);
  return text;
}

}  // namespace stanvex::cli
