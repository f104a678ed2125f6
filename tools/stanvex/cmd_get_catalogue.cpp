// stanvex get-catalogue DIR: downloads the maker's catalogue file
// (manufact.dwn) from the catalogue server into DIR through the library's
// export, printing the transfer's progress. Ctrl-C stops the transfer.
#include <csignal>
#include <cstdio>
#include <memory>
#include <string>

#include "command.h"
#include "stanvex.h"

namespace {

void STANVEX_CALL PrintProgress(StatusRecord* record) {
  switch (record->code) {
    case STATUS_TEXT:
    case STATUS_CONNECTING:
      std::printf("%s\n", record->text);
      break;
    case STATUS_FILE_REQUEST:
      std::printf("requesting %s\n", record->text);
      break;
    case STATUS_ERROR:
      std::fprintf(stderr, "%s\n", record->text);
      break;
    default:
      break;
  }
  std::fflush(stdout);
}

extern "C" void StopOnInterrupt(int) { StopFtpProcessing(); }

stanvex::cli::CommandRegistration getCatalogueRegistration([](CLI::App& app) {
  auto* command = app.add_subcommand(
      "get-catalogue", "Download the maker's catalogue file manufact.dwn into a folder");
  auto directory = std::make_shared<std::string>();
  command->add_option("DIR", *directory, "folder that receives manufact.dwn")->required();
  command->callback([directory] {
    StatusCallback previous = SetCallBack(PrintProgress);
    void (*previous_handler)(int) = std::signal(SIGINT, StopOnInterrupt);
    int32_t result = iGetManfactFile(directory->data());
    std::signal(SIGINT, previous_handler);
    SetCallBack(previous);
    if (result != 0) throw stanvex::cli::CommandFailure{stanvex::cli::LibraryError()};
  });
});

}  // namespace
