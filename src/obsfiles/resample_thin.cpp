// Thinning: the coarser interval of a resample, done by keeping the epochs
// on its multiples.
#include <cmath>
#include <cstdint>

#include "base/text.h"
#include "obsfiles/obn_file.h"
#include "obsfiles/resample_steps.h"
#include "platform/platform.h"

namespace stanvex {

Result ThinObn(const ObnFileSet& inputs, const ObnFileSet& outputs, double interval) {
  const char* input = inputs.Obn();
  const char* output = outputs.Obn();
  const long long step = std::llround(interval * 100.0);
  if (step < 1) return InvalidInterval(interval);
  ObnFile* in = nullptr;
  if (!OpenObnForRead(input, kObnBufferSize, &in).ok)
    return Result::Failure(nullptr, "Error Unable to OPEN file %s", input);
  ObnFile* out = nullptr;
  if (!CreateObn(output, in->header.carriedByte, static_cast<float>(interval),
                 static_cast<int16_t>(kObnBufferSize), static_cast<int8_t>(kObnWriterChannels),
                 &out)
           .ok) {
    CloseObn(in);
    return Result::Failure(nullptr, "ERROR unable to open file %s", output);
  }
  ObnPositionRecord position;
  ObnMeasurementRecord measurements[kObnReaderRoom];
  // Loss of lock flagged in a skipped epoch happened before the next kept
  // epoch of that satellite: it is carried there, or the thinned file would
  // hide the cycle slip.
  uint8_t skippedLossOfLock[256] = {};
  constexpr uint8_t kLossOfLock = kObnL1LossOfLock | kObnL2LossOfLock;
  Result result;
  while ((result = ReadObnEpoch(in, &position, measurements)).ok) {
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
    result = WriteObnEpoch(out, &position, measurements);
    if (!result.ok) break;
  }
  CloseObn(in);
  const Result closed = CloseObn(out);
  // Closing must not replace the reason of a failure.
  if (result.Failed() || !closed.ok) {
    platform::DeleteFile(output);  // an incomplete output is never left behind
    return result.Failed() ? result : closed;
  }
  inputs.DeleteMember(ObnMember::kObn);
  inputs.MoveMember(ObnMember::kNvb, outputs);
  inputs.MoveMember(ObnMember::kSta, outputs);
  return Result::Success();
}

}  // namespace stanvex
