#include "obsfiles/splice.h"

#include <cstring>

#include "base/last_error.h"
#include "base/paths.h"
#include "base/text.h"
#include "obsfiles/obn_file_set.h"
#include "obsfiles/obs_status.h"
#include "platform/platform.h"

namespace stanvex {

const char kWeekCrossoverText[] =
    "Only Data from before the week crossover will be obtained.You will have to run the program "
    "again to get data after the week crossover!";

bool SpliceOutputName(const char* inputName, char* outputName, size_t outputSize) {
  if (outputName == nullptr || outputSize == 0) return false;
  outputName[0] = '\0';
  if (inputName == nullptr) return false;
  // Only the last component's dot counts, so a dotted directory is kept whole.
  size_t start = 0;
  const size_t length = std::strlen(inputName);
  for (size_t i = 0; i < length; ++i) {
    if (platform::IsPathSeparator(inputName[i])) start = i + 1;
  }
  const char* dot = std::strchr(inputName + start, '.');
  const size_t stem = dot != nullptr ? static_cast<size_t>(dot - inputName) : length;
  static const char kSuffix[] = "1.obn";
  if (stem + sizeof kSuffix > outputSize) return false;
  std::memmove(outputName, inputName, stem);
  std::memcpy(outputName + stem, kSuffix, sizeof kSuffix);
  return true;
}

int CopyObnWindow(ObnFile* input, ObnFile* output, double start, double end, long* kept) {
  ObnPositionRecord position;
  ObnMeasurementRecord measurements[kObnReaderRoom];
  long written = 0;
  int result = 0;
  for (;;) {
    const int read = ReadObnEpoch(input, &position, measurements, kObnReaderRoom);
    if (read < 0) break;
    if (read > 0) {
      result = -1;
      break;
    }
    if (position.time < start || position.time > end) continue;
    if (WriteObnEpoch(output, &position, measurements) != 0) {
      result = -1;
      break;
    }
    ++written;
  }
  if (kept != nullptr) *kept = written;
  return result;
}

int SpliceToWindow(const char* inputName, char* outputName, size_t outputSize, double start,
                   double end) {
  ObsStatusTakeCallBack();
  ObsStatusSend(STATUS_SPLICE_START);
  if (inputName == nullptr) inputName = "";

  ObnFileSet input, output;
  if (!SpliceOutputName(inputName, outputName, outputSize) || !input.Assign(inputName) ||
      !output.Assign(outputName)) {
    SetLastErrorText("Error Unable to open binary file %s", inputName);
    return -1;
  }

  // The ephemeris file is not cut: it takes the output name as it is.
  if (!input.MoveMember(ObnMember::kNvb, output)) {
    SetLastErrorText("Error creating file cFileOutNVB");
    return -1;
  }

  if (start > end) {
    ObsStatusSend(STATUS_WEEK_CROSSOVER, kWeekCrossoverText);
    end = kWeekEndSeconds;
  }

  ObnFile* in = OpenObnForRead(inputName, kObnBufferSize);
  if (in == nullptr) {
    SetLastErrorText("Error Unable to open binary file %s", inputName);
    return -1;
  }
  ObnFile* out = CreateObn(outputName, in->header.carriedByte, in->header.interval,
                           kObnBufferSize, kObnWriterChannels);
  if (out == nullptr) {
    CloseObn(in);
    SetLastErrorText("Error Unable to open binary file %s", outputName);
    return -1;
  }
  if (CopyObnWindow(in, out, start, end) != 0) {
    char reason[kTextSize];
    CopyText(reason, sizeof reason, LastErrorText);
    CloseObn(in);
    CloseObn(out);
    CopyText(LastErrorText, kTextSize, reason);
    return -1;
  }
  CloseObn(in);
  // The output is complete only once its buffer is flushed; the input is
  // kept when that fails.
  if (CloseObn(out) != 0) return -1;

  input.DeleteMember(ObnMember::kObn);
  input.DeleteMember(ObnMember::kNvb);
  // A station file that cannot be moved stays under its input name rather
  // than being lost; the reason is left for the caller, whose output then
  // lacks it.
  if (!input.MoveMember(ObnMember::kSta, output))
    SetLastErrorText("Error unable to move %s to %s", input.Name(ObnMember::kSta),
                     output.Name(ObnMember::kSta));
  return 0;
}

}  // namespace stanvex
