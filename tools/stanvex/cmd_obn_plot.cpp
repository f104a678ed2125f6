// stanvex obn plot FILE -o OUT.svg [--missing START-END]...: draws what an
// OBN file holds as an SVG chart (satellites tracked over time, gaps, loss of
// lock, missing data, position solutions per hour).
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "command.h"
#include "obn_chart.h"
#include "platform/platform.h"
#include "svg_chart.h"

namespace {

struct PlotArguments {
  std::string input;
  std::string output;
  std::vector<std::string> missing;
};

// Writes text into output, created new and never through a link; a failed
// write removes what it had written.
void WriteChartFile(const std::string& output, const std::string& text) {
  std::FILE* file = stanvex::platform::CreateNewFile(output.c_str());
  if (file == nullptr)
    throw stanvex::cli::CommandFailure{"cannot create " + output + ": " +
                                       std::strerror(stanvex::platform::LastSystemError())};
  // A buffered write may fail only when the stream is closed: errno then
  // holds that failure's cause, never an older one.
  errno = 0;
  bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  const int writeError = written ? 0 : errno;
  written = std::fclose(file) == 0 && written;
  if (!written) {
    const int error = writeError != 0 ? writeError : errno;
    stanvex::platform::DeleteFile(output.c_str());
    throw stanvex::cli::CommandFailure{"cannot write " + output + ": " + std::strerror(error)};
  }
}

void Plot(const PlotArguments& args) {
  std::error_code error;
  if (std::filesystem::equivalent(args.input, args.output, error))
    throw stanvex::cli::CommandFailure{"will not write the chart over its input " + args.input};
  stanvex::cli::ObnChart chart = stanvex::cli::ReadObnChart(args.input);
  for (const std::string& span : args.missing) stanvex::cli::AddMissingFile(&chart, span);
  const std::string svg = stanvex::cli::DrawChartSvg(chart);
  WriteChartFile(args.output, svg);
  std::printf("%s: %zu satellites, %ld epochs, %zu bytes\n", args.output.c_str(),
              chart.satellites.size(), chart.epochs, svg.size());
}

stanvex::cli::CommandRegistration plotRegistration([](CLI::App& app) {
  CLI::App* obn = stanvex::cli::SubcommandGroup(app, "obn", "Inspect and handle OBN files");
  auto* command = obn->add_subcommand(
      "plot",
      "Draw an OBN file as an SVG chart: satellites tracked over GPS time of day, gaps, "
      "loss of lock, missing data, position solutions per hour");
  auto args = std::make_shared<PlotArguments>();
  command->add_option("FILE", args->input, "OBN file")->required();
  command->add_option("-o,--output", args->output, "SVG file to write")->required();
  command
      ->add_option("--missing", args->missing,
                   "a span known to be a missing file, shaded and named in the legend: "
                   "HH:MM-HH:MM of the file's first day (past midnight when END is before "
                   "START) or START-END in GPS seconds; may be repeated")
      ->allow_extra_args(false);  // one span after each --missing, never FILE
  command->callback([args] { Plot(*args); });
});

}  // namespace
