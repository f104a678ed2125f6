#include "obsfiles/resample.h"

#include <atomic>
#include <initializer_list>
#include <cmath>
#include <cstring>

#include "intobn_api.h"
#include "api/library_state.h"
#include "api/paths.h"
#include "obsfiles/obn_file.h"
#include "obsfiles/obn_file_set.h"
#include "obsfiles/obs_status.h"
#include "platform/platform.h"

namespace stanvex {

namespace {

// The loaded library's stop function, published for StopInerpolation while
// DoInterpolation may run. stop_callers counts StopInerpolation calls that
// may still be using it, so the library is released only when none is.
std::atomic<StopInterpolationFunction> published_stop{nullptr};
std::atomic<int32_t> stop_callers{0};

// Intervals within a millionth of each other are the same: epoch times are
// float64 seconds of week, and a 30 s step may come out as 29.9999999.
bool SameInterval(double a, double b) {
  return std::fabs(a - b) <= 1e-6 * std::fmax(std::fabs(a), std::fabs(b));
}

int InvalidInterval(double fileInterval) {
  SetLastErrorText(
      "Invlalid input interval must use an interval that divides evenly into the interval of "
      "the OBN file = %3d",
      static_cast<int>(fileInterval));
  return -1;
}

// Measures the file interval: the smallest positive step among the first
// epochs. Returns false with LastErrorText set when the file cannot be read.
bool MeasureInterval(const char* input, double& interval) {
  ObnFile* file = OpenObnForRead(input, kObnBufferSize);
  if (file == nullptr) return false;
  ObnPositionRecord position;
  ObnMeasurementRecord measurements[kObnReaderRoom];
  if (ReadObnEpoch(file, &position, measurements) == -1) {
    SetLastErrorText("No epochs in File %s", input);
    CloseObn(file);
    return false;
  }
  interval = kNoIntervalSeconds;
  double previous = position.time;
  for (int read = 1; read < kIntervalScanEpochs; ++read) {
    if (ReadObnEpoch(file, &position, measurements) == -1) break;
    const double step = position.time - previous;
    if (step > 0 && step < interval) interval = step;
    previous = position.time;
  }
  CloseObn(file);
  return true;
}

// Moves each of the three files of input to the output name.
int MoveAll(const ObnFileSet& input, const ObnFileSet& output) {
  for (ObnMember member : {ObnMember::kObn, ObnMember::kNvb, ObnMember::kSta}) {
    if (SameFilePath(input.Name(member), output.Name(member)) ||
        !platform::FileExists(input.Name(member)))
      continue;
    if (!input.MoveMember(member, output)) {
      SetLastErrorText("Error unable to move file %s to %s", input.Name(member),
                       output.Name(member));
      return -1;
    }
  }
  return 0;
}

// Thins input into output, keeping the epochs on multiples of interval.
int Thin(const ObnFileSet& files, const ObnFileSet& outputs, double interval) {
  const char* input = files.Obn();
  const char* output = outputs.Obn();
  const long long step = std::llround(interval * 100.0);
  if (step < 1) return InvalidInterval(interval);
  ObnFile* in = OpenObnForRead(input, kObnBufferSize);
  if (in == nullptr) {
    SetLastErrorText("Error Unable to OPEN file %s", input);
    return -1;
  }
  ObnFile* out = CreateObn(output, in->header.carriedByte, static_cast<float>(interval),
                           static_cast<int16_t>(kObnBufferSize),
                           static_cast<int8_t>(kObnWriterChannels));
  if (out == nullptr) {
    CloseObn(in);
    SetLastErrorText("ERROR unable to open file %s", output);
    return -1;
  }
  ObnPositionRecord position;
  ObnMeasurementRecord measurements[kObnReaderRoom];
  // Loss of lock flagged in a skipped epoch happened before the next kept
  // epoch of that satellite: it is carried there, or the thinned file would
  // hide the cycle slip.
  uint8_t skippedLossOfLock[256] = {};
  constexpr uint8_t kLossOfLock = kObnL1LossOfLock | kObnL2LossOfLock;
  int result;
  while ((result = ReadObnEpoch(in, &position, measurements)) == 0) {
    const int count = position.count < 0 ? 0 : position.count;
    const long long hundredths = static_cast<long long>(position.time * 100.0 + 0.5);
    if (hundredths % step != 0) {
      for (int k = 0; k < count; ++k)
        skippedLossOfLock[measurements[k].prn] |= measurements[k].lockFlags & kLossOfLock;
      continue;
    }
    for (int k = 0; k < count; ++k) {
      measurements[k].lockFlags |= skippedLossOfLock[measurements[k].prn];
      skippedLossOfLock[measurements[k].prn] = 0;
    }
    if (WriteObnEpoch(out, &position, measurements) != 0) {
      result = 1;
      break;
    }
  }
  // Closing must not replace the reason of a failure.
  char reason[kTextSize];
  CopyText(reason, sizeof reason, LastErrorText);
  CloseObn(in);
  const bool flushed = CloseObn(out) == 0;
  if (result != -1 || !flushed) {
    if (result != -1) CopyText(LastErrorText, sizeof LastErrorText, reason);
    platform::DeleteFile(output);  // an incomplete output is never left behind
    return -1;
  }
  files.DeleteMember(ObnMember::kObn);
  files.MoveMember(ObnMember::kNvb, outputs);
  files.MoveMember(ObnMember::kSta, outputs);
  return 0;
}

// Publishes the stop function for the length of one library call.
class PublishedStop {
 public:
  explicit PublishedStop(StopInterpolationFunction stop) { published_stop.store(stop); }
  ~PublishedStop() {
    published_stop.store(nullptr);
    // A StopInerpolation that read the function before it was withdrawn may
    // still be inside it; the library stays loaded until it has returned.
    while (stop_callers.load() != 0) platform::SleepMilliseconds(1);
  }
  PublishedStop(const PublishedStop&) = delete;
  PublishedStop& operator=(const PublishedStop&) = delete;
};

int CallLibrary(const ObnFileSet& files, const ObnFileSet& outputs, double fileInterval,
                double interval) {
  const char* input = files.Obn();
  const char* output = outputs.Obn();
  InterpolationRequest request;
  std::memset(&request, 0, sizeof request);
  if (std::strlen(input) >= sizeof request.inputName ||
      std::strlen(output) >= sizeof request.outputName) {
    SetLastErrorText("Error file name too long %s", output);
    return -1;
  }
  request.size = static_cast<int32_t>(sizeof request);
  CopyText(request.workingDirectory, sizeof request.workingDirectory, WorkingDirectory);
  request.inputFileCount = 1;
  CopyText(request.inputName, sizeof request.inputName, input);
  CopyText(request.outputName, sizeof request.outputName, output);
  request.keepInputEpochs = 1;
  request.copyNavigation = 1;
  request.inputFormat = 111;
  request.inputInterval = fileInterval;
  request.interpolatePhases = 1;
  request.outputFormat = 104;
  request.progressStep = 5;
  request.outputInterval = interval;
  request.interpolateRanges = 1;
  request.stencilPoints = 4;
  request.maxStencilSpan = 200.0;
  request.maxStepGap = 180.0;
  request.endMarker = -1;
  request.progress = &InterpolationProgress;
  request.message = &InterpolationMessage;

  platform::LibraryHandle library = platform::LoadLibraryByName("IntObn.dll");
  if (library == nullptr) {
    SetLastErrorText("Error unable to open file IntObn.dll");
    return -1;
  }
  auto doInterpolation = reinterpret_cast<DoInterpolationFunction>(
      platform::FindFunction(library, "_DoInterpolation@4"));
  auto getError = reinterpret_cast<GetInterpErrorFunction>(
      platform::FindFunction(library, "_GetInterpError@4"));
  auto stop = reinterpret_cast<StopInterpolationFunction>(
      platform::FindFunction(library, "_StopInterpolation@0"));
  const char* missing = doInterpolation == nullptr ? "Error can't find function _DoInterpolation@4"
                        : getError == nullptr      ? "Error can't find function _GetInterpError@4"
                        : stop == nullptr ? "Unable to find DLL function _StopInterpolation@0"
                                          : nullptr;
  if (missing != nullptr) {
    SetLastErrorText("%s", missing);
    platform::FreeLibrary(library);
    return -1;
  }
  int32_t done;
  {
    PublishedStop published(stop);
    done = doInterpolation(&request);
  }
  if (done < 1) {
    char reason[kTextSize] = "";
    getError(reason);
    reason[sizeof reason - 1] = '\0';
    if (reason[0] == '\0') CopyText(reason, sizeof reason, "Error in interpolation library");
    CopyText(LastErrorText, sizeof LastErrorText, reason);
    platform::FreeLibrary(library);
    platform::DeleteFile(output);
    return -1;
  }
  platform::FreeLibrary(library);
  if (!platform::FileExists(output)) {
    SetLastErrorText("Error interpolation wrote no file %s", output);
    return -1;
  }
  files.DeleteMember(ObnMember::kObn);
  // The navigation data must survive under the output name: when the
  // library did not write it, the input's moves there.
  if (platform::FileExists(outputs.Name(ObnMember::kNvb))) files.DeleteMember(ObnMember::kNvb);
  else files.MoveMember(ObnMember::kNvb, outputs);
  files.MoveMember(ObnMember::kSta, outputs);
  return 0;
}

}  // namespace

void STANVEX_CALL InterpolationProgress(int32_t, int32_t percent) {
  if (percent < 0 || percent > 100) return;
  ObsStatusSend(STATUS_INTERP_PERCENT, nullptr, percent);
}

void STANVEX_CALL InterpolationMessage(int32_t, const char* text) {
  ObsStatusSend(STATUS_TEXT, text != nullptr ? text : "");
}

int ResampleObn(const char* input, const char* output, double interval) {
  ObsStatusTakeCallBackIfNone();
  double fileInterval = 0.0;
  if (!MeasureInterval(input, fileInterval)) return -1;
  ObsStatusSend(STATUS_INTERVAL, nullptr, 0, 0, fileInterval);

  if (!(interval > 0.0) || !std::isfinite(interval)) return InvalidInterval(fileInterval);
  ObnFileSet inputs, outputs;
  if (!inputs.Assign(input) || !outputs.Assign(output)) {
    SetLastErrorText("Error file name too long %s", output);
    return -1;
  }
  if (SameInterval(fileInterval, interval)) return MoveAll(inputs, outputs);
  // Thinning or interpolating into the input itself would destroy it.
  if (SameFilePath(input, output)) {
    SetLastErrorText("Error input and output are the same file %s", input);
    return -1;
  }
  if (fileInterval > interval) {
    const double divisions = std::round(fileInterval / interval);
    if (divisions < 1 || !SameInterval(divisions * interval, fileInterval))
      return InvalidInterval(fileInterval);
    return CallLibrary(inputs, outputs, fileInterval, interval);
  }
  return Thin(inputs, outputs, interval);
}

int32_t StopRunningInterpolation() {
  stop_callers.fetch_add(1);
  int32_t result = 0;
  if (StopInterpolationFunction stop = published_stop.load()) result = stop();
  stop_callers.fetch_sub(1);
  return result;
}

}  // namespace stanvex
