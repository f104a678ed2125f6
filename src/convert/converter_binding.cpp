#include "convert/converter_binding.h"

#include <cstddef>
#include <cstring>

#include "base/paths.h"
#include "base/status_channel.h"
#include "base/text.h"
#include "platform/loaded_library.h"
#include "platform/platform.h"

namespace stanvex {
namespace {

// The binding's own reporting channel, whose callback is taken when a
// conversion starts; the last percentage lives as long as the core library.
StatusChannel& ConverterChannel() {
  static StatusChannel channel(StatusChannel::CallBack::kTakenLater);
  return channel;
}
int32_t lastPercentage = 0;

// The converter's entry points. Only the conversion is required; Abort is
// looked up as the library expects, and never called.
struct ConverterEntryPoints {
  rin2obn::InitializeFunction initialize;
  rin2obn::ConvertFileFunction convert;
  rin2obn::AbortFunction abort;
  rin2obn::FreeMemFunction freeMemory;
  rin2obn::GetErrStringFunction errorString;
};

const platform::EntryPoint kConverterEntryPoints[] = {
    {"_Initialize@0", offsetof(ConverterEntryPoints, initialize), false},
    {"_ConvertFile@12", offsetof(ConverterEntryPoints, convert), true},
    {"_Abort@0", offsetof(ConverterEntryPoints, abort), false},
    {"_FreeMem@0", offsetof(ConverterEntryPoints, freeMemory), false},
    {"_GetErrString@4", offsetof(ConverterEntryPoints, errorString), false},
};

}  // namespace

void RIN2OBN_CALL OnConverterMessage(double value, const char* text) {
  ConverterChannel().Send(STATUS_CONVERT_TEXT, text, 0, 0, 0, 0, value);
}

void RIN2OBN_CALL OnConverterProgress(int32_t count, int32_t total) {
  ConverterChannel().Clear();
  if (total <= 0) return;  // no meaningful percentage; nothing to report
  // 64-bit arithmetic: count * 100 must not overflow for large counts.
  int64_t percent = static_cast<int64_t>(count) * 100 / total;
  percent = percent / 5 * 5;
  if (percent < 0) percent = 0;
  if (percent > 100) percent = 100;
  const int32_t p = static_cast<int32_t>(percent);
  if (p != lastPercentage) ConverterChannel().Send(STATUS_CONVERT_PERCENT, nullptr, p);
  lastPercentage = p;
}

int32_t LastConverterPercentage() { return lastPercentage; }

void ResetConverterBindingForTesting() {
  ConverterChannel().DropCallBack();
  ConverterChannel().Clear();
  lastPercentage = 0;
}

Result ConvertRinexToObnWith(const char* libraryName, const char* observationName,
                             const char* navigationName, char* obnName, int option,
                             int removeRinex, size_t obnNameSize) {
  ConverterChannel().TakeCallBack();
  platform::LoadedLibrary library = platform::LoadedLibrary::Open(libraryName);
  if (!library.IsOpen()) return Result::Failure(nullptr, "Unable to Open %s", libraryName);
  ConverterEntryPoints entries{};
  const int missing = platform::FindEntryPoints(library, entries, kConverterEntryPoints);

  rin2obn::ConverterRequest request;
  std::memset(&request, 0, sizeof request);
  request.size = static_cast<int32_t>(sizeof request);
  CopyText(request.observationName, sizeof request.observationName, observationName);
  char output[kPathSize];
  CopyText(output, sizeof output, observationName);
  ReplaceExtension(output, ".obn");
  CopyText(request.obnName, sizeof request.obnName, output);
  if (std::strlen(output) >= obnNameSize)
    return Result::Failure(nullptr, "The OBN file name %s is too long", output);
  CopyText(obnName, obnNameSize, output);
  request.word516 = rin2obn::kRequestWord516;
  request.option = option != 0 ? 1 : 0;
  request.word536 = rin2obn::kRequestWord536;
  request.word560 = rin2obn::kRequestWord560;
  CopyText(request.navigationName, sizeof request.navigationName, navigationName);

  rin2obn::ConverterCallbacks callbacks;
  std::memset(&callbacks, 0, sizeof callbacks);
  callbacks.size = static_cast<int32_t>(sizeof callbacks);
  callbacks.message = &OnConverterMessage;
  callbacks.progress = &OnConverterProgress;

  // A library without its conversion function cannot do the work.
  // (Reported here, after the names are settled, as the host has always seen.)
  if (missing >= 0)
    return Result::Failure(nullptr, "Unable to find %s in %s",
                           kConverterEntryPoints[missing].decoratedName, libraryName);
  if (entries.initialize != nullptr) entries.initialize();
  const int32_t result = entries.convert(&request, &callbacks, 0);
  if (result != 0) {
    if (entries.errorString == nullptr)
      return Result::Failure(nullptr, "Conversion of %s failed (code %d); %s gives no reason",
                             observationName, static_cast<int>(result), libraryName);
    // The library writes its reason into a buffer of kTextSize bytes.
    Result failed = Result::Failure(nullptr, "%s", "");
    entries.errorString(failed.message);
    failed.message[sizeof failed.message - 1] = '\0';
    return failed;
  }
  ConverterChannel().Send(STATUS_CONVERT_DONE, nullptr, request.epochsRead,
                          request.epochsWritten, request.epochsSolved, request.ephemeridesRead);
  if (entries.freeMemory != nullptr) entries.freeMemory();
  // Released before the RINEX files go, as the library may still hold them.
  library.Close();
  if (removeRinex != 0) {
    platform::DeleteFile(observationName);
    platform::DeleteFile(navigationName);
  }
  return Result::Success();
}

Result ConvertRinexToObn(const char* observationName, const char* navigationName, char* obnName,
                         int option, int removeRinex, size_t obnNameSize) {
  return ConvertRinexToObnWith("RIN2OBN.DLL", observationName, navigationName, obnName, option,
                               removeRinex, obnNameSize);
}

}  // namespace stanvex
