#include <cstdio>

#include "command.h"
#include "stanvex.h"

namespace stanvex::cli {

std::vector<CommandSetup>& CommandRegistry() {
  static std::vector<CommandSetup> registry;
  return registry;
}

std::string LibraryError() {
  char buffer[512];
  if (iGetLastError(buffer) != 0) return std::string();
  return buffer;
}

}  // namespace stanvex::cli

int main(int argc, char** argv) {
  CLI::App app{"stanvex: GPS observation data from reference-station archives"};
  app.require_subcommand(1);
  for (auto& setup : stanvex::cli::CommandRegistry()) setup(app);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e);
  } catch (const stanvex::cli::CommandFailure& failure) {
    std::fprintf(stderr, "%s\n", failure.message.c_str());
    return 1;
  }
  return 0;
}
