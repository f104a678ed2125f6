#include "obsfiles/concatenate.h"

#include <cstdio>
#include <cstring>

#include "base/last_error.h"
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

// Copies the lines of one text file to output with CR LF line ends, dropping
// empty lines. Lines of any length are copied whole. Returns false when a
// read or a write fails (readFailed() tells which).
class CrLfLineCopier {
 public:
  explicit CrLfLineCopier(std::FILE* output) : output_(output) {}

  bool CopyFrom(std::FILE* input) {
    atLineStart_ = true;
    pendingCr_ = false;
    char chunk[4096];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, input)) > 0) {
      for (size_t i = 0; i < got; ++i) Take(chunk[i]);
      if (failed_) return false;
    }
    // A read that fails is no end of the file: the rest would be missing.
    readFailed_ = std::ferror(input) != 0;
    if (readFailed_) return false;
    // A last line without its line end still ends here, so it never runs
    // into the first line of the next file.
    if (pendingCr_) Put('\r');
    if (!atLineStart_) EndLine();
    return !failed_;
  }
  bool readFailed() const { return readFailed_; }

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
  bool atLineStart_ = true;
  bool pendingCr_ = false;
  bool failed_ = false;
  bool readFailed_ = false;
};

// Ends a failed join: closes and removes the output, so that a joined file
// that lacks some lines is never taken for a whole one.
int FailJoin(std::FILE* output, const char* outputCompanion) {
  std::fclose(output);
  platform::DeleteFile(outputCompanion);
  return 1;
}

}  // namespace

int ConcatenateTextFiles(const char* outputName, const char (*names)[kDailyNameSize], int days,
                         const char* extension) {
  if (outputName == nullptr || names == nullptr || extension == nullptr) return -1;
  char outputCompanion[kPathSize];
  if (!ObnCompanionName(outputName, extension, outputCompanion)) {
    SetLastErrorText("Unable to open %s for writing", outputName);
    return -1;
  }
  // Binary streams: the CR LF line ends are written by the copier itself, the
  // same on every platform.
  std::FILE* output = platform::CreateNewFile(outputCompanion);
  if (output == nullptr) {
    SetLastErrorText("Unable to open %s for writing", outputCompanion);
    return -1;
  }
  CrLfLineCopier copier(output);
  for (int day = 0; day < days; ++day) {
    char dailyName[kDailyNameSize];
    char dailyCompanion[kPathSize];
    if (!SlotName(names[day], dailyName, sizeof dailyName) ||
        !ObnCompanionName(dailyName, extension, dailyCompanion))
      continue;
    std::FILE* input = platform::OpenForReading(dailyCompanion);
    if (input == nullptr) {
      // A day without this companion is skipped; one that is there but
      // cannot be read fails the join.
      if (!platform::FileExists(dailyCompanion)) continue;
      SetLastErrorText("Unable to open %s for reading", dailyCompanion);
      return FailJoin(output, outputCompanion);
    }
    const bool copied = copier.CopyFrom(input);
    std::fclose(input);
    if (!copied) {
      if (copier.readFailed())
        SetLastErrorText("Unable to read %s", dailyCompanion);
      else
        SetLastErrorText("Unable to write to %s (disk full)", outputCompanion);
      return FailJoin(output, outputCompanion);
    }
  }
  if (std::fclose(output) != 0) {
    SetLastErrorText("Unable to write to %s (disk full)", outputCompanion);
    platform::DeleteFile(outputCompanion);
    return 1;
  }
  return 0;
}

int ConcatenateDailyFiles(const char (*names)[kDailyNameSize], const char* outputName, int days) {
  ObsStatusTakeCallBack();
  ObsStatusSend(STATUS_CONCAT_START);
  if (names == nullptr || outputName == nullptr) {
    SetLastErrorText("Error pointer cFileNameOut, cFileName Not initalized");
    return -1;
  }
  if (days > kMaxDailyFiles) {
    SetLastErrorText("Error more then 3 days of data being converted");
    return -1;
  }
  if (days < 1) {
    SetLastErrorText("Error no days of data being converted");
    return -1;
  }

  char dailyNames[kMaxDailyFiles][kDailyNameSize];
  for (int day = 0; day < days; ++day) {
    if (!SlotName(names[day], dailyNames[day], kDailyNameSize)) {
      SetLastErrorText("Error: File %.63s not found", names[day]);
      return -1;
    }
    // Creating the output would truncate a daily file that is still to be read.
    if (platform::SameFileName(dailyNames[day], outputName)) {
      SetLastErrorText("Error: Unable to open %s for writing", outputName);
      return -1;
    }
  }

  ObnFile* inputs[kMaxDailyFiles] = {};
  for (int day = 0; day < days; ++day) {
    inputs[day] = OpenObnForRead(dailyNames[day], kObnBufferSize);
    if (inputs[day] == nullptr) {
      CloseAll(inputs, day);
      return -1;
    }
  }
  ObnFile* output = CreateObn(outputName, inputs[0]->header.carriedByte,
                              inputs[0]->header.interval, kObnBufferSize, kObnWriterChannels);
  if (output == nullptr) {
    CloseAll(inputs, days);
    return -1;
  }
  for (int day = 0; day < days; ++day) {
    if (CopyObnEpochs(inputs[day], output) != 0) {
      CloseAll(inputs, days);
      // The copy's message is the one that counts; a failed close adds nothing.
      char reason[kTextSize];
      CopyText(reason, sizeof reason, LastErrorText);
      CloseObn(output);
      CopyText(LastErrorText, kTextSize, reason);
      return -1;
    }
    CloseObn(inputs[day]);
    inputs[day] = nullptr;
  }
  if (CloseObn(output) != 0) return -1;

  // A companion that could not be joined does not fail the join, but its
  // daily files are then the only copy of those lines and are kept.
  const bool nvbJoined = ConcatenateTextFiles(outputName, dailyNames, days, ".nvb") == 0;
  const bool staJoined = ConcatenateTextFiles(outputName, dailyNames, days, ".sta") == 0;

  for (int day = 0; day < days; ++day) {
    ObnFileSet daily;
    daily.Assign(dailyNames[day]);  // a slot's name always fits
    daily.DeleteMember(ObnMember::kObn);
    if (nvbJoined) daily.DeleteMember(ObnMember::kNvb);
    if (staJoined) daily.DeleteMember(ObnMember::kSta);
  }
  return 0;
}

}  // namespace stanvex
