// stanvex catalogue DIR [--work DIR]: loads the catalogue of DIR (manufact.dwn
// and user.dwn, joined into combined.dwn in a private folder) through the
// library's exports and lists its services and stations.
#include <cstdio>
#include <memory>
#include <string>

#include "command.h"
#include "private_folder.h"
#include "stanvex.h"

namespace {

void PrintCatalogue(const Serv_Sta& catalogue) {
  std::printf("%d services\n", catalogue.iNumServices);
  std::printf("%-12s %-28s %-5s %-6s %-10s %s\n", "service", "server", "type", "crx", "color",
              "stations");
  for (int32_t i = 0; i < catalogue.iNumServices; ++i) {
    const ServiceRecord& s = catalogue.pServices[i];
    std::printf("%-12.31s %-28.127s %-5.4s %-6s %-10.31s %d\n", s.ServId, s.ftpAd, s.Ftype,
                s.hasDFile ? "yes" : "no", s.color, s.stationCount);
  }
  std::printf("\n%d stations\n", catalogue.iNumStations);
  std::printf("%-8s %-12s %13s %14s %10s\n", "station", "service", "latitude", "longitude",
              "height");
  for (int32_t i = 0; i < catalogue.iNumStations; ++i) {
    const StationRecord& s = catalogue.pStations[i];
    std::printf("%-8.7s %-12.31s %13.7f %14.7f %10.3f\n", s.sName, s.serv, s.lat, s.lon,
                static_cast<double>(s.height));
  }
}

stanvex::cli::CommandRegistration catalogueRegistration([](CLI::App& app) {
  auto* command = stanvex::cli::FindOrAddSubcommand(
      app, "catalogue", "List the services and stations of a catalogue");
  auto directory = std::make_shared<std::string>();
  auto work = std::make_shared<std::string>(".");
  // Not required: `catalogue import` needs none.
  command->add_option("DIR", *directory, "folder of manufact.dwn and user.dwn");
  command->add_option("--work", *work, "working directory given to the library");
  command->callback([command, directory, work] {
    if (!command->get_subcommands().empty()) return;  // a subcommand ran instead
    if (directory->empty()) throw stanvex::cli::CommandFailure{"catalogue: DIR is required"};
    // Joined in a private folder: the catalogue folder may be read-only or shared.
    stanvex::cli::PrivateFolder folder("stanvex-catalogue-");
    std::string staged = stanvex::cli::StageCatalogue(*directory, folder);
    Serv_Sta catalogue{};
    catalogue.iServiceSize = sizeof(ServiceRecord);
    catalogue.iStationSize = sizeof(StationRecord);
    if (iInitalizeNEW(staged.data(), work->c_str(), &catalogue) != 0)
      throw stanvex::cli::CommandFailure{stanvex::cli::LibraryError()};
    PrintCatalogue(catalogue);
    vClearMem(&catalogue);
  });
});

}  // namespace
