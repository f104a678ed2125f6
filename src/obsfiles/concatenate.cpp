#include "obsfiles/concatenate.h"

#include <cstdio>
#include <cstring>

#include "base/paths.h"
#include "base/text.h"
#include "obsfiles/obn_file.h"
#include "obsfiles/obn_file_set.h"
#include "obsfiles/obs_status.h"
#include "platform/platform.h"

namespace stanvex {

namespace {

// Copies the NUL-terminated name of a slot; false when the slot holds none.
bool SlotName(const char* slot, char* name, size_t size) {
  if (std::memchr(slot, '\0', kDailyNameSize) == nullptr) return false;
  CopyText(name, size, slot);
  return true;
}

void CloseAll(ObnFile** files, int count) {
  for (int i = 0; i < count; ++i) {
    CloseObn(files[i]);
    files[i] = nullptr;
  }
}

Result DiskFull(const char* path) {
  return Result::Failure(nullptr, "Unable to write to %s (disk full)", path);
}

// Copies the lines of one text file to output (the open file of outputName)
// with CR LF line ends, dropping empty lines. Lines of any length are copied
// whole. Fails with "Unable to write to %s (disk full)" when a write fails,
// "Unable to read %s" (inputName) when a read fails.
class CrLfLineCopier {
 public:
  CrLfLineCopier(std::FILE* output, const char* outputName)
      : output_(output), outputName_(outputName) {}

  Result CopyFrom(std::FILE* input, const char* inputName) {
    atLineStart_ = true;
    pendingCr_ = false;
    char chunk[4096];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, input)) > 0) {
      for (size_t i = 0; i < got; ++i) Take(chunk[i]);
      if (failed_) return DiskFull(outputName_);
    }
    // A read that fails is no end of the file: the rest would be missing.
    if (std::ferror(input) != 0) return Result::Failure(nullptr, "Unable to read %s", inputName);
    // A last line without its line end still ends here, so it never runs
    // into the first line of the next file.
    if (pendingCr_) Put('\r');
    if (!atLineStart_) EndLine();
    return failed_ ? DiskFull(outputName_) : Result::Success();
  }

 private:
  void Take(char c) {
    if (c == '\n') {
      if (!atLineStart_) EndLine();  // a line of nothing but its end is dropped
      pendingCr_ = false;
      atLineStart_ = true;
      return;
    }
    if (pendingCr_) Put('\r');  // a CR not followed by LF is content
    pendingCr_ = c == '\r';
    if (!pendingCr_) Put(c);
  }
  void Put(char c) {
    if (std::fputc(c, output_) == EOF) failed_ = true;
    atLineStart_ = false;
  }
  void EndLine() {
    if (std::fputs("\r\n", output_) == EOF) failed_ = true;
    atLineStart_ = true;
  }

  std::FILE* output_;
  const char* outputName_;
  bool atLineStart_ = true;
  bool pendingCr_ = false;
  bool failed_ = false;
};

// Ends a failed join: closes and removes the output, so that a joined file
// that lacks some lines is never taken for a whole one.
Result FailJoin(std::FILE* output, const char* outputCompanion, const Result& failure) {
  std::fclose(output);
  platform::DeleteFile(outputCompanion);
  return failure;
}

}  // namespace

Result ConcatenateTextFiles(const char* outputName, const char (*names)[kDailyNameSize],
                            int days, const char* extension) {
  if (outputName == nullptr || names == nullptr || extension == nullptr)
    return Result::Failure(nullptr, "Error pointer cFileNameOut, cFileName Not initalized");
  char outputCompanion[kPathSize];
  if (!ObnCompanionName(outputName, extension, outputCompanion).ok)
    return Result::Failure(nullptr, "Unable to open %s for writing", outputName);
  // Binary streams: the CR LF line ends are written by the copier itself, the
  // same on every platform.
  std::FILE* output = platform::CreateNewFile(outputCompanion);
  if (output == nullptr)
    return Result::Failure(nullptr, "Unable to open %s for writing", outputCompanion);
  CrLfLineCopier copier(output, outputCompanion);
  for (int day = 0; day < days; ++day) {
    char dailyName[kDailyNameSize];
    char dailyCompanion[kPathSize];
    if (!SlotName(names[day], dailyName, sizeof dailyName) ||
        !ObnCompanionName(dailyName, extension, dailyCompanion).ok)
      continue;
    std::FILE* input = platform::OpenForReading(dailyCompanion);
    if (input == nullptr) {
      // A day without this companion is skipped; one that is there but
      // cannot be read fails the join.
      if (!platform::FileExists(dailyCompanion)) continue;
      return FailJoin(output, outputCompanion,
                      Result::Failure(nullptr, "Unable to open %s for reading", dailyCompanion));
    }
    const Result copied = copier.CopyFrom(input, dailyCompanion);
    std::fclose(input);
    if (!copied.ok) return FailJoin(output, outputCompanion, copied);
  }
  if (std::fclose(output) != 0) {
    platform::DeleteFile(outputCompanion);
    return DiskFull(outputCompanion);
  }
  return Result::Success();
}

Result ConcatenateDailyFiles(const char (*names)[kDailyNameSize], const char* outputName,
                             int days, Result* companionFailure) {
  ObsStatusTakeCallBack();
  ObsStatusSend(STATUS_CONCAT_START);
  if (names == nullptr || outputName == nullptr)
    return Result::Failure(nullptr, "Error pointer cFileNameOut, cFileName Not initalized");
  if (days > kMaxDailyFiles)
    return Result::Failure(nullptr, "Error more then 3 days of data being converted");
  if (days < 1) return Result::Failure(nullptr, "Error no days of data being converted");

  char dailyNames[kMaxDailyFiles][kDailyNameSize];
  for (int day = 0; day < days; ++day) {
    if (!SlotName(names[day], dailyNames[day], kDailyNameSize))
      return Result::Failure(ResultKind::kNotFound, "Error: File %.63s not found", names[day]);
    // Creating the output would truncate a daily file that is still to be read.
    if (platform::SameFileName(dailyNames[day], outputName))
      return Result::Failure(nullptr, "Error: Unable to open %s for writing", outputName);
  }

  ObnFile* inputs[kMaxDailyFiles] = {};
  for (int day = 0; day < days; ++day) {
    Result opened = OpenObnForRead(dailyNames[day], kObnBufferSize, &inputs[day]);
    if (!opened.ok) {
      CloseAll(inputs, day);
      return opened;
    }
  }
  ObnFile* output = nullptr;
  Result created = CreateObn(outputName, inputs[0]->header.carriedByte,
                             inputs[0]->header.interval, kObnBufferSize, kObnWriterChannels,
                             &output);
  if (!created.ok) {
    CloseAll(inputs, days);
    return created;
  }
  for (int day = 0; day < days; ++day) {
    Result copied = CopyObnEpochs(inputs[day], output);
    if (!copied.ok) {
      CloseAll(inputs, days);
      // The copy's message is the one that counts; a failed close adds nothing.
      CloseObn(output);
      return copied;
    }
    CloseObn(inputs[day]);
    inputs[day] = nullptr;
  }
  Result closed = CloseObn(output);
  if (!closed.ok) return closed;

  // A companion that could not be joined does not fail the join, but its
  // daily files are then the only copy of those lines and are kept.
  const Result nvb = ConcatenateTextFiles(outputName, dailyNames, days, ".nvb");
  const Result sta = ConcatenateTextFiles(outputName, dailyNames, days, ".sta");
  if (companionFailure != nullptr) *companionFailure = !nvb.ok ? nvb : sta;
  const bool nvbJoined = nvb.ok;
  const bool staJoined = sta.ok;

  for (int day = 0; day < days; ++day) {
    ObnFileSet daily;
    daily.Assign(dailyNames[day]);  // a slot's name always fits
    daily.DeleteMember(ObnMember::kObn);
    if (nvbJoined) daily.DeleteMember(ObnMember::kNvb);
    if (staJoined) daily.DeleteMember(ObnMember::kSta);
  }
  return Result::Success();
}

}  // namespace stanvex
