// stanvex obn resample INPUT OUTPUT INTERVAL: resamples an OBN file (with its
// NVB and STA companions) to INTERVAL seconds: copied when the interval is
// already that, thinned when it is coarser, interpolated by the interpolation
// library when it is finer. The input files are kept. Ctrl-C stops a running
// interpolation.
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "arguments.h"
#include "command.h"
#include "companions.h"
#include "obsfiles/resample.h"
#include "platform/platform.h"
#include "private_folder.h"
#include "stanvex.h"

namespace {

bool progress_line_open = false;  // the percentage line awaits its end

// Resampling is linked into this program, so it reports through the
// callback registered with this program's SetCallBack.
void STANVEX_CALL PrintResampleStatus(StatusRecord* record) {
  switch (record->code) {
    case STATUS_INTERVAL:
      std::printf("interval of the input: %.3f s\n", record->real);
      break;
    case STATUS_INTERP_PERCENT:
      std::printf("\rinterpolating: %3d%%", record->value1);
      progress_line_open = record->value1 < 100;
      if (!progress_line_open) std::printf("\n");
      break;
    case STATUS_TEXT:
      std::printf("%s%s\n", progress_line_open ? "\n" : "", record->text);
      progress_line_open = false;
      break;
    default:
      break;
  }
  std::fflush(stdout);
}

extern "C" void StopResampleOnInterrupt(int) { StopInerpolation(); }

struct ResampleArguments {
  std::string input;
  std::string output;
  double interval = 0.0;
};

stanvex::cli::CommandRegistration resampleRegistration([](CLI::App& app) {
  CLI::App* obn = stanvex::cli::SubcommandGroup(app, "obn", "Inspect and handle OBN files");
  auto* command = obn->add_subcommand(
      "resample", "Resample an OBN file (and its .nvb and .sta) to another interval");
  auto args = std::make_shared<ResampleArguments>();
  command->add_option("INPUT", args->input, "OBN file to resample")->required();
  command->add_option("OUTPUT", args->output, "OBN file to write")->required();
  command->add_option("INTERVAL", args->interval, "interval in seconds")->required();
  command->callback([args] {
    stanvex::cli::CheckInterval(args->interval, "INTERVAL");
    stanvex::cli::RefuseSameFile(args->input, args->output);
    // Resampling consumes its input (it moves or deletes the files), so it
    // works on copies in a private folder and the user's files stay.
    stanvex::cli::PrivateFolder folder("stanvex-resample-");
    const std::string copy = folder.File(std::filesystem::path(args->input).filename().string());
    if (!stanvex::platform::FileExists(args->input.c_str()))
      throw stanvex::cli::CommandFailure{"Error: File " + args->input + " not found"};
    if (!stanvex::platform::CopyFile(args->input.c_str(), copy.c_str(), false))
      throw stanvex::cli::CommandFailure{"cannot copy " + args->input + " to " + copy};
    for (const char* extension : stanvex::cli::kCompanionExtensions) {
      const std::string companion = stanvex::cli::CompanionOf(args->input, extension);
      const std::string companionCopy = stanvex::cli::CompanionOf(copy, extension);
      if (stanvex::platform::FileExists(companion.c_str()) &&
          !stanvex::platform::CopyFile(companion.c_str(), companionCopy.c_str(), false))
        throw stanvex::cli::CommandFailure{"cannot copy " + companion + " to " + companionCopy};
    }
    // No other command of this run has registered a callback.
    SetCallBack(PrintResampleStatus);
    void (*previousHandler)(int) = std::signal(SIGINT, StopResampleOnInterrupt);
    // No request's working folder: the library is given full paths.
    const stanvex::Result result =
        stanvex::ResampleObn("", copy.c_str(), args->output.c_str(), args->interval);
    std::signal(SIGINT, previousHandler);
    SetCallBack(nullptr);
    if (progress_line_open) std::printf("\n");
    progress_line_open = false;
    if (!result.ok) throw stanvex::cli::CommandFailure{result.message};
    std::printf("%s written\n", args->output.c_str());
  });
});

}  // namespace
