// stanvex nvb FILE: lists the broadcast ephemerides of an NVB file (PRN, time
// of clock, GPS week, time of ephemeris, IODE, health) and the reference week
// and time the core takes from it.
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "command.h"
#include "obsfiles/nvb_file.h"

namespace {

struct Listed {
  std::string prn = "?", toc = "?", week = "?", toe = "?", iode = "?", health = "?";
};

// The values of an entry line ("El1: 2138 52 ..."), or empty for another key.
std::vector<std::string> Values(const std::string& line, const char* key) {
  std::istringstream fields(line);
  std::string first;
  fields >> first;
  std::vector<std::string> values;
  if (first != key) return values;
  for (std::string v; fields >> v;) values.push_back(v);
  return values;
}

stanvex::cli::CommandRegistration nvbRegistration([](CLI::App& app) {
  auto* command = app.add_subcommand("nvb", "List the ephemerides of an NVB file");
  auto path = std::make_shared<std::string>();
  command->add_option("FILE", *path, "NVB ephemeris file")->required();
  command->callback([path] {
    std::ifstream in(*path);
    if (!in) throw stanvex::cli::CommandFailure{"Unable to open " + *path};
    std::string line;
    if (!std::getline(in, line) || line.compare(0, 7, "$EPHREC") != 0)
      throw stanvex::cli::CommandFailure{*path + " is not a tagged NVB file"};
    std::printf("PRN  time of clock           week  toe     IODE  health\n");
    Listed current;
    bool inBlock = false;
    int count = 0;
    while (std::getline(in, line)) {
      if (line.find("GpsEph") != std::string::npos && line.find('{') != std::string::npos) {
        current = Listed();
        inBlock = true;
      } else if (inBlock && line.find('}') != std::string::npos) {
        std::printf("%-4s %-23s %-5s %-7s %-5s %s\n", current.prn.c_str(), current.toc.c_str(),
                    current.week.c_str(), current.toe.c_str(), current.iode.c_str(),
                    current.health.c_str());
        inBlock = false;
        ++count;
      } else if (inBlock) {
        std::vector<std::string> v;
        if (!(v = Values(line, "Prn:")).empty()) current.prn = v[0];
        if ((v = Values(line, "Toc:")).size() == 6)
          current.toc = v[0] + "-" + v[1] + "-" + v[2] + " " + v[3] + ":" + v[4] + ":" + v[5];
        if ((v = Values(line, "El1:")).size() == 5) {
          current.week = v[0];
          current.iode = v[1];
        }
        if ((v = Values(line, "El5:")).size() == 4) current.toe = v[0];
        if ((v = Values(line, "El6:")).size() == 5) current.health = v[0];
      }
    }
    std::printf("%d ephemerides\n", count);
    int32_t week = 0;
    double seconds = 0.0;
    if (stanvex::GetNvbReference(path->c_str(), &week, &seconds).ok)
      std::printf("reference: week %d, %.0f s of week\n", week, seconds);
  });
});

}  // namespace
