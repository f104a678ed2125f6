// The library's C interface: Initialize, ConvertFile, GetErrString, FreeMem
// and Abort, with the records of rin2obn_api.h. No exception leaves here.
#include <atomic>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "conversion.h"
#include "rin2obn_api.h"

#if defined(_WIN32)
// rin2obn.def exports each function under its decorated name only.
#define RIN2OBN_EXPORT extern "C"
#else
#define RIN2OBN_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

char g_errorText[rin2obn::kErrorTextSize] = "";
std::atomic<bool> abortRequested{false};

void SetError(const std::string& text) {
  std::snprintf(g_errorText, sizeof g_errorText, "%s", text.c_str());
}

// A name field of the request as text; false when it has no NUL in its width.
bool FieldName(const char* field, size_t width, std::string& out) {
  const void* end = std::memchr(field, '\0', width);
  if (end == nullptr) return false;
  out.assign(field, static_cast<const char*>(end));
  return true;
}

int32_t Convert(rin2obn::ConverterRequest* request, rin2obn::ConverterCallbacks* callbacks) {
  if (request == nullptr) {
    SetError("Conversion request missing");
    return 1;
  }
  if (request->size != static_cast<int32_t>(sizeof(rin2obn::ConverterRequest))) {
    SetError("Conversion request of " + std::to_string(request->size) + " bytes; " +
             std::to_string(sizeof(rin2obn::ConverterRequest)) + " expected");
    return 1;
  }
  std::string observation, obn, navigation;
  if (!FieldName(request->observationName, sizeof request->observationName, observation) ||
      !FieldName(request->obnName, sizeof request->obnName, obn) ||
      !FieldName(request->navigationName, sizeof request->navigationName, navigation)) {
    SetError("A file name in the conversion request is not terminated");
    return 1;
  }
  if (observation.empty() || obn.empty() || navigation.empty()) {
    SetError("A file name in the conversion request is empty");
    return 1;
  }
  rin2obn::ConversionSettings settings;
  settings.dropUnsolved = request->option != 0;
  settings.abort = &abortRequested;
  rin2obn::MessageFunction message = nullptr;
  rin2obn::ProgressFunction progress = nullptr;
  // A callbacks record too short to hold both addresses is not used.
  if (callbacks != nullptr &&
      callbacks->size >= static_cast<int32_t>(offsetof(rin2obn::ConverterCallbacks, zero16))) {
    message = callbacks->message;
    progress = callbacks->progress;
  }
  if (message != nullptr)
    settings.message = [message](double value, const std::string& text) {
      message(value, text.c_str());
    };
  if (progress != nullptr)
    settings.progress = [progress](int count, int total) { progress(count, total); };
  rin2obn::ConversionCounts counts;
  rin2obn::ConversionResult result =
      rin2obn::ConvertRinex(observation, navigation, obn, settings, counts);
  request->epochsRead = counts.epochsRead;
  request->epochsWritten = counts.epochsWritten;
  request->epochsSolved = counts.epochsSolved;
  request->ephemeridesRead = counts.ephemeridesRead;
  if (!result.ok) {
    SetError(result.error);
    return 1;
  }
  g_errorText[0] = '\0';
  return 0;
}

}  // namespace

RIN2OBN_EXPORT void RIN2OBN_CALL Initialize() {
  abortRequested.store(false);
  g_errorText[0] = '\0';
}

// Returns 0 on success; 1 on failure with the reason for GetErrString.
RIN2OBN_EXPORT int32_t RIN2OBN_CALL ConvertFile(rin2obn::ConverterRequest* request,
                                                rin2obn::ConverterCallbacks* callbacks,
                                                int32_t reserved) {
  try {
    const int32_t result = Convert(request, callbacks);
    abortRequested.store(false);  // a stop request ends with the conversion it stopped
    return result;
  } catch (const std::exception& e) {
    SetError(std::string("Conversion failed: ") + e.what());
  } catch (...) {
    SetError("Conversion failed");
  }
  return 1;
}

// text: at least 512 bytes; receives the last failure's reason.
RIN2OBN_EXPORT void RIN2OBN_CALL GetErrString(char* text) {
  if (text != nullptr) std::snprintf(text, rin2obn::kErrorTextSize, "%s", g_errorText);
}

// Conversions keep nothing between calls; present for the contract.
RIN2OBN_EXPORT void RIN2OBN_CALL FreeMem() {}

// Asks a running ConvertFile (on another thread) to stop; it then fails with
// "conversion aborted". The next Initialize clears the request.
RIN2OBN_EXPORT void RIN2OBN_CALL Abort() { abortRequested.store(true); }
