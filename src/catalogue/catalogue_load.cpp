// Loading the catalogue into the host's record (iInitalizeNEW) and releasing
// it (vClearMem), and the library's knowledge of what is loaded.
#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

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

// A catalogue read from combined.dwn and not yet given to the host: the
// arrays are freed unless Commit hands them over.
struct ReadCatalogue {
  Serv_Sta record{};
  std::unique_ptr<StationRecord[]> stations;
  std::unique_ptr<ServiceRecord[]> services;
  std::vector<StationExtras> stationExtras;
  std::vector<ServiceExtras> serviceExtras;
};

struct FileCloser {
  void operator()(FILE* file) const { std::fclose(file); }
};

// Opens, counts, checks, makes and fills.
Result ReadCombined(const char* combined, const CatalogueOrigin& origin, ReadCatalogue* read) {
  std::unique_ptr<FILE, FileCloser> file(platform::OpenForReading(combined));
  if (!file)
    return Result::Failure(kCatalogueLoadHeading, "Error Unable to OPEN Input File %s", combined);
  int32_t stations = CountBlocks(file.get(), "Station");
  int32_t services = CountBlocks(file.get(), "Service");
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
    read->stations.reset(new (std::nothrow) StationRecord[static_cast<size_t>(stations)]());
    read->services.reset(new (std::nothrow) ServiceRecord[static_cast<size_t>(services)]());
    if (!read->stations || !read->services) problem = "Memory Allocation Error in iInitalizeNEW ";
  }
  if (problem != nullptr) return Result::Failure(kCatalogueLoadHeading, "%s%s", problem, combined);

  Serv_Sta* record = &read->record;
  record->iNumStations = stations;
  record->iNumServices = services;
  record->pStations = read->stations.get();
  record->pServices = read->services.get();
  ReportLongLineBlocks(file.get(), origin);
  ParseStations(file.get(), record, &read->stationExtras, origin);
  ParseServices(file.get(), record, &read->serviceExtras, origin);
  SortStations(record, &read->stationExtras);
  LinkServices(record);
  ReportDuplicateStations(record);
  return Result::Success();
}

// Makes read the loaded catalogue in the host's record (whose sizes become 0).
void Commit(ReadCatalogue* read, Serv_Sta* catalogue) {
  Arrays made{read->stations.get(), read->services.get(), read->record.iNumStations,
              read->record.iNumServices};
  LiveArrays().push_back(made);
  read->stations.release();
  read->services.release();
  *catalogue = read->record;
  loaded_arrays = made;
  loaded_station_extras.swap(read->stationExtras);
  loaded_service_extras.swap(read->serviceExtras);
  CatalogueLoaded = true;
}

}  // namespace

Result RequireLoadedCatalogue(Serv_Sta** loaded) {
  *loaded = nullptr;
  Serv_Sta* catalogue = LoadedCatalogue;
  // The host's record must still describe the arrays this library made.
  bool usable =
      CatalogueLoaded && catalogue != nullptr && catalogue->pStations == loaded_arrays.stations &&
      catalogue->pServices == loaded_arrays.services && catalogue->iNumStations >= 0 &&
      catalogue->iNumStations <= loaded_arrays.station_count && catalogue->iNumServices >= 0 &&
      catalogue->iNumServices <= loaded_arrays.service_count;
  if (!usable)
    return Result::Failure(nullptr,
                           "Error no station catalogue is loaded. Call iInitalizeNEW first");
  *loaded = catalogue;
  return Result::Success();
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
  return 1 + (extras != nullptr ? static_cast<int32_t>(extras->mirrors.size()) : 0);
}

const char* ServiceAddress(const ServiceRecord* service, int32_t index) {
  if (service == nullptr || index < 0) return nullptr;
  if (index == 0) return service->ftpAd;
  const ServiceExtras* extras = ExtrasOf(service);
  if (extras == nullptr || static_cast<size_t>(index) > extras->mirrors.size()) return nullptr;
  return extras->mirrors[static_cast<size_t>(index) - 1].c_str();
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

bool ServiceUsesBearerToken(const ServiceRecord* service) {
  const ServiceExtras* extras = ExtrasOf(service);
  return extras != nullptr && extras->bearerToken;
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

Result JoinCatalogueFiles(const char* catalogueDirectory, char* combined,
                          CatalogueOrigin* origin) {
  // The host's directory text is never written to: JoinPath works on copies.
  char directory[kPathSize];
  CopyText(directory, sizeof directory, catalogueDirectory);
  char manufact[kPathSize] = "manufact.dwn";
  char user[kPathSize] = "user.dwn";
  CopyText(combined, kPathSize, "combined.dwn");
  for (char* name : {manufact, user, combined}) {
    Result joined = JoinPath(directory, name);
    if (!joined.ok) return joined;
  }

  int32_t makerLines = 0;
  int32_t joined = 0;
  Result concatenated = ConcatenateTwoASCIIFiles(manufact, user, combined, &joined, &makerLines);
  *origin = CatalogueOrigin{};
  if (joined == 1 || joined == 3) origin->firstFile = "manufact.dwn";
  if (joined == 2) origin->firstFile = "user.dwn";
  if (joined == 3) origin->userFirstLine = makerLines + 1;
  return concatenated;
}

Result LoadCatalogue(const char* combined, const char* workingDirectory, Serv_Sta* catalogue,
                     const CatalogueOrigin& origin) {
  if (!platform::GetCurrentDir(SavedDirectory, sizeof SavedDirectory)) SavedDirectory[0] = '\0';
  // The arrays of this record, should it be the loaded one, even where the
  // host has changed its pointers since.
  Arrays previous = CatalogueLoaded && LoadedCatalogue == catalogue ? loaded_arrays : Arrays{};
  ForgetLoaded();
  LoadedCatalogue = catalogue;
  // A folder cut to fit would be another folder: refused as a failed load.
  if (workingDirectory != nullptr && std::strlen(workingDirectory) >= kDirectorySize)
    return Result::Failure(kCatalogueLoadHeading, "Error: the directory %s is too long",
                           workingDirectory);
  CopyText(WorkingDirectory, sizeof WorkingDirectory, workingDirectory);
  ReadCatalogue read;
  Result result = ReadCombined(combined, origin, &read);
  // A failed load leaves the host's record and its arrays as they were: the
  // host may retry with the same record, and vClearMem still releases them.
  if (!result.ok) return result;
  // The arrays the record referred to become unreachable once it is replaced.
  Release(catalogue->pStations, catalogue->pServices);
  Release(previous.stations, previous.services);
  Commit(&read, catalogue);
  return Result::Success();
}

void ReleaseCatalogue(Serv_Sta* catalogue) { Release(catalogue->pStations, catalogue->pServices); }

}  // namespace stanvex
