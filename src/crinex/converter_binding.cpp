#include "crinex/converter_binding.h"

#include <cstring>

#include "api/library_state.h"
#include "api/paths.h"
#include "platform/platform.h"

namespace stanvex {
namespace {

// The binding's own reporting state. The callback copy is taken when a
// conversion starts; the last percentage lives as long as the core library.
StatusCallback converter_callback = nullptr;
StatusRecord converter_record{};
int32_t last_percentage = 0;

// Releases the loaded library on every path out of a conversion.
class LoadedLibrary {
 public:
  explicit LoadedLibrary(const char* name) : handle_(platform::LoadLibraryByName(name)) {}
  ~LoadedLibrary() { Release(); }
  void Release() {
    if (handle_ != nullptr) platform::FreeLibrary(handle_);
    handle_ = nullptr;
  }
  LoadedLibrary(const LoadedLibrary&) = delete;
  LoadedLibrary& operator=(const LoadedLibrary&) = delete;
  bool loaded() const { return handle_ != nullptr; }
  template <typename Function>
  Function Find(const char* decoratedName) const {
    return reinterpret_cast<Function>(platform::FindFunction(handle_, decoratedName));
  }

 private:
  platform::LibraryHandle handle_;
};

}  // namespace

void RIN2OBN_CALL OnConverterMessage(double value, const char* text) {
  SendStatus(converter_callback, &converter_record, STATUS_CONVERT_TEXT, text, 0, 0, 0, 0, value);
}

void RIN2OBN_CALL OnConverterProgress(int32_t count, int32_t total) {
  std::memset(&converter_record, 0, sizeof converter_record);
  if (total <= 0) return;  // no meaningful percentage; nothing to report
  // 64-bit arithmetic: count * 100 must not overflow for large counts.
  int64_t percent = static_cast<int64_t>(count) * 100 / total;
  percent = percent / 5 * 5;
  if (percent < 0) percent = 0;
  if (percent > 100) percent = 100;
  const int32_t p = static_cast<int32_t>(percent);
  if (p != last_percentage)
    SendStatus(converter_callback, &converter_record, STATUS_CONVERT_PERCENT, nullptr, p);
  last_percentage = p;
}

int32_t LastConverterPercentage() { return last_percentage; }

void ResetConverterBindingForTesting() {
  converter_callback = nullptr;
  std::memset(&converter_record, 0, sizeof converter_record);
  last_percentage = 0;
}

int ConvertRinexToObnWith(const char* libraryName, const char* observationName,
                          const char* navigationName, char* obnName, int option, int removeRinex,
                          size_t obnNameSize) {
  converter_callback = GetCallBack();
  LoadedLibrary library(libraryName);
  if (!library.loaded()) {
    SetLastErrorText("Unable to Open %s", libraryName);
    return 0;
  }
  auto initialize = library.Find<rin2obn::InitializeFunction>("_Initialize@0");
  auto convert = library.Find<rin2obn::ConvertFileFunction>("_ConvertFile@12");
  library.Find<rin2obn::AbortFunction>("_Abort@0");
  auto freeMemory = library.Find<rin2obn::FreeMemFunction>("_FreeMem@0");
  auto errorString = library.Find<rin2obn::GetErrStringFunction>("_GetErrString@4");

  rin2obn::ConverterRequest request;
  std::memset(&request, 0, sizeof request);
  request.size = static_cast<int32_t>(sizeof request);
  CopyText(request.observationName, sizeof request.observationName, observationName);
  char output[kPathSize];
  CopyText(output, sizeof output, observationName);
  ReplaceExtension(output, ".obn");
  CopyText(request.obnName, sizeof request.obnName, output);
  if (std::strlen(output) >= obnNameSize) {
    SetLastErrorText("The OBN file name %s is too long", output);
    return 0;
  }
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
  if (convert == nullptr) {
    SetLastErrorText("Unable to find _ConvertFile@12 in %s", libraryName);
    return 0;
  }
  if (initialize != nullptr) initialize();
  const int32_t result = convert(&request, &callbacks, 0);
  if (result != 0) {
    if (errorString != nullptr) {
      LastErrorText[0] = '\0';
      errorString(LastErrorText);
      LastErrorText[kTextSize - 1] = '\0';
    } else {
      SetLastErrorText("Conversion of %s failed (code %d); %s gives no reason", observationName,
                       static_cast<int>(result), libraryName);
    }
    return 0;
  }
  SendStatus(converter_callback, &converter_record, STATUS_CONVERT_DONE, nullptr,
             request.epochsRead, request.epochsWritten, request.epochsSolved,
             request.ephemeridesRead);
  if (freeMemory != nullptr) freeMemory();
  // Released before the RINEX files go, as the library may still hold them.
  library.Release();
  if (removeRinex != 0) {
    platform::DeleteFile(observationName);
    platform::DeleteFile(navigationName);
  }
  return 1;
}

int ConvertRinexToObn(const char* observationName, const char* navigationName, char* obnName,
                      int option, int removeRinex, size_t obnNameSize) {
  return ConvertRinexToObnWith("RIN2OBN.DLL", observationName, navigationName, obnName, option,
                               removeRinex, obnNameSize);
}

}  // namespace stanvex
