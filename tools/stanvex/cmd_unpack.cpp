// stanvex unpack TYPE INPUT OUTPUT: unpacks a downloaded file as a retrieval
// does (gz, z, zip; any other type is left as it is).
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "command.h"
#include "extract/extract_file.h"

namespace {

// The directory part of path ("." when it has none), where a zip archive's
// members are unpacked.
std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  if (slash == std::string::npos) return ".";
  if (slash == 0) return path.substr(0, 1);
  return path.substr(0, slash);
}

stanvex::cli::CommandRegistration unpackRegistration([](CLI::App& app) {
  auto* command = app.add_subcommand(
      "unpack", "Unpack a downloaded file by its compression type (gz, z, zip, other)");
  auto type = std::make_shared<std::string>();
  auto input = std::make_shared<std::string>();
  auto output = std::make_shared<std::string>();
  command
      ->add_option("TYPE", *type, "compression type: gz, z, zip; any other leaves INPUT as it is")
      ->required();
  command->add_option("INPUT", *input, "downloaded file (deleted once unpacked)")->required();
  command
      ->add_option("OUTPUT", *output,
                   "plain file to write; a zip archive unpacks its members beside it")
      ->required();
  command->callback([type, input, output] {
    // ExtractFile lower-cases the type in place in a field of its own size.
    std::vector<char> field(std::max(type->size() + 1, stanvex::kCompressionTypeSize), '\0');
    type->copy(field.data(), type->size());
    const std::string directory = DirectoryOf(*output);
    // The extractor is linked into this program: its message is this
    // program's last error.
    if (stanvex::ExtractFile(field.data(), input->c_str(), output->c_str(), directory.c_str()) != 1)
      throw stanvex::cli::CommandFailure{stanvex::cli::LibraryError()};
  });
});

}  // namespace
