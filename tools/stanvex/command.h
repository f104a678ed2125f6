// Subcommands of the command-line host register themselves here: each
// command file defines one static CommandRegistration that adds its
// subcommand to the application.
#ifndef STANVEX_TOOLS_COMMAND_H
#define STANVEX_TOOLS_COMMAND_H

#include <CLI/CLI.hpp>

#include <functional>
#include <string>
#include <vector>

namespace stanvex::cli {

// Adds one subcommand (and its callback) to app.
using CommandSetup = std::function<void(CLI::App& app)>;

std::vector<CommandSetup>& CommandRegistry();

struct CommandRegistration {
  explicit CommandRegistration(CommandSetup setup) { CommandRegistry().push_back(std::move(setup)); }
};

// The subcommand group `name` of app ("obn"), made on first use so that
// several command files can add subcommands to one group.
inline CLI::App* SubcommandGroup(CLI::App& app, const std::string& name,
                                 const std::string& description) {
  for (CLI::App* existing : app.get_subcommands(
           [&](CLI::App* sub) { return sub->get_name() == name; }))
    return existing;
  CLI::App* group = app.add_subcommand(name, description);
  group->require_subcommand(1);
  return group;
}

// The subcommand name of app, made (with description) on first use, so that
// a command and its own subcommands may live in different files.
inline CLI::App* FindOrAddSubcommand(CLI::App& app, const std::string& name,
                                     const std::string& description) {
  for (CLI::App* existing : app.get_subcommands(
           [&](CLI::App* sub) { return sub->get_name() == name; }))
    return existing;
  return app.add_subcommand(name, description);
}

// Thrown by a command to end with exit code status after printing message
// (when there is one) to stderr.
struct CommandFailure {
  std::string message;
  int status = 1;
};

// The library's last error text (iGetLastError).
std::string LibraryError();

// The folder holding this program (the bundled catalogue lies beside it).
std::string ProgramDirectory();

}  // namespace stanvex::cli

#endif  // STANVEX_TOOLS_COMMAND_H
