// The three exports of the interpolation library.
#include <atomic>
#include <cstdarg>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "interpolator.h"
#include "intobn_api.h"
#include "obn_stream.h"
#include "platform/platform.h"

namespace intobn {
namespace {

constexpr size_t kErrorSize = 512;
char errorText[kErrorSize] = "";
// Set by StopInterpolation from any thread; cleared when a run ends, so a stop
// that arrives before the run starts still ends it.
std::atomic<int32_t> stopRequested{0};
constexpr const char* kStopText = "Error: Interpolation stopped by request";

void SetError(const std::string& text) {
  std::snprintf(errorText, sizeof errorText, "%s", text.c_str());
}

bool Terminated(const char* field, size_t size) { return std::memchr(field, '\0', size) != nullptr; }

// Sends progress in steps of `step` percent (0 first, 100 last, each once).
class ProgressReporter {
 public:
  ProgressReporter(InterpProgressCallback callback, int step)
      : callback_(callback), step_(step >= 1 && step <= 100 ? step : 5) {}
  void Report(double fraction) {
    int percent = static_cast<int>(fraction * 100.0);
    if (percent > 100) percent = 100;
    if (percent < next_) return;
    if (callback_) callback_(0, percent);
    next_ = (percent / step_ + 1) * step_;
  }

 private:
  InterpProgressCallback callback_;
  int step_;
  int next_ = 0;
};

void Tell(const InterpolationRequest& request, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

void Tell(const InterpolationRequest& request, const char* format, ...) {
  if (request.message == nullptr) return;
  char text[kErrorSize];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  request.message(0, text);
}

Outcome CheckRequest(const InterpolationRequest* request, Settings& settings) {
  if (request == nullptr) return Outcome::Failure("Error: No interpolation request");
  if (request->size != static_cast<int32_t>(sizeof(InterpolationRequest))) {
    char text[128];
    std::snprintf(text, sizeof text, "Error: Interpolation request of %d bytes, expected %d",
                  static_cast<int>(request->size), static_cast<int>(sizeof(InterpolationRequest)));
    return Outcome::Failure(text);
  }
  if (!Terminated(request->inputName, sizeof request->inputName) ||
      !Terminated(request->outputName, sizeof request->outputName) ||
      request->inputName[0] == '\0' || request->outputName[0] == '\0')
    return Outcome::Failure("Error: Interpolation request without input or output name");
  if (!(request->outputInterval > 0.0) || !std::isfinite(request->outputInterval))
    return Outcome::Failure("Error: Invalid output interval in interpolation request");
  if (request->stencilPoints < 2 || request->stencilPoints > 8)
    return Outcome::Failure("Error: Interpolation stencil must have 2 to 8 points");
  settings.outputInterval = request->outputInterval;
  settings.stencilPoints = request->stencilPoints;
  settings.maxStencilSpan = std::isfinite(request->maxStencilSpan) ? request->maxStencilSpan : 0;
  settings.maxStepGap = std::isfinite(request->maxStepGap) ? request->maxStepGap : 0;
  return Outcome{};
}

Outcome Run(const InterpolationRequest& request, Settings settings) {
  ProgressReporter progress(request.progress, request.progressStep);
  progress.Report(0.0);
  const char* input = request.inputName;
  const char* output = request.outputName;
  auto keepGoing = [] { return stopRequested.load() == 0; };

  stanvex::ObnHeader header;
  std::vector<InputEpoch> epochs;
  Outcome read = ReadObn(input, header, epochs, keepGoing, kStopText);
  if (!read.ok) return read;
  if (epochs.empty()) return Outcome::Failure(std::string("No epochs in File ") + input);
  Tell(request, "Interpolating %s (%zu epochs) to %.2f s", input, epochs.size(),
       settings.outputInterval);

  const std::string temporary = std::string(output) + ".part";
  ObnWriter writer;
  const int8_t channels = header.maxChannels > stanvex::kObnWriterChannels
                              ? header.maxChannels
                              : static_cast<int8_t>(stanvex::kObnWriterChannels);
  settings.maxChannels = channels;
  Outcome created = writer.Create(temporary.c_str(), output, header.carriedByte, channels,
                                  static_cast<float>(settings.outputInterval));
  if (!created.ok) return created;

  Outcome failure;
  Stats stats;
  const bool finished = Interpolate(
      epochs, settings,
      [&](const stanvex::ObnPositionRecord& p, const stanvex::ObnMeasurementRecord* m, int n) {
        failure = writer.Write(p, m, n);
        return failure.ok;
      },
      [&](double fraction) {
        if (!keepGoing()) {
          failure = Outcome::Failure(kStopText);
          return false;
        }
        progress.Report(fraction * 0.99);
        return true;
      },
      &stats);
  if (!finished) return failure;  // the writer deletes its file
  Outcome done = writer.Finish();
  if (!done.ok) return done;
  if (!keepGoing()) {
    stanvex::platform::DeleteFile(temporary.c_str());
    return Outcome::Failure(kStopText);
  }
  if (!stanvex::platform::MoveFile(temporary.c_str(), output)) {
    stanvex::platform::DeleteFile(temporary.c_str());
    return Outcome::Failure(std::string("Error: Unable to write to ") + output);
  }

  // The navigation file goes with the output, which is delivered under its name.
  const std::string inputNav = WithExtension(input, ".nvb");
  const std::string outputNav = WithExtension(output, ".nvb");
  if (inputNav != outputNav) {
    if (std::FILE* probe = stanvex::platform::OpenForReading(inputNav.c_str())) {
      std::fclose(probe);
      Outcome copied = CopyWholeFile(inputNav.c_str(), outputNav.c_str());
      if (!copied.ok) {
        stanvex::platform::DeleteFile(output);
        return copied;
      }
    } else {
      Tell(request, "No navigation file %s to copy", inputNav.c_str());
    }
  }
  Tell(request,
       "Interpolation added %ld epochs (%ld satellite values); %ld grid epochs had no satellite; "
       "left out: %ld across a loss of lock or gap, %ld across an unflagged jump",
       stats.newEpochs, stats.valuesWritten, stats.emptyEpochs, stats.lockLeftOut,
       stats.jumpLeftOut);
  progress.Report(1.0);
  return Outcome{};
}

}  // namespace
}  // namespace intobn

extern "C" INTOBN_EXPORT int32_t INTOBN_CALL DoInterpolation(InterpolationRequest* request) {
  using namespace intobn;
  int32_t result = 0;
  try {
    Settings settings;
    Outcome outcome = CheckRequest(request, settings);
    if (outcome.ok) outcome = Run(*request, settings);
    if (outcome.ok) {
      result = 1;
      errorText[0] = '\0';
    } else {
      SetError(outcome.message);
    }
  } catch (const std::exception& e) {
    SetError(std::string("Error: Interpolation failed: ") + e.what());
  } catch (...) {
    SetError("Error: Interpolation failed");
  }
  stopRequested.store(0);
  return result;
}

extern "C" INTOBN_EXPORT int32_t INTOBN_CALL GetInterpError(char* text) {
  if (text == nullptr) return 0;
  std::snprintf(text, intobn::kErrorSize, "%s", intobn::errorText);
  return static_cast<int32_t>(std::strlen(text));
}

extern "C" INTOBN_EXPORT int32_t INTOBN_CALL StopInterpolation(void) {
  intobn::stopRequested.store(1);
  return 1;
}
