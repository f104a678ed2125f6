// Stand-ins for the interpolation library, one build per behaviour (chosen by
// FAKE_VARIANT), for the tests of how the core binds and drives it. Plain C
// calls only, so that each unloads completely when the core releases it.
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "intobn_api.h"

#define FAKE_FULL 1      // records the request, copies OBN and NVB, reports
#define FAKE_NO_DO 2     // lacks DoInterpolation
#define FAKE_NO_ERROR 3  // lacks GetInterpError
#define FAKE_NO_STOP 4   // lacks StopInterpolation
#define FAKE_FAILS 5     // fails with its own text
#define FAKE_NO_NVB 6    // writes the OBN output only
#define FAKE_NO_FILE 7   // reports success without writing anything

namespace {

[[maybe_unused]] bool Copy(const char* from, const char* to) {
  std::FILE* in = std::fopen(from, "rb");
  if (!in) return false;
  std::FILE* out = std::fopen(to, "wb");
  if (!out) {
    std::fclose(in);
    return false;
  }
  char buffer[4096];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, in)) > 0) std::fwrite(buffer, 1, got, out);
  std::fclose(in);
  return std::fclose(out) == 0;
}

[[maybe_unused]] void Nvb(const char* obn, char* out, size_t size) {
  size_t length = strnlen(obn, size - 5);
  std::memcpy(out, obn, length);
  out[length] = '\0';
  char* dot = std::strrchr(out, '.');
  std::memcpy(dot ? dot : out + length, ".nvb", 5);
}

}  // namespace

#if FAKE_VARIANT != FAKE_NO_DO
extern "C" INTOBN_EXPORT int32_t INTOBN_CALL DoInterpolation(InterpolationRequest* request) {
  if (FAKE_VARIANT == FAKE_FAILS) return 0;
  if (std::FILE* f = std::fopen("request.bin", "wb")) {
    std::fwrite(request, sizeof *request, 1, f);
    std::fclose(f);
  }
  for (int percent : {-1, 0, 50, 101, 100}) request->progress(0, percent);
  request->message(0, "fake interpolation");
  if (FAKE_VARIANT == FAKE_NO_FILE) return 1;
  Copy(request->inputName, request->outputName);
  if (FAKE_VARIANT != FAKE_NO_NVB) {
    char from[300], to[300];
    Nvb(request->inputName, from, sizeof from);
    Nvb(request->outputName, to, sizeof to);
    Copy(from, to);
  }
  return 1;
}
#endif

#if FAKE_VARIANT != FAKE_NO_ERROR
extern "C" INTOBN_EXPORT int32_t INTOBN_CALL GetInterpError(char* text) {
  std::snprintf(text, 512, "%s", "Fake failure: input rejected");
  return 28;
}
#endif

#if FAKE_VARIANT != FAKE_NO_STOP
extern "C" INTOBN_EXPORT int32_t INTOBN_CALL StopInterpolation(void) { return 7; }
#endif
