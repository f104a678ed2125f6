#include "obsfiles/splice.h"

#include <cstring>

#include "base/paths.h"
#include "base/text.h"
#include "obsfiles/obn_file_set.h"
#include "obsfiles/obs_status.h"
#include "platform/platform.h"

namespace stanvex {

const char kWeekCrossoverText[] =
    "Only Data from before the week crossover will be obtained.You will have to run the program "
    "again to get data after the week crossover!";

namespace {

Result NameTooLong(const char* inputName) {
  return Result::Failure(nullptr, "Error file name too long %s",
                         inputName != nullptr ? inputName : "");
}

}  // namespace

Result SpliceOutputName(const char* inputName, char* outputName, size_t outputSize) {
  if (outputName == nullptr || outputSize == 0) return NameTooLong(inputName);
  outputName[0] = '\0';
  if (inputName == nullptr) return NameTooLong(inputName);
  // Only the last component's dot counts, so a dotted directory is kept whole.
  size_t start = 0;
  const size_t length = std::strlen(inputName);
  for (size_t i = 0; i < length; ++i) {
    if (platform::IsPathSeparator(inputName[i])) start = i + 1;
  }
  const char* dot = std::strchr(inputName + start, '.');
  const size_t stem = dot != nullptr ? static_cast<size_t>(dot - inputName) : length;
  static const char kSuffix[] = "1.obn";
  if (stem + sizeof kSuffix > outputSize) return NameTooLong(inputName);
  std::memmove(outputName, inputName, stem);
  std::memcpy(outputName + stem, kSuffix, sizeof kSuffix);
  return Result::Success();
}

Result CopyObnWindow(ObnFile* input, ObnFile* output, double start, double end, long* kept) {
  ObnPositionRecord position;
  ObnMeasurementRecord measurements[kObnReaderRoom];
  long written = 0;
  Result result = Result::Success();
  for (;;) {
    const Result read = ReadObnEpoch(input, &position, measurements, kObnReaderRoom);
    if (read.AtEnd()) break;
    if (!read.ok) {
      result = read;
      break;
    }
    if (position.time < start || position.time > end) continue;
    result = WriteObnEpoch(output, &position, measurements);
    if (!result.ok) break;
    ++written;
  }
  if (kept != nullptr) *kept = written;
  return result;
}

Result SpliceToWindow(const char* inputName, char* outputName, size_t outputSize, double start,
                      double end) {
  ObsStatusTakeCallBack();
  ObsStatusSend(STATUS_SPLICE_START);
  if (inputName == nullptr) inputName = "";

  ObnFileSet input, output;
  if (!SpliceOutputName(inputName, outputName, outputSize).ok || !input.Assign(inputName).ok ||
      !output.Assign(outputName).ok)
    return Result::Failure(nullptr, "Error Unable to open binary file %s", inputName);

  // The ephemeris file is not cut: it takes the output name as it is.
  if (!input.MoveMember(ObnMember::kNvb, output).ok)
    return Result::Failure(nullptr, "Error creating file cFileOutNVB");

  if (start > end) {
    ObsStatusSend(STATUS_WEEK_CROSSOVER, kWeekCrossoverText);
    end = kWeekEndSeconds;
  }

  ObnFile* in = nullptr;
  if (!OpenObnForRead(inputName, kObnBufferSize, &in).ok)
    return Result::Failure(nullptr, "Error Unable to open binary file %s", inputName);
  ObnFile* out = nullptr;
  if (!CreateObn(outputName, in->header.carriedByte, in->header.interval, kObnBufferSize,
                 kObnWriterChannels, &out)
           .ok) {
    CloseObn(in);
    return Result::Failure(nullptr, "Error Unable to open binary file %s", outputName);
  }
  Result copied = CopyObnWindow(in, out, start, end);
  CloseObn(in);
  // The output is complete only once its buffer is flushed; the input is
  // kept when that fails. A failed close adds nothing to a failed copy.
  Result closed = CloseObn(out);
  if (!copied.ok) return copied;
  if (!closed.ok) return closed;

  input.DeleteMember(ObnMember::kObn);
  input.DeleteMember(ObnMember::kNvb);
  // A station file that cannot be moved stays under its input name rather
  // than being lost.
  input.MoveMember(ObnMember::kSta, output);
  return Result::Success();
}

}  // namespace stanvex
