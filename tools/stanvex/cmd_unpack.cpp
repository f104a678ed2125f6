// stanvex unpack TYPE INPUT OUTPUT: unpacks a downloaded file as a retrieval
// does (gz, z, zip; any other type is left as it is). INPUT is kept and
// nothing but OUTPUT is written: the file is unpacked in a private folder,
// and the one plain file it gives then takes OUTPUT's place.
#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "arguments.h"
#include "command.h"
#include "extract/extract_file.h"
#include "platform/platform.h"
#include "private_folder.h"

namespace fs = std::filesystem;

namespace {

// Members named in the failure for an archive of several files.
constexpr size_t kListedMembers = 20;

// The regular files below folder (links are not followed), as paths
// relative to it, in order.
std::vector<std::string> FilesBelow(const std::string& folder) {
  std::vector<std::string> files;
  std::error_code error;
  for (fs::recursive_directory_iterator entry(folder, error), end; !error && entry != end;
       entry.increment(error)) {
    if (entry->symlink_status(error).type() == fs::file_type::regular)
      files.push_back(entry->path().lexically_relative(folder).generic_string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

// The one file the zip archive gave in folder; fails naming the members when
// it gave none or several (OUTPUT is one file).
std::string OnlyMember(const std::string& archive, const stanvex::cli::PrivateFolder& folder) {
  const std::vector<std::string> members = FilesBelow(folder.path());
  if (members.size() == 1) return folder.File(members[0]);
  if (members.empty())
    throw stanvex::cli::CommandFailure{"the archive " + archive + " holds no file"};
  std::string list;
  for (size_t i = 0; i < members.size() && i < kListedMembers; ++i)
    list += (i > 0 ? ", " : "") + members[i];
  if (members.size() > kListedMembers)
    list += ", and " + std::to_string(members.size() - kListedMembers) + " more";
  throw stanvex::cli::CommandFailure{"the archive " + archive + " holds " +
                                     std::to_string(members.size()) +
                                     " files, OUTPUT takes one: " + list + "; nothing was written"};
}

// Puts the unpacked file in OUTPUT's place whole: renamed there, or copied
// beside it and renamed, so a failure leaves OUTPUT as it was and a link of
// OUTPUT's name is replaced, never followed. A device named as OUTPUT
// (/dev/null) is written into instead.
void Publish(const std::string& unpacked, const std::string& output) {
  std::error_code error;
  const bool device = fs::is_other(fs::status(output, error));
  const bool placed = device ? stanvex::platform::CopyToNewFile(unpacked.c_str(), output.c_str())
                             : stanvex::platform::MoveFile(unpacked.c_str(), output.c_str());
  if (!placed)
    throw stanvex::cli::CommandFailure{
        "cannot write " + output + ": " +
        stanvex::platform::WriteErrorReason(stanvex::platform::LastSystemError())};
}

// The name the plain file gets in the private folder: OUTPUT's own, so that
// a message of the unpacker names it.
std::string PlainName(const std::string& output) {
  const std::string name = fs::path(output).filename().string();
  return name.empty() || name == "." || name == ".." ? "unpacked" : name;
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
  command->add_option("INPUT", *input, "packed file (kept)")->required();
  command
      ->add_option("OUTPUT", *output, "plain file to write; a zip archive must hold one file")
      ->required();
  command->callback([type, input, output] {
    stanvex::cli::RefuseSameFile(*input, *output);
    // The unpacker lower-cases the type in place in a field of its own size.
    std::vector<char> field(std::max(type->size() + 1, stanvex::kCompressionTypeSize), '\0');
    type->copy(field.data(), type->size());
    stanvex::cli::PrivateFolder folder("stanvex-unpack-");
    const std::string plain = folder.File(PlainName(*output));
    const stanvex::Result unpacked =
        stanvex::UnpackFile(field.data(), input->c_str(), plain.c_str(), folder.path().c_str());
    if (!unpacked.ok) throw stanvex::cli::CommandFailure{unpacked.message};
    const std::string method = field.data();
    if (method == "zip")
      Publish(OnlyMember(*input, folder), *output);
    else if (method == "gz" || method == "z")
      Publish(plain, *output);
  });
});

}  // namespace
