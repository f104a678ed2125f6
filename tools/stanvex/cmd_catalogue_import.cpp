// stanvex catalogue import CSV --service ID: turns a station list (name with
// latitude, longitude and height, or with X Y Z) into catalogue Station
// blocks of service ID on standard output (redirect it into user.dwn).
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "catalogue/station_import.h"
#include "command.h"

namespace {

struct ImportOptions {
  std::string list;
  std::string service;
};

// Files larger than this are not station lists.
constexpr std::streamoff kMaxListBytes = 64 << 20;

std::string ReadList(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw stanvex::cli::CommandFailure{"cannot read " + path};
  in.seekg(0, std::ios::end);
  std::streamoff size = in.tellg();
  if (size > kMaxListBytes) throw stanvex::cli::CommandFailure{path + " is too large"};
  in.seekg(0);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

stanvex::cli::CommandRegistration catalogueImportRegistration([](CLI::App& app) {
  auto* catalogue = stanvex::cli::FindOrAddSubcommand(
      app, "catalogue", "List the services and stations of a catalogue");
  auto* command = catalogue->add_subcommand(
      "import", "Turn a station list (CSV: name, lat, lon, height or X Y Z) into Station blocks");
  auto o = std::make_shared<ImportOptions>();
  command->add_option("CSV", o->list, "station list")->required();
  command->add_option("--service", o->service, "service identifier of the stations")->required();
  command->callback([o] {
    if (!stanvex::IsValidServiceId(o->service))
      throw stanvex::cli::CommandFailure{"--service: 1 to 31 characters without blanks, braces, "
                                         "quotes or ';'"};
    stanvex::StationList list = stanvex::ParseStationList(ReadList(o->list));
    if (!list.refusal.empty()) throw stanvex::cli::CommandFailure{o->list + ": " + list.refusal};
    for (const std::string& problem : list.problems)
      std::fprintf(stderr, "%s: %s (left out)\n", o->list.c_str(), problem.c_str());
    if (list.stations.empty())
      throw stanvex::cli::CommandFailure{o->list + ": no station could be read"};
    std::string blocks = "; " + std::to_string(list.stations.size()) + " stations of " +
                         o->service + " imported from " + o->list + "\n\n" +
                         stanvex::StationBlocks(list.stations, o->service);
    if (std::fwrite(blocks.data(), 1, blocks.size(), stdout) != blocks.size() ||
        std::fflush(stdout) != 0)
      throw stanvex::cli::CommandFailure{"cannot write the blocks to standard output"};
    std::fprintf(stderr, "%s stations imported\n", std::to_string(list.stations.size()).c_str());
  });
});

}  // namespace
