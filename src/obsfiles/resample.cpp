// Deciding a resample: the file's interval is measured, then the files are
// renamed, thinned (resample_thin.cpp) or interpolated (intobn_binding.cpp).
#include "obsfiles/resample.h"

#include <cmath>
#include <cstdio>

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
// epochs. Fails when the file cannot be read or holds no epoch.
Result MeasureInterval(const char* input, double& interval) {
  ObnFile* file = nullptr;
  Result opened = OpenObnForRead(input, kObnBufferSize, &file);
  if (!opened.ok) return opened;
  ObnPositionRecord position;
  ObnMeasurementRecord measurements[kObnReaderRoom];
  // A damaged epoch still tells its time.
  if (ReadObnEpoch(file, &position, measurements).AtEnd()) {
    CloseObn(file);
    return Result::Failure(nullptr, "No epochs in File %s", input);
  }
  interval = kNoIntervalSeconds;
  double previous = position.time;
  for (int read = 1; read < kIntervalScanEpochs; ++read) {
    if (ReadObnEpoch(file, &position, measurements).AtEnd()) break;
    const double step = position.time - previous;
    if (step > 0 && step < interval) interval = step;
    previous = position.time;
  }
  CloseObn(file);
  return Result::Success();
}

// Moves each of the three files of input to the output name.
Result MoveAll(const ObnFileSet& input, const ObnFileSet& output) {
  for (ObnMember member : kObnMembers) {
    if (SameFilePath(input.Name(member), output.Name(member)) ||
        !platform::FileExists(input.Name(member)))
      continue;
    Result moved = input.MoveMember(member, output);
    if (!moved.ok) return moved;
  }
  return Result::Success();
}

}  // namespace

Result InvalidInterval(double fileInterval) {
  return Result::Failure(
      nullptr,
      "Invlalid input interval must use an interval that divides evenly into the interval of "
      "the OBN file = %3d",
      static_cast<int>(fileInterval));
}

Result CheckResampleInterval(double interval) {
  // Compared as a double: an out-of-range value made an integer has no
  // meaning (1e300 came out as -2147483648).
  if (interval > 0.0 && interval <= kLongestInterval) return Result::Success();
  return Result::Failure(nullptr,
                         "Error the interval %g s can not be used: it must be greater than 0 and "
                         "at most %.0f s (one week)",
                         interval, kLongestInterval);
}

Result ResampleObn(const char* workingFolder, const char* input, const char* output,
                   double interval) {
  ObsStatusTakeCallBack();
  Result checked = CheckResampleInterval(interval);
  if (!checked.ok) return checked;
  double fileInterval = 0.0;
  Result measured = MeasureInterval(input, fileInterval);
  if (!measured.ok) return measured;
  ObsStatusSend(STATUS_INTERVAL, nullptr, 0, 0, fileInterval);

  ObnFileSet inputs, outputs;
  if (!inputs.Assign(input).ok || !outputs.Assign(output).ok)
    return Result::Failure(nullptr, "Error file name too long %s", output);
  if (SameInterval(fileInterval, interval)) return MoveAll(inputs, outputs);
  // Thinning or interpolating into the input itself would destroy it.
  if (SameFilePath(input, output))
    return Result::Failure(nullptr, "Error input and output are the same file %s", input);
  if (fileInterval > interval) {
    const double divisions = std::round(fileInterval / interval);
    if (divisions < 1 || !SameInterval(divisions * interval, fileInterval))
      return InvalidInterval(fileInterval);
    return InterpolateObn(workingFolder, inputs, outputs, fileInterval, interval);
  }
  return ThinObn(inputs, outputs, interval);
}

}  // namespace stanvex
