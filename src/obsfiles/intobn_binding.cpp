// The interpolation library (IntObn.dll): a finer interval of a resample,
// one library call per file, with the stop function published meanwhile for
// StopInerpolation.
#include <atomic>
#include <cstddef>
#include <cstring>

#include "base/text.h"
#include "intobn_api.h"
#include "obsfiles/obs_status.h"
#include "obsfiles/resample.h"
#include "obsfiles/resample_steps.h"
#include "platform/loaded_library.h"
#include "platform/platform.h"

namespace stanvex {

namespace {

constexpr const char* kIntObnLibrary = "IntObn.dll";

// The library's entry points; all three are required.
struct IntObnEntryPoints {
  DoInterpolationFunction doInterpolation;
  GetInterpErrorFunction getError;
  StopInterpolationFunction stop;
};

const platform::EntryPoint kIntObnEntryPoints[] = {
    {"_DoInterpolation@4", offsetof(IntObnEntryPoints, doInterpolation), true},
    {"_GetInterpError@4", offsetof(IntObnEntryPoints, getError), true},
    {"_StopInterpolation@0", offsetof(IntObnEntryPoints, stop), true},
};

// The failure's text when the entry point of the same index is missing.
const char* const kMissingEntryPointTexts[] = {
    "Error can't find function _DoInterpolation@4",
    "Error can't find function _GetInterpError@4",
    "Unable to find DLL function _StopInterpolation@0",
};

// The loaded library's stop function, published for StopInerpolation while
// DoInterpolation may run. stopCallers counts StopInerpolation calls that
// may still be using it, so the library is released only when none is.
std::atomic<StopInterpolationFunction> publishedStop{nullptr};
std::atomic<int32_t> stopCallers{0};

// Publishes the stop function for the length of one library call.
class PublishedStop {
 public:
  explicit PublishedStop(StopInterpolationFunction stop) { publishedStop.store(stop); }
  ~PublishedStop() {
    publishedStop.store(nullptr);
    // A StopInerpolation that read the function before it was withdrawn may
    // still be inside it; the library stays loaded until it has returned.
    while (stopCallers.load() != 0) platform::SleepMilliseconds(1);
  }
  PublishedStop(const PublishedStop&) = delete;
  PublishedStop& operator=(const PublishedStop&) = delete;
};

// Fills the library's request for one file. Fails when a name does not fit
// the request.
Result MakeRequest(const char* workingFolder, const char* input, const char* output,
                   double fileInterval, double interval, InterpolationRequest& request) {
  std::memset(&request, 0, sizeof request);
  if (std::strlen(input) >= sizeof request.inputName ||
      std::strlen(output) >= sizeof request.outputName)
    return Result::Failure(nullptr, "Error file name too long %s", output);
  request.size = static_cast<int32_t>(sizeof request);
  CopyText(request.workingDirectory, sizeof request.workingDirectory, workingFolder);
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
  return Result::Success();
}

}  // namespace

void STANVEX_CALL InterpolationProgress(int32_t, int32_t percent) {
  if (percent < 0 || percent > 100) return;
  ObsStatusSend(STATUS_INTERP_PERCENT, nullptr, percent);
}

void STANVEX_CALL InterpolationMessage(int32_t, const char* text) {
  ObsStatusSend(STATUS_TEXT, text != nullptr ? text : "");
}

Result InterpolateObn(const char* workingFolder, const ObnFileSet& inputs,
                      const ObnFileSet& outputs, double fileInterval, double interval) {
  const char* output = outputs.Obn();
  InterpolationRequest request;
  Result made = MakeRequest(workingFolder, inputs.Obn(), output, fileInterval, interval, request);
  if (!made.ok) return made;

  platform::LoadedLibrary library = platform::LoadedLibrary::Open(kIntObnLibrary);
  if (!library.IsOpen()) return Result::Failure(nullptr, "Error unable to open file IntObn.dll");
  IntObnEntryPoints entries{};
  const int missing = platform::FindEntryPoints(library, entries, kIntObnEntryPoints);
  if (missing >= 0) return Result::Failure(nullptr, "%s", kMissingEntryPointTexts[missing]);
  int32_t done;
  {
    PublishedStop published(entries.stop);
    done = entries.doInterpolation(&request);
  }
  if (done < 1) {
    char reason[kTextSize] = "";
    entries.getError(reason);
    reason[sizeof reason - 1] = '\0';
    if (reason[0] == '\0') CopyText(reason, sizeof reason, "Error in interpolation library");
    library.Close();  // before the output goes: the library may still hold it
    platform::DeleteFile(output);
    return Result::Failure(nullptr, "%s", reason);
  }
  library.Close();
  if (!platform::FileExists(output))
    return Result::Failure(nullptr, "Error interpolation wrote no file %s", output);
  inputs.DeleteMember(ObnMember::kObn);
  // The navigation data must survive under the output name: when the
  // library did not write it, the input's moves there.
  if (platform::FileExists(outputs.Name(ObnMember::kNvb))) inputs.DeleteMember(ObnMember::kNvb);
  else inputs.MoveMember(ObnMember::kNvb, outputs);
  inputs.MoveMember(ObnMember::kSta, outputs);
  return Result::Success();
}

int32_t StopRunningInterpolation() {
  stopCallers.fetch_add(1);
  int32_t result = 0;
  if (StopInterpolationFunction stop = publishedStop.load()) result = stop();
  stopCallers.fetch_sub(1);
  return result;
}

}  // namespace stanvex
