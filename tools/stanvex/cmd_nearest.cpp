// stanvex nearest DIR --lat L --lon L [--max-km D] [--count N]: loads the
// catalogue of DIR and lists the stations nearest to a position, nearest
// first, through the library's exports.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "command.h"
#include "private_folder.h"
#include "stanvex.h"

namespace {

struct NearestOptions {
  std::string directory;
  std::string work = ".";
  double latitude = 0;
  double longitude = 0;
  double max_km = 100;
  int count = 5;
};

stanvex::cli::CommandRegistration nearestRegistration([](CLI::App& app) {
  auto* command = app.add_subcommand("nearest", "List the stations nearest to a position");
  auto o = std::make_shared<NearestOptions>();
  command->add_option("DIR", o->directory, "folder of manufact.dwn and user.dwn")->required();
  command->add_option("--lat", o->latitude, "latitude, decimal degrees, north positive")
      ->required();
  command->add_option("--lon", o->longitude, "longitude, decimal degrees, east positive")
      ->required();
  command->add_option("--max-km", o->max_km, "largest distance, km")->capture_default_str();
  command->add_option("--count", o->count, "most stations listed")->capture_default_str();
  command->add_option("--work", o->work, "working directory given to the library");
  command->callback([o] {
    // Joined in a private folder: the catalogue folder may be read-only or shared.
    stanvex::cli::PrivateFolder folder("stanvex-catalogue-");
    std::string staged = stanvex::cli::StageCatalogue(o->directory, folder);
    Serv_Sta catalogue{};
    catalogue.iServiceSize = sizeof(ServiceRecord);
    catalogue.iStationSize = sizeof(StationRecord);
    if (iInitalizeNEW(staged.data(), o->work.c_str(), &catalogue) != 0)
      throw stanvex::cli::CommandFailure{stanvex::cli::LibraryError()};
    std::vector<StationRecord*> found(o->count > 0 ? static_cast<size_t>(o->count) : 1);
    int32_t number = 0;
    int result = iFindClosestStation(o->latitude, o->longitude, o->max_km * 1000.0, found.data(),
                                     o->count, &number);
    if (result != 0) {
      std::string message = stanvex::cli::LibraryError();
      vClearMem(&catalogue);
      throw stanvex::cli::CommandFailure{message};
    }
    std::printf("%-4s %-8s %-12s %12s %13s %14s\n", "#", "station", "service", "distance km",
                "latitude", "longitude");
    for (int32_t i = 0; i < number; ++i) {
      const StationRecord& s = *found[static_cast<size_t>(i)];
      std::printf("%-4d %-8.7s %-12.31s %12.3f %13.7f %14.7f\n", i + 1, s.sName, s.serv,
                  s.distance / 1000.0, s.lat, s.lon);
    }
    if (number == 0) std::printf("no station within %.3f km\n", o->max_km);
    vClearMem(&catalogue);
  });
});

}  // namespace
