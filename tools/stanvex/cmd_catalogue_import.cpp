// stanvex catalogue import LIST --service ID: turns a published station list
// into catalogue Station blocks of service ID on standard output (redirect
// it into user.dwn). The list is a table of positions (name with latitude,
// longitude and height, or with X Y Z), the Nevada Geodetic Laboratory's
// holdings list, or a PBO velocity file; the format is told from the text.
// --active-since, --only-in and --except choose among its stations, so that
// one run makes a network's blocks: for instance NOAA's CORS positions,
// kept where the holdings list shows data since a day.
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "catalogue/column_table.h"
#include "catalogue/station_lists.h"
#include "catalogue/station_selection.h"
#include "command.h"

namespace {

struct ImportOptions {
  std::string list;
  std::string service;
  std::string activeSince;
  std::string onlyIn;
  std::vector<std::string> except;
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

// Reads the list at path, printing the lines it leaves out.
stanvex::ListedStations ReadImportList(const std::string& path) {
  stanvex::ListedStations list = stanvex::ReadStationList(ReadList(path));
  if (!list.refusal.empty()) throw stanvex::cli::CommandFailure{path + ": " + list.refusal};
  for (const std::string& problem : list.problems)
    std::fprintf(stderr, "%s: %s (left out)\n", path.c_str(), problem.c_str());
  return list;
}

// A path as a comment line shows it: printable, at most 200 characters, so
// that the line stays one comment line of the catalogue.
std::string CommentPath(const std::string& path) {
  std::string shown = stanvex::Printable(path);
  return shown.size() <= 200 ? shown : shown.substr(0, 200) + "...";
}

std::string ImportComment(const ImportOptions& o, const stanvex::ListedStations& list,
                          const stanvex::ListedStations* onlyIn, size_t count) {
  std::string text = "; " + std::to_string(count) + " stations of " + o.service +
                     " made by stanvex catalogue import\n; from " + CommentPath(o.list) + " (" +
                     stanvex::ListFormatName(list.format) + ")\n";
  if (onlyIn != nullptr)
    text += "; those also in " + CommentPath(o.onlyIn) + " (" +
            stanvex::ListFormatName(onlyIn->format) + ")\n";
  if (!o.activeSince.empty()) text += "; with data on or after " + o.activeSince + "\n";
  if (!o.except.empty()) {
    text += "; except";
    for (const std::string& name : o.except) text += " " + name;
    text += "\n";
  }
  return text + "\n";
}

void RunImport(const ImportOptions& o) {
  if (!stanvex::IsValidServiceId(o.service))
    throw stanvex::cli::CommandFailure{"--service: 1 to 31 characters without blanks, braces, "
                                       "quotes or ';'"};
  stanvex::StationSelection selection;
  if (!o.activeSince.empty() && !stanvex::ReadDay(o.activeSince, true, &selection.activeSince))
    throw stanvex::cli::CommandFailure{"--active-since: \"" + stanvex::Printable(o.activeSince) +
                                       "\" is not a date (YYYY-MM-DD)"};
  for (const std::string& name : o.except) {
    std::string shortName;
    std::string reason = stanvex::CheckShortName(name, &shortName);
    if (!reason.empty()) throw stanvex::cli::CommandFailure{"--except: " + reason};
    selection.except.insert(shortName);
  }
  stanvex::ListedStations list = ReadImportList(o.list);
  stanvex::ListedStations onlyIn;
  if (!o.onlyIn.empty()) {
    onlyIn = ReadImportList(o.onlyIn);
    selection.onlyIn = &onlyIn;
    selection.onlyInName = o.onlyIn;
  }
  if (selection.activeSince != stanvex::kNoDay && !list.givesLastDay &&
      !(selection.onlyIn != nullptr && onlyIn.givesLastDay))
    throw stanvex::cli::CommandFailure{
        "--active-since: " + o.list + " (a " + stanvex::ListFormatName(list.format) +
        ") gives no last day of data; give it a holdings list or velocity file, or one with "
        "--only-in"};

  stanvex::SelectedStations selected = stanvex::SelectStations(list, selection);
  for (const std::string& problem : selected.problems)
    std::fprintf(stderr, "%s: %s (left out)\n", o.list.c_str(), problem.c_str());
  if (selected.stations.empty())
    throw stanvex::cli::CommandFailure{o.list + ": no station could be read or was chosen"};
  std::string blocks = ImportComment(o, list, selection.onlyIn, selected.stations.size()) +
                       stanvex::StationBlocks(selected.stations, o.service);
  if (std::fwrite(blocks.data(), 1, blocks.size(), stdout) != blocks.size() ||
      std::fflush(stdout) != 0)
    throw stanvex::cli::CommandFailure{"cannot write the blocks to standard output"};
  std::string report = std::to_string(selected.stations.size()) + " stations imported of " +
                       std::to_string(list.stations.size()) + " read";
  auto add = [&report](int32_t count, const std::string& why) {
    if (count > 0) report += "; " + std::to_string(count) + " " + why;
  };
  add(selected.notInOther, "not in " + o.onlyIn);
  add(selected.elsewhere, "share their name with a station elsewhere in " + o.onlyIn);
  add(selected.inactive, "without data since " + o.activeSince);
  add(selected.excepted, "left out by --except");
  std::fprintf(stderr, "%s\n", report.c_str());
}

stanvex::cli::CommandRegistration catalogueImportRegistration([](CLI::App& app) {
  auto* catalogue = stanvex::cli::FindOrAddSubcommand(
      app, "catalogue", "List the services and stations of a catalogue");
  auto* command = catalogue->add_subcommand(
      "import",
      "Turn a station list (a table of names with lat, lon, height or X Y Z; a holdings list; "
      "a PBO velocity file) into Station blocks");
  auto o = std::make_shared<ImportOptions>();
  command->add_option("LIST", o->list, "station list")->required();
  command->add_option("--service", o->service, "service identifier of the stations")->required();
  command->add_option("--active-since", o->activeSince,
                      "keep the stations whose last day of data is on or after DATE (YYYY-MM-DD)");
  command->add_option("--only-in", o->onlyIn,
                      "keep the stations that this list also holds, at the same place (within "
                      "1 km); its last days of data count for --active-since");
  command->add_option("--except", o->except, "leave out these stations (NAME,NAME...)")
      ->delimiter(',');
  command->callback([o] { RunImport(*o); });
});

}  // namespace
