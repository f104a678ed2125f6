// stanvex obn info|dump|join|splice and stanvex avgpos: inspection and
// handling of OBN files. The OBN tools are linked into this program, so their
// messages are in this program's copy of the library state; avgpos goes
// through the library's export.
#include <cinttypes>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "arguments.h"
#include "base/gps_time.h"
#include "command.h"
#include "companions.h"
#include "obsfiles/obn_file.h"
#include "obsfiles/splice.h"
#include "platform/platform.h"
#include "stanvex.h"

namespace {

using stanvex::ObnFile;
using stanvex::ObnMeasurementRecord;
using stanvex::ObnPositionRecord;

[[noreturn]] void Fail() { throw stanvex::cli::CommandFailure{stanvex::cli::LibraryError()}; }
[[noreturn]] void Fail(const stanvex::Result& result) {
  throw stanvex::cli::CommandFailure{result.message};
}

struct Closer {
  void operator()(ObnFile* file) const { stanvex::CloseObn(file); }
};
using ObnPtr = std::unique_ptr<ObnFile, Closer>;

ObnPtr OpenOrFail(const std::string& path) {
  ObnFile* file = nullptr;
  const stanvex::Result opened =
      stanvex::OpenObnForRead(path.c_str(), stanvex::kObnBufferSize, &file);
  if (!opened.ok) Fail(opened);
  return ObnPtr(file);
}

// Creates output for the epochs of like (its carried byte and interval).
ObnFile* CreateOrFail(const std::string& output, const ObnFile& like) {
  ObnFile* out = nullptr;
  const stanvex::Result created =
      stanvex::CreateObn(output.c_str(), like.header.carriedByte, like.header.interval,
                         stanvex::kObnBufferSize, stanvex::kObnWriterChannels, &out);
  if (!created.ok) Fail(created);
  return out;
}

// GPS seconds as a calendar time of the GPS time scale (no leap seconds).
std::string GpsCalendar(double gpsSeconds) {
  if (!(gpsSeconds >= 0.0 && gpsSeconds < 2147483647.0)) return "?";
  stanvex::GpsTime t;
  t.Clear();
  t.seconds = static_cast<int32_t>(gpsSeconds);
  t.ComputeFromSeconds();
  const int32_t ofDay = t.secondsOfWeek % stanvex::kSecondsPerDay;
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%06.3f GPS", t.year, t.month, t.day,
                ofDay / 3600, ofDay / 60 % 60, ofDay % 60 + (gpsSeconds - t.seconds));
  return text;
}

void Info(const std::string& path) {
  ObnPtr file = OpenOrFail(path);
  const stanvex::ObnHeader& h = file->header;
  std::printf("file:         %s\n", path.c_str());
  std::printf("version:      %.2f\n", static_cast<double>(h.version));
  std::printf("carried byte: %d\n", h.carriedByte);
  std::printf("max channels: %d\n", h.maxChannels);
  std::printf("created:      %04d-%02d-%02d %02d:%02d:%02d (local)\n", h.year + 1900, h.month + 1,
              h.day, h.hour, h.minute, h.second);
  std::printf("interval:     %g s (header)\n", static_cast<double>(h.interval));

  ObnPositionRecord position;
  ObnMeasurementRecord measurements[stanvex::kObnReaderRoom];
  long epochs = 0, damaged = 0, solutions = 0, measurementCount = 0;
  int mostChannels = 0;
  double first = 0, last = 0, smallestStep = 0;
  for (;;) {
    const stanvex::Result read = stanvex::ReadObnEpoch(file.get(), &position, measurements);
    if (read.AtEnd()) break;
    if (!read.ok) {
      ++damaged;
      std::printf("damaged:      %s\n", read.message);
      if (position.size != stanvex::kObnPositionSize) break;  // cannot resynchronise
      continue;
    }
    if (epochs == 0) first = position.time;
    const double step = position.time - last;
    if (epochs > 0 && step > 0 && (smallestStep == 0 || step < smallestStep)) smallestStep = step;
    last = position.time;
    ++epochs;
    if (position.flags & 1u) ++solutions;
    measurementCount += position.count;
    if (position.count > mostChannels) mostChannels = position.count;
  }
  std::printf("epochs:       %ld (%ld with a solution, %ld damaged)\n", epochs, solutions, damaged);
  std::printf("measurements: %ld\n", measurementCount);
  if (epochs > 0) {
    std::printf("time span:    %.3f .. %.3f s of week (%.3f s)\n", first, last, last - first);
    std::printf("interval:     %g s (smallest step between epochs)\n", smallestStep);
  }
  std::printf("channels:     %d used at most\n", mostChannels);
}

void Dump(const std::string& path) {
  ObnPtr file = OpenOrFail(path);
  ObnPositionRecord p;
  ObnMeasurementRecord m[stanvex::kObnReaderRoom];
  for (;;) {
    const stanvex::Result read = stanvex::ReadObnEpoch(file.get(), &p, m);
    if (read.AtEnd()) break;
    if (!read.ok) {
      std::printf("damaged: %s\n", read.message);
      if (p.size != stanvex::kObnPositionSize) break;
      continue;
    }
    std::printf("epoch %.3f week %u n %d flags 0x%02x sats %u eflag %u lat %.9f lon %.9f h %.3f "
                "clk %.9e pdop %.2f rms %.3f\n",
                p.time, p.week, p.count, p.flags, p.satellites, p.epochFlag, p.position1,
                p.position2, static_cast<double>(p.height), p.clockOffset,
                static_cast<double>(p.pdop), static_cast<double>(p.rms));
    for (int i = 0; i < p.count; ++i) {
      const ObnMeasurementRecord& r = m[i];
      std::printf("  G%02u lock 0x%02x L1 %.3f L2 %.3f C1/P1 %.3f P2/C2 %.3f S1 %.1f S2 %.1f\n",
                  r.prn, r.lockFlags, r.l1Phase, r.l2Phase, r.l1Range, r.l2Range,
                  static_cast<double>(r.l1Snr), static_cast<double>(r.l2Snr));
    }
  }
}

void Join(const std::string& output, const std::vector<std::string>& inputs) {
  for (const std::string& input : inputs) stanvex::cli::RefuseSameFile(input, output);
  std::vector<ObnPtr> files;
  for (const std::string& input : inputs) files.push_back(OpenOrFail(input));
  ObnFile* out = CreateOrFail(output, *files[0]);
  long total = 0;
  for (ObnPtr& file : files) {
    long copied = 0;
    const stanvex::Result copy = stanvex::CopyObnEpochs(file.get(), out, &copied);
    if (!copy.ok) {
      stanvex::CloseObn(out);
      Fail(copy);
    }
    total += copied;
  }
  const stanvex::Result closed = stanvex::CloseObn(out);
  if (!closed.ok) Fail(closed);
  stanvex::cli::WriteCompanions(inputs, output);
  std::printf("%s: %ld epochs\n", output.c_str(), total);
}

void Splice(const std::string& input, std::string output, double start, double end) {
  if (output.empty()) {
    char name[stanvex::kObnPathSize];
    if (!stanvex::SpliceOutputName(input.c_str(), name, sizeof name).ok)
      throw stanvex::cli::CommandFailure{"name too long: " + input};
    output = name;
  }
  stanvex::cli::RefuseSameFile(input, output);
  if (start > end) {
    std::printf("%s\n", stanvex::kWeekCrossoverText);
    end = stanvex::kWeekEndSeconds;
  }
  ObnPtr in = OpenOrFail(input);
  ObnFile* out = CreateOrFail(output, *in);
  long kept = 0;
  const stanvex::Result copy = stanvex::CopyObnWindow(in.get(), out, start, end, &kept);
  if (!copy.ok) {
    stanvex::CloseObn(out);
    Fail(copy);
  }
  const stanvex::Result closed = stanvex::CloseObn(out);
  if (!closed.ok) Fail(closed);
  // The ephemerides and the station file are not cut: they go along whole.
  stanvex::cli::WriteCompanions({input}, output);
  std::printf("%s: %ld epochs\n", output.c_str(), kept);
}

stanvex::cli::CommandRegistration obnRegistration([](CLI::App& app) {
  CLI::App* group = stanvex::cli::SubcommandGroup(app, "obn", "Inspect and handle OBN files");
  auto path = std::make_shared<std::string>();

  auto* info = group->add_subcommand("info", "Header, epoch count, time span, interval, channels");
  info->add_option("FILE", *path, "OBN file")->required();
  info->callback([path] { Info(*path); });

  auto* dump = group->add_subcommand("dump", "One line per epoch and per measurement");
  dump->add_option("FILE", *path, "OBN file")->required();
  dump->callback([path] { Dump(*path); });

  auto output = std::make_shared<std::string>();
  auto inputs = std::make_shared<std::vector<std::string>>();
  auto* join = group->add_subcommand(
      "join", "Copy the epochs of several files into one (their .nvb and .sta are joined too)");
  join->add_option("OUT", *output, "OBN file to write")->required();
  join->add_option("IN", *inputs, "OBN files in order")->required();
  join->callback([output, inputs] { Join(*output, *inputs); });

  auto window = std::make_shared<std::pair<double, double>>();
  auto spliced = std::make_shared<std::string>();
  auto* splice = group->add_subcommand(
      "splice",
      "Keep the epochs of a window of seconds of week (the input is kept; its .nvb and .sta "
      "are copied beside the output)");
  splice->add_option("IN", *path, "OBN file")->required();
  splice->add_option("START", window->first, "window start, seconds of week")->required();
  splice->add_option("END", window->second, "window end, seconds of week")->required();
  splice->add_option("-o,--output", *spliced, "output file (default: IN with 1.obn)");
  splice->callback([path, window, spliced] { Splice(*path, *spliced, window->first, window->second); });

  auto* avg = app.add_subcommand("avgpos", "Average position and span of usable data of an OBN file");
  avg->add_option("FILE", *path, "OBN file (its .nvb companion gives the GPS week)")->required();
  avg->callback([path] {
    if (!stanvex::platform::FileExists(path->c_str()))
      throw stanvex::cli::CommandFailure{"Error: File " + *path + " not found"};
    AvgPosition average{};
    average.status = 1;  // the export makes it 0 when the file has no average
    double start = 0, end = 0;
    int32_t valid = 0;
    NewGetAvgOBNPos(path->c_str(), &average, &start, &end, &valid);
    if (average.status == 0) Fail();
    std::printf("average position: %.9f %.9f\n", average.position1, average.position2);
    if (valid == 1) {
      std::printf("start: %.3f  %s\n", start, GpsCalendar(start).c_str());
      std::printf("end:   %.3f  %s\n", end, GpsCalendar(end).c_str());
    }
    std::printf("valid: %d\n", valid);
  });
});

}  // namespace
