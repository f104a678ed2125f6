// Stand-in converter libraries that reach the binding's other paths. Built
// three times:
//   r2o_scripted  - every function; ConvertFile keeps copies of the records it
//                   was given, plays the progress and message calls below and
//                   fails when the observation name contains "fail";
//   r2o_noconvert - Initialize and GetErrString only;
//   r2o_noerrtext - ConvertFile (always failing) only.
#include <cstring>

#include "rin2obn_api.h"

#define STANDIN_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
rin2obn::ConverterRequest last_request;
rin2obn::ConverterCallbacks last_callbacks;
int initialize_calls = 0;
int free_calls = 0;
}  // namespace

#if defined(STANDIN_SCRIPTED) || defined(STANDIN_NOCONVERT)
STANDIN_EXPORT void Initialize() { ++initialize_calls; }
STANDIN_EXPORT void GetErrString(char* text) {
  std::strncpy(text, "scripted failure", rin2obn::kErrorTextSize - 1);
}
#endif

#if defined(STANDIN_SCRIPTED)
STANDIN_EXPORT int32_t ConvertFile(rin2obn::ConverterRequest* request,
                                   rin2obn::ConverterCallbacks* callbacks, int32_t) {
  std::memcpy(&last_request, request, sizeof last_request);
  std::memcpy(&last_callbacks, callbacks, sizeof last_callbacks);
  if (std::strstr(request->observationName, "fail") != nullptr) return 7;
  callbacks->message(2.5, "scripted message");
  const int32_t calls[][2] = {{0, 3}, {1, 3}, {1, 3}, {2, 3}, {3, 3}, {5, 0}, {-4, 3}, {9, 3}};
  for (const auto& call : calls) callbacks->progress(call[0], call[1]);
  request->epochsRead = 11;
  request->epochsWritten = 22;
  request->epochsSolved = 33;
  request->ephemeridesRead = 44;
  return 0;
}
STANDIN_EXPORT void FreeMem() { ++free_calls; }
STANDIN_EXPORT void Abort() {}
STANDIN_EXPORT const rin2obn::ConverterRequest* LastRequest() { return &last_request; }
STANDIN_EXPORT const rin2obn::ConverterCallbacks* LastCallbacks() { return &last_callbacks; }
STANDIN_EXPORT int InitializeCalls() { return initialize_calls; }
STANDIN_EXPORT int FreeCalls() { return free_calls; }
#endif

#if defined(STANDIN_NOERRTEXT)
STANDIN_EXPORT int32_t ConvertFile(rin2obn::ConverterRequest*, rin2obn::ConverterCallbacks*,
                                   int32_t) {
  return 3;
}
#endif
