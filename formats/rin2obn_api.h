// The contract between the core and the RINEX-to-OBN converter library: the
// two records the core hands to ConvertFile, the callbacks the library may
// call while ConvertFile runs, and the library's function types.
//
// Records are byte-exact on 32-bit builds. On 64-bit builds the two callback
// addresses are pointer-sized and every other field keeps its width and order.
//
// What the library reads: observation files RINEX 2.10/2.11, 3.0x and 4.0x;
// navigation files RINEX 2 (GPS), 3.0x (GPS or mixed) and 4.0x (the "> EPH
// Gnn LNAV" records and the first GPS LNAV ionosphere record; other message
// types and systems are skipped). Only GPS satellites go into the OBN file
// and the position solution.
//
// The OBN measurement slots of a RINEX 3 or 4 file take one signal each per
// satellite, chosen once for the whole file: the first signal of the slot's
// list that carries at least half as many values as the slot's most frequent
// signal for that satellite. A receiver that switches signals then leaves a
// slot empty for a while instead of showing a jump that reads as a slip.
//
//   slot               RINEX 3 signals, in order of preference
//   L1 carrier phase   L1C, L1W, L1P
//   L1 pseudorange     C1C, C1W, C1P  (C1W and C1P set the "L1 range is P1" bit)
//   L2 carrier phase   L2W, L2P, L2Y (semi-codeless and P code), L2L, L2S, L2X, L2D, L2C
//   L2 pseudorange     C2W, C2P, C2Y, C2L, C2S, C2X, C2D, C2C
//   L1 / L2 strength   the S code of the chosen phase signal (S1C for L1C),
//                      else of the chosen range signal
//
// Loss-of-lock bits come from the chosen phase signals. The solution forms
// the ionosphere-free combination from the chosen L1 and L2 ranges (RINEX 2:
// C1 or P1 with P2 only).
#ifndef STANVEX_FORMATS_RIN2OBN_API_H
#define STANVEX_FORMATS_RIN2OBN_API_H

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#define RIN2OBN_CALL __stdcall
#else
#define RIN2OBN_CALL
#endif

namespace rin2obn {

constexpr int kRequestNameSize = 256;
constexpr int kRequestNavNameSize = 2004;

// Words the core always puts in the request. Our library accepts and ignores
// them; they are kept so that a replacement library sees the same record.
constexpr int32_t kRequestWord516 = 300;
constexpr int32_t kRequestWord536 = 3;
constexpr int32_t kRequestWord560 = 1;

#pragma pack(push, 1)

// One conversion. The core fills everything but the counts; the library fills
// the counts. Every byte not named is zero.
struct ConverterRequest {
  int32_t size;                          // 2672
  char observationName[kRequestNameSize];
  char obnName[kRequestNameSize];        // output OBN file; .nvb/.sta beside it
  int32_t word516;                       // 300
  int32_t option;                        // 1: leave epochs without a solution out
  uint8_t zero524[12];
  int32_t word536;                       // 3
  uint8_t zero540[20];
  int32_t word560;                       // 1
  char navigationName[kRequestNavNameSize];
  int32_t epochsRead;                    // observation epochs read (flags 0, 1, 6)
  int32_t epochsWritten;                 // epochs written to the OBN file
  int32_t epochsSolved;                  // epochs with a position solution
  int32_t ephemeridesRead;               // GPS ephemerides read from the nav file
  uint8_t zero2584[88];
};

using MessageFunction = void(RIN2OBN_CALL*)(double value, const char* text);
using ProgressFunction = void(RIN2OBN_CALL*)(int32_t count, int32_t total);

// The core's callbacks. Either address may be null.
struct ConverterCallbacks {
  int32_t size;             // sizeof(ConverterCallbacks): 272 on 32-bit
  int32_t zero4;
  MessageFunction message;  // OnConverterMessage
  ProgressFunction progress;  // OnConverterProgress
  uint8_t zero16[256];
};

#pragma pack(pop)

static_assert(sizeof(ConverterRequest) == 2672, "ConverterRequest");
static_assert(offsetof(ConverterRequest, observationName) == 4, "observationName");
static_assert(offsetof(ConverterRequest, obnName) == 260, "obnName");
static_assert(offsetof(ConverterRequest, word516) == 516, "word516");
static_assert(offsetof(ConverterRequest, option) == 520, "option");
static_assert(offsetof(ConverterRequest, word536) == 536, "word536");
static_assert(offsetof(ConverterRequest, word560) == 560, "word560");
static_assert(offsetof(ConverterRequest, navigationName) == 564, "navigationName");
static_assert(offsetof(ConverterRequest, epochsRead) == 2568, "epochsRead");
static_assert(offsetof(ConverterRequest, ephemeridesRead) == 2580, "ephemeridesRead");
static_assert(offsetof(ConverterRequest, zero2584) == 2584, "zero2584");
static_assert(offsetof(ConverterCallbacks, message) == 8, "message");
#if UINTPTR_MAX == 0xFFFFFFFF
static_assert(sizeof(ConverterCallbacks) == 272, "ConverterCallbacks");
static_assert(offsetof(ConverterCallbacks, progress) == 12, "progress");
static_assert(offsetof(ConverterCallbacks, zero16) == 16, "zero16");
#endif

// The library's functions (looked up as _Initialize@0, _ConvertFile@12,
// _GetErrString@4, _FreeMem@0, _Abort@0).
using InitializeFunction = void(RIN2OBN_CALL*)();
// Returns 0 on success; otherwise the reason is available from GetErrString.
using ConvertFileFunction = int32_t(RIN2OBN_CALL*)(ConverterRequest* request,
                                                   ConverterCallbacks* callbacks, int32_t reserved);
// Writes the last failure's text into text (512 bytes, NUL-terminated).
using GetErrStringFunction = void(RIN2OBN_CALL*)(char* text);
using FreeMemFunction = void(RIN2OBN_CALL*)();
using AbortFunction = void(RIN2OBN_CALL*)();

constexpr int kErrorTextSize = 512;

}  // namespace rin2obn

#endif  // STANVEX_FORMATS_RIN2OBN_API_H
