// Deciding a resample: the file's interval is measured, then the files are
// renamed, thinned (resample_thin.cpp) or interpolated (intobn_binding.cpp).
#include "obsfiles/resample.h"

#include <cmath>
#include <cstdio>

#include "base/last_error.h"
#include "base/paths.h"
#include "base/text.h"
#include "obsfiles/obn_file.h"
#include "obsfiles/obn_file_set.h"
#include "obsfiles/obs_status.h"
#include "obsfiles/resample_steps.h"
#include "platform/platform.h"

namespace stanvex {

namespace {

// Intervals within a millionth of each other are the same: epoch times are
// float64 seconds of week, and a 30 s step may come out as 29.9999999.
bool SameInterval(double a, double b) {
  return std::fabs(a - b) <= 1e-6 * std::fmax(std::fabs(a), std::fabs(b));
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
  for (ObnMember member : kObnMembers) {
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

}  // namespace

int InvalidInterval(double fileInterval) {
  SetLastErrorText(
      "Invlalid input interval must use an interval that divides evenly into the interval of "
      "the OBN file = %3d",
      static_cast<int>(fileInterval));
  return -1;
}

bool CheckResampleInterval(double interval, char* out, size_t size) {
  // Compared as a double: an out-of-range value made an integer has no
  // meaning (1e300 came out as -2147483648).
  if (interval > 0.0 && interval <= kLongestInterval) return true;
  std::snprintf(out, size,
                "Error the interval %g s can not be used: it must be greater than 0 and at most "
                "%.0f s (one week)",
                interval, kLongestInterval);
  return false;
}

int ResampleObn(const char* input, const char* output, double interval) {
  ObsStatusTakeCallBack();
  char refused[kTextSize];
  if (!CheckResampleInterval(interval, refused, sizeof refused)) {
    SetLastErrorText("%s", refused);
    return -1;
  }
  double fileInterval = 0.0;
  if (!MeasureInterval(input, fileInterval)) return -1;
  ObsStatusSend(STATUS_INTERVAL, nullptr, 0, 0, fileInterval);

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
    return InterpolateObn(inputs, outputs, fileInterval, interval);
  }
  return ThinObn(inputs, outputs, interval);
}

}  // namespace stanvex
