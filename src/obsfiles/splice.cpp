#include "obsfiles/splice.h"

#include <cstring>

#include "api/library_state.h"
#include "api/paths.h"
#include "obsfiles/obs_status.h"
#include "platform/platform.h"

namespace stanvex {

const char kWeekCrossoverText[] =
    "Only Data from before the week crossover will be obtained.You will have to run the program "
    "again to get data after the week crossover!";

namespace {

bool CompanionName(const char* name, const char* extension, char* out) {
  if (std::strlen(name) + std::strlen(extension) >= kPathSize) return false;
  CopyText(out, kPathSize, name);
  ReplaceExtension(out, extension);
  return true;
}

}  // namespace

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
  ObsStatusTakeCallBackIfNone();
  ObsStatusSend(STATUS_SPLICE_START);
  if (inputName == nullptr) inputName = "";

  char inputNvb[kPathSize], outputNvb[kPathSize], inputSta[kPathSize], outputSta[kPathSize];
  if (!SpliceOutputName(inputName, outputName, outputSize) ||
      !CompanionName(inputName, ".nvb", inputNvb) || !CompanionName(outputName, ".nvb", outputNvb) ||
      !CompanionName(inputName, ".sta", inputSta) || !CompanionName(outputName, ".sta", outputSta)) {
    SetLastErrorText("Error Unable to open binary file %s", inputName);
    return -1;
  }

  platform::DeleteFile(outputNvb);
  if (!platform::MoveFile(inputNvb, outputNvb)) {
    SetLastErrorText("Error creating file cFileOutNVB");
    return -1;
  }

  if (start > end) {
    ObsStatusSend(STATUS_WEEK_CROSSOVER, kWeekCrossoverText);
    end = kWeekEndSeconds;
  }

  ObnFile* input = OpenObnForRead(inputName, kObnBufferSize);
  if (input == nullptr) {
    SetLastErrorText("Error Unable to open binary file %s", inputName);
    return -1;
  }
  ObnFile* output = CreateObn(outputName, input->header.carriedByte, input->header.interval,
                              kObnBufferSize, kObnWriterChannels);
  if (output == nullptr) {
    CloseObn(input);
    SetLastErrorText("Error Unable to open binary file %s", outputName);
    return -1;
  }
  if (CopyObnWindow(input, output, start, end) != 0) {
    char reason[kTextSize];
    CopyText(reason, sizeof reason, LastErrorText);
    CloseObn(input);
    CloseObn(output);
    CopyText(LastErrorText, kTextSize, reason);
    return -1;
  }
  CloseObn(input);
  // The output is complete only once its buffer is flushed; the input is
  // kept when that fails.
  if (CloseObn(output) != 0) return -1;

  platform::DeleteFile(inputName);
  platform::DeleteFile(inputNvb);
  platform::DeleteFile(outputSta);
  // A station file that cannot be moved stays under its input name rather
  // than being lost.
  if (platform::MoveFile(inputSta, outputSta)) platform::DeleteFile(inputSta);
  return 0;
}

}  // namespace stanvex
