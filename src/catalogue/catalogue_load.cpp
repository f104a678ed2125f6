// Loading the catalogue into the host's record (iInitalizeNEW) and releasing
// it (vClearMem), and the library's knowledge of what is loaded.
#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "base/last_error.h"
#include "base/paths.h"
#include "base/request_state.h"
#include "base/text.h"
#include "base/text_compare.h"
#include "catalogue/catalogue.h"
#include "platform/platform.h"

namespace stanvex {

namespace {

// Arrays made by iInitalizeNEW and not yet released. The host may keep
// several records; only arrays listed here are ever released.
struct Arrays {
  StationRecord* stations;
  ServiceRecord* services;
  int32_t station_count;
  int32_t service_count;
};
std::vector<Arrays>& LiveArrays() {
  static std::vector<Arrays> live;
  return live;
}

// The arrays of the catalogue in LoadedCatalogue while CatalogueLoaded.
Arrays loaded_arrays{};
// What the library keeps beside them, one entry per record, in the arrays'
// order; released and replaced with them.
std::vector<StationExtras> loaded_station_extras;
std::vector<ServiceExtras> loaded_service_extras;

void ForgetLoaded() {
  CatalogueLoaded = false;
  loaded_arrays = Arrays{};
  std::vector<StationExtras>().swap(loaded_station_extras);
  std::vector<ServiceExtras>().swap(loaded_service_extras);
}

void Release(StationRecord* stations, ServiceRecord* services) {
  auto& live = LiveArrays();
  for (auto it = live.begin(); it != live.end();) {
    if (it->stations == stations && it->services == services) {
      if (CatalogueLoaded && loaded_arrays.stations == stations) ForgetLoaded();
      delete[] it->stations;
      delete[] it->services;
      it = live.erase(it);
    } else {
      ++it;
    }
  }
}

// Steps after the record is cleared: open, count, check, make and fill.
Result LoadCombined(const char* combined, Serv_Sta* catalogue) {
  FILE* file = std::fopen(combined, "rb");
  if (file == nullptr)
    return Result::Failure(kCatalogueLoadHeading, "Error Unable to OPEN Input File %s", combined);
  int32_t stations = CountBlocks(file, "Station");
  int32_t services = CountBlocks(file, "Service");
  const char* problem = nullptr;
  if (stations < 1)
    problem = "NO stations found in the input file ";
  else if (stations > kMaxStations)
    problem = "Too many stations in the input file ";
  else if (services < 1)
    problem = "NO services found in the input file ";
  else if (services > kMaxServices)
    problem = "Too many services in the input file ";
  if (problem == nullptr) {
    Arrays made{new (std::nothrow) StationRecord[static_cast<size_t>(stations)](),
                new (std::nothrow) ServiceRecord[static_cast<size_t>(services)](), stations,
                services};
    if (made.stations == nullptr || made.services == nullptr) {
      delete[] made.stations;
      delete[] made.services;
      problem = "Memory Allocation Error in iInitalizeNEW ";
    } else {
      catalogue->iNumStations = stations;
      catalogue->iNumServices = services;
      catalogue->pStations = made.stations;
      catalogue->pServices = made.services;
      LiveArrays().push_back(made);
      std::vector<StationExtras> station_extras;
      std::vector<ServiceExtras> service_extras;
      ParseStations(file, catalogue, &station_extras);
      ParseServices(file, catalogue, &service_extras);
      SortStations(catalogue, &station_extras);
      LinkServices(catalogue);
      ReportDuplicateStations(catalogue);
      loaded_arrays = made;
      loaded_station_extras.swap(station_extras);
      loaded_service_extras.swap(service_extras);
      CatalogueLoaded = true;
    }
  } else {
    catalogue->iNumStations = stations;
    catalogue->iNumServices = services;
  }
  std::fclose(file);
  if (problem != nullptr) return Result::Failure(kCatalogueLoadHeading, "%s%s", problem, combined);
  return Result::Success();
}

}  // namespace

Serv_Sta* RequireLoadedCatalogue() {
  Serv_Sta* catalogue = LoadedCatalogue;
  // The host's record must still describe the arrays this library made.
  bool usable =
      CatalogueLoaded && catalogue != nullptr && catalogue->pStations == loaded_arrays.stations &&
      catalogue->pServices == loaded_arrays.services && catalogue->iNumStations >= 0 &&
      catalogue->iNumStations <= loaded_arrays.station_count && catalogue->iNumServices >= 0 &&
      catalogue->iNumServices <= loaded_arrays.service_count;
  if (!usable) {
    SetLastErrorText("Error no station catalogue is loaded. Call iInitalizeNEW first");
    return nullptr;
  }
  return catalogue;
}

void ReleaseLoadedCatalogue() {
  if (CatalogueLoaded) Release(loaded_arrays.stations, loaded_arrays.services);
  ForgetLoaded();
}

const char* StationLongName(const StationRecord* station) {
  if (station == nullptr || !CatalogueLoaded || loaded_arrays.stations == nullptr) return nullptr;
  // The place in the array, found by comparing addresses as integers: a
  // pointer from elsewhere is never subtracted from the array's.
  uintptr_t first = reinterpret_cast<uintptr_t>(loaded_arrays.stations);
  uintptr_t at = reinterpret_cast<uintptr_t>(station);
  if (at < first) return nullptr;
  uintptr_t offset = at - first;
  if (offset % sizeof(StationRecord) != 0) return nullptr;
  size_t index = offset / sizeof(StationRecord);
  if (index >= loaded_station_extras.size()) return nullptr;
  const char* name = loaded_station_extras[index].longName;
  return name[0] != '\0' ? name : nullptr;
}

namespace {

const ServiceExtras* ExtrasOf(const ServiceRecord* service) {
  if (service == nullptr || !CatalogueLoaded || loaded_arrays.services == nullptr) return nullptr;
  uintptr_t first = reinterpret_cast<uintptr_t>(loaded_arrays.services);
  uintptr_t at = reinterpret_cast<uintptr_t>(service);
  if (at < first) return nullptr;
  uintptr_t offset = at - first;
  if (offset % sizeof(ServiceRecord) != 0) return nullptr;
  size_t index = offset / sizeof(ServiceRecord);
  if (index >= loaded_service_extras.size()) return nullptr;
  return &loaded_service_extras[index];
}

}  // namespace

int32_t ServiceAddressCount(const ServiceRecord* service) {
  const ServiceExtras* extras = ExtrasOf(service);
  return 1 + (extras != nullptr ? extras->mirrorCount : 0);
}

const char* ServiceAddress(const ServiceRecord* service, int32_t index) {
  if (service == nullptr || index < 0) return nullptr;
  if (index == 0) return service->ftpAd;
  const ServiceExtras* extras = ExtrasOf(service);
  if (extras == nullptr || index > extras->mirrorCount) return nullptr;
  return extras->mirrors[index - 1];
}

const char* ServiceSubDailyTemplate(const ServiceRecord* service, SubDailyTemplate which) {
  const ServiceExtras* extras = ExtrasOf(service);
  if (extras == nullptr) return "";
  switch (which) {
    case SubDailyTemplate::kHourly:
      return extras->hourlyFile;
    case SubDailyTemplate::kQuarterHourly:
      return extras->quarterFile;
    case SubDailyTemplate::kRollingNavigation:
      return extras->rollingNavFile;
  }
  return "";
}

ServiceRecord* FindService(const char* id) {
  Serv_Sta* catalogue = LoadedCatalogue;
  if (id == nullptr || !CatalogueLoaded || catalogue == nullptr ||
      catalogue->pServices != loaded_arrays.services)
    return nullptr;
  int32_t count = std::min(catalogue->iNumServices, loaded_arrays.service_count);
  for (int32_t i = 0; i < count; ++i)
    if (FoldedCompare(catalogue->pServices[i].ServId, id, sizeof catalogue->pServices[i].ServId) ==
        0)
      return &catalogue->pServices[i];
  return nullptr;
}

Result JoinCatalogueFiles(const char* catalogueDirectory, char* combined) {
  // The host's directory text is never written to: JoinPath works on copies.
  char directory[kPathSize];
  CopyText(directory, sizeof directory, catalogueDirectory);
  char manufact[kPathSize] = "manufact.dwn";
  char user[kPathSize] = "user.dwn";
  CopyText(combined, kPathSize, "combined.dwn");
  if (JoinPath(directory, manufact) != 0 || JoinPath(directory, user) != 0 ||
      JoinPath(directory, combined) != 0)
    return Result::FailureFromLastError();

  switch (ConcatenateTwoASCIIFiles(manufact, user, combined)) {
    case -1:
      return Result::Failure(nullptr, "Could not open temporary file '%s'", combined);
    case -2:
      return Result::Failure(nullptr, "Memory Allocation Error in ConcatenateTwoASCIIFiles");
    case -3:
      return Result::Failure(nullptr, "Disk-full writing to '%s'", combined);
    default:
      return Result::Success();
  }
}

Result LoadCatalogue(const char* combined, const char* workingDirectory, Serv_Sta* catalogue) {
  if (!platform::GetCurrentDir(SavedDirectory, sizeof SavedDirectory)) SavedDirectory[0] = '\0';
  // Arrays this record still refers to become unreachable once it is
  // cleared, so they are released now.
  Release(catalogue->pStations, catalogue->pServices);
  if (CatalogueLoaded && LoadedCatalogue == catalogue) ReleaseLoadedCatalogue();
  ForgetLoaded();
  LoadedCatalogue = catalogue;
  CopyText(WorkingDirectory, sizeof WorkingDirectory, workingDirectory);
  std::memset(catalogue, 0, sizeof *catalogue);
  return LoadCombined(combined, catalogue);
}

void ReleaseCatalogue(Serv_Sta* catalogue) { Release(catalogue->pStations, catalogue->pServices); }

}  // namespace stanvex
