// The interpolation library's C interface: the request the core hands to
// DoInterpolation, the two callbacks it carries and the three exports.
//
// The layout is byte-exact on 32-bit builds (5396 bytes, checked below); on
// 64-bit builds the two callback fields are pointer-sized and the record is
// 5404 bytes. `size` always holds sizeof(InterpolationRequest) of the build.
// Every byte not named here is zero.
//
// Field meanings. The core fills the request with fixed values apart from the
// names and the two intervals. This library reads:
//   inputName, outputName   OBN files, opened as given (relative names are
//                           relative to the process current directory, which
//                           the core keeps at the working directory)
//   outputInterval          interval of the new epochs, seconds (> 0)
//   stencilPoints     (4)   input epochs in each Lagrange polynomial, 2 to 8
//   maxStencilSpan  (200)   longest time, seconds, from the first to the last
//                           epoch of a stencil; 0 means no limit
//   maxStepGap      (180)   longest step, seconds, between two consecutive
//                           epochs of a stencil; 0 means no limit
//   progressStep      (5)   percent between two progress calls (1 to 100;
//                           other values mean 5)
//   progress, message       callbacks, either may be null
// The remaining constant fields (keepInputEpochs 1, copyNavigation 1,
// inputFormat 111, outputFormat 104, ...) describe what this library always
// does; it does not read them.
//
// Threads: DoInterpolation runs on the caller's thread and calls both
// callbacks on it. StopInterpolation may be called from any thread.
#ifndef STANVEX_FORMATS_INTOBN_API_H
#define STANVEX_FORMATS_INTOBN_API_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#define INTOBN_CALL __stdcall
/* intobn.def exports each function under its decorated name only. */
#define INTOBN_EXPORT
#else
#define INTOBN_CALL
#define INTOBN_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

// percent 0-100; the first argument is always 0 and carries nothing.
typedef void(INTOBN_CALL *InterpProgressCallback)(int32_t unused, int32_t percent);
// text is NUL-terminated and valid only during the call.
typedef void(INTOBN_CALL *InterpMessageCallback)(int32_t unused, const char *text);

#pragma pack(push, 1)
typedef struct InterpolationRequest {
  int32_t size;                   // 0: sizeof(InterpolationRequest)
  int32_t reserved4;              // 4: 0
  char workingDirectory[256];     // 8: the core's working directory
  int32_t inputFileCount;         // 264: 1
  char inputName[4096];           // 268: input OBN file
  char outputName[256];           // 4364: output OBN file
  int32_t keepInputEpochs;        // 4620: 1
  int32_t copyNavigation;         // 4624: 1
  int32_t reserved4628;           // 4628: 0
  uint8_t reserved4632[64];
  int32_t reserved4696;           // 4696: 0
  uint8_t reserved4700[8];
  int32_t inputFormat;            // 4708: 111
  double inputInterval;           // 4712: measured interval of the input, seconds
  int32_t interpolatePhases;      // 4720: 1
  uint8_t reserved4724[16];
  int32_t outputFormat;           // 4740: 104
  int32_t reserved4744;           // 4744: 0
  int32_t progressStep;           // 4748: 5
  double outputInterval;          // 4752: requested interval, seconds
  int32_t interpolateRanges;      // 4760: 1
  int32_t stencilPoints;          // 4764: 4
  double maxStencilSpan;          // 4768: 200.0
  double maxStepGap;              // 4776: 180.0
  int32_t reserved4784;           // 4784: 0
  uint8_t reserved4788[596];
  int32_t endMarker;              // 5384: -1
  InterpProgressCallback progress;  // 5388
  InterpMessageCallback message;    // 5392
} InterpolationRequest;
#pragma pack(pop)

#ifdef __cplusplus
#define INTOBN_CHECK(cond, what) static_assert(cond, what)
#else
#define INTOBN_CHECK(cond, what) _Static_assert(cond, what)
#endif
INTOBN_CHECK(offsetof(InterpolationRequest, workingDirectory) == 8, "workingDirectory");
INTOBN_CHECK(offsetof(InterpolationRequest, inputFileCount) == 264, "inputFileCount");
INTOBN_CHECK(offsetof(InterpolationRequest, inputName) == 268, "inputName");
INTOBN_CHECK(offsetof(InterpolationRequest, outputName) == 4364, "outputName");
INTOBN_CHECK(offsetof(InterpolationRequest, keepInputEpochs) == 4620, "keepInputEpochs");
INTOBN_CHECK(offsetof(InterpolationRequest, copyNavigation) == 4624, "copyNavigation");
INTOBN_CHECK(offsetof(InterpolationRequest, reserved4628) == 4628, "reserved4628");
INTOBN_CHECK(offsetof(InterpolationRequest, reserved4696) == 4696, "reserved4696");
INTOBN_CHECK(offsetof(InterpolationRequest, inputFormat) == 4708, "inputFormat");
INTOBN_CHECK(offsetof(InterpolationRequest, inputInterval) == 4712, "inputInterval");
INTOBN_CHECK(offsetof(InterpolationRequest, interpolatePhases) == 4720, "interpolatePhases");
INTOBN_CHECK(offsetof(InterpolationRequest, outputFormat) == 4740, "outputFormat");
INTOBN_CHECK(offsetof(InterpolationRequest, reserved4744) == 4744, "reserved4744");
INTOBN_CHECK(offsetof(InterpolationRequest, progressStep) == 4748, "progressStep");
INTOBN_CHECK(offsetof(InterpolationRequest, outputInterval) == 4752, "outputInterval");
INTOBN_CHECK(offsetof(InterpolationRequest, interpolateRanges) == 4760, "interpolateRanges");
INTOBN_CHECK(offsetof(InterpolationRequest, stencilPoints) == 4764, "stencilPoints");
INTOBN_CHECK(offsetof(InterpolationRequest, maxStencilSpan) == 4768, "maxStencilSpan");
INTOBN_CHECK(offsetof(InterpolationRequest, maxStepGap) == 4776, "maxStepGap");
INTOBN_CHECK(offsetof(InterpolationRequest, reserved4784) == 4784, "reserved4784");
INTOBN_CHECK(offsetof(InterpolationRequest, endMarker) == 5384, "endMarker");
INTOBN_CHECK(offsetof(InterpolationRequest, progress) == 5388, "progress");
INTOBN_CHECK(offsetof(InterpolationRequest, message) == 5388 + sizeof(void *), "message");
INTOBN_CHECK(sizeof(InterpolationRequest) == 5388 + 2 * sizeof(void *), "InterpolationRequest");
#undef INTOBN_CHECK

// Reads request->inputName and writes request->outputName (and the
// navigation companion under the output name) at request->outputInterval.
// The output appears only complete: it is written under a temporary name
// beside it and renamed at the end. Returns 1 on success, 0 on failure or
// stop (reason from GetInterpError; no output file is left behind).
typedef int32_t(INTOBN_CALL *DoInterpolationFunction)(InterpolationRequest *request);
// Copies the reason of the last failure into text (at most 511 characters
// and a NUL; text must hold 512 bytes). Returns the text's length.
typedef int32_t(INTOBN_CALL *GetInterpErrorFunction)(char *text);
// Asks a running DoInterpolation to stop; it ends within a few milliseconds
// with a failure. A stop asked while none runs is kept for the next call.
// Returns 1.
typedef int32_t(INTOBN_CALL *StopInterpolationFunction)(void);

#ifdef __cplusplus
}
#endif

#endif  // STANVEX_FORMATS_INTOBN_API_H
