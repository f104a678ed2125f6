// Thinning: the coarser interval of a resample, done by keeping the epochs
// on its multiples.
#include <cmath>
#include <cstdint>

#include "base/last_error.h"
#include "base/text.h"
#include "obsfiles/obn_file.h"
#include "obsfiles/resample_steps.h"
#include "platform/platform.h"

namespace stanvex {

int ThinObn(const ObnFileSet& inputs, const ObnFileSet& outputs, double interval) {
  const char* input = inputs.Obn();
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
  inputs.DeleteMember(ObnMember::kObn);
  inputs.MoveMember(ObnMember::kNvb, outputs);
  inputs.MoveMember(ObnMember::kSta, outputs);
  return 0;
}

}  // namespace stanvex
