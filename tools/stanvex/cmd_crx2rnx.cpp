// stanvex crx2rnx INPUT OUTPUT: decodes a compact RINEX file into RINEX.
#include <string>

#include "arguments.h"
#include "command.h"
#include "crinex/crx2rnx.h"

namespace {

stanvex::cli::CommandRegistration crx2rnxRegistration([](CLI::App& app) {
  auto* command = app.add_subcommand("crx2rnx", "Decode a compact RINEX file into RINEX");
  auto input = std::make_shared<std::string>();
  auto output = std::make_shared<std::string>();
  command->add_option("INPUT", *input, "compact RINEX file")->required();
  command->add_option("OUTPUT", *output, "RINEX observation file to write")->required();
  command->callback([input, output] {
    stanvex::cli::RefuseSameFile(*input, *output);
    const stanvex::Result decoded = stanvex::Crx2Rnx(input->c_str(), output->c_str());
    if (!decoded.ok) throw stanvex::cli::CommandFailure{decoded.message};
  });
});

}  // namespace
