#include <cstdio>
#include <exception>
#include <filesystem>
#include <system_error>

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

namespace {
std::string program_path;
}

std::string ProgramDirectory() {
  std::error_code error;
  std::filesystem::path self = std::filesystem::canonical("/proc/self/exe", error);
  if (error) self = std::filesystem::absolute(program_path, error);
  return self.parent_path().string();
}

}  // namespace stanvex::cli

int main(int argc, char** argv) {
  if (argc > 0) stanvex::cli::program_path = argv[0];
  CLI::App app{"stanvex: GPS observation data from reference-station archives"};
  app.require_subcommand(1);
  for (auto& setup : stanvex::cli::CommandRegistry()) setup(app);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e);
  } catch (const stanvex::cli::CommandFailure& failure) {
    if (!failure.message.empty()) std::fprintf(stderr, "%s\n", failure.message.c_str());
    return failure.status;
  } catch (const std::exception& error) {
    // Returning rather than dying lets the private folders be removed.
    std::fprintf(stderr, "stanvex: %s\n", error.what());
    return 1;
  }
  return 0;
}
