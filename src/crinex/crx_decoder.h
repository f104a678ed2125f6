// The compact RINEX decoder's state and its steps.
//
// A decoding turns a compact RINEX file back into the observation file it was
// made from: compact RINEX 1.0 into RINEX 2, compact RINEX 3.0 into RINEX 3
// (or 4). The header is copied, every epoch line is rebuilt by text
// differencing against the previous one, and every observation and receiver
// clock offset is rebuilt exactly from integer differences of up to fifth
// order.
//
// The two versions differ in layout only:
//                          1.0 (RINEX 2)             3.0 (RINEX 3/4)
//   epoch line             col 1 blank, "&" = init   col 1 ">", ">" = init
//   event flag, count      cols 27-29, 30-32         col 32, cols 33-35
//   satellite list         from col 33               from col 42
//   clock offset           F12.9 in cols 69-80       F15.12 in cols 42-56
//   satellites per line    12, continuation lines    all on the epoch line
//   types per satellite    one list (# / TYPES OF    one list per system (SYS
//                          OBSERV)                   / # / OBS TYPES)
//   data record            5 fields a line           ID + all fields, one line
//   flags of a blank field cleared                   kept
//   line length            254                       kCrx3MaxLineLength
//
// Numbers are kept as pairs (upper, lower) of 32-bit integers standing for
// upper * 1000 + lower thousandths (observations) or upper * 100000000 + lower
// nanoseconds (clock offsets), so that no floating point touches a value.
//
// Threads: one CrxDecoder serves one decoding at a time, on the caller's
// thread. Every step returns a Result that carries the one message of its
// failure.
#ifndef STANVEX_CRINEX_CRX_DECODER_H
#define STANVEX_CRINEX_CRX_DECODER_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "base/result.h"
#include "crinex/crx_line_reader.h"

namespace stanvex {

// Columns (1-based) of the satellite list in the stored epoch line.
constexpr size_t kCrx1SatelliteColumn = 33;
constexpr size_t kCrx3SatelliteColumn = 42;
// A compact RINEX 1.0 epoch line holds at most 255 characters: 74 satellites.
constexpr int kCrx1MaxSatellites =
    static_cast<int>((kCrxPlainReadLength - (kCrx1SatelliteColumn - 1)) / 3);
// The satellites of every system in view of a multi-GNSS receiver stay well
// below this.
constexpr int kCrxMaxSatellites = 128;
// Per system (RINEX 3) or per file (RINEX 2); receivers that record every
// signal of a system write about 40.
constexpr int kCrxMaxTypes = 64;
constexpr int kCrxMaxOrder = 5;
constexpr size_t kCrxFlagSlotSize = 2 * kCrxMaxTypes + 1;  // two characters per type, NUL
constexpr size_t kCrxSatelliteListSize = 3 * kCrxMaxSatellites;

// Room for the largest epoch of either version. RINEX 2: the epoch line with
// its clock offset (81), a continuation line (69) per 12 satellites beyond the
// first 12, and for every satellite 16 characters per type plus a line end per
// five types. RINEX 3: the epoch line with its clock offset (57), and for
// every satellite its identifier, 16 characters per type and a line end.
constexpr size_t kCrx1LargestEpochText =
    81 + (kCrx1MaxSatellites - 1) / 12 * 69 +
    kCrx1MaxSatellites * (kCrxMaxTypes * 16 + (kCrxMaxTypes + 4) / 5);
constexpr size_t kCrx3LargestEpochText = 57 + kCrxMaxSatellites * (3 + kCrxMaxTypes * 16 + 1);
constexpr size_t kCrxLargestEpochText = kCrx1LargestEpochText > kCrx3LargestEpochText
                                            ? kCrx1LargestEpochText
                                            : kCrx3LargestEpochText;
constexpr size_t kCrxEpochTextSize =
    kCrxLargestEpochText < 16384 ? 16384 : (kCrxLargestEpochText + 1023) / 1024 * 1024;

// Differencing state of one observation type of one satellite. Index 0 holds
// the number read for this epoch; after reconstruction index `order` holds
// the value and index k (k < order) the difference of order (order - k).
struct DiffArc {
  int32_t upper[kCrxMaxOrder + 1];
  int32_t lower[kCrxMaxOrder + 1];
  int32_t order;     // levels built so far; -1 when just initialized or blank
  int32_t arcOrder;  // order the arc was initialized with; -1 for a blank field
};

// Differencing state of the receiver clock offset (nanoseconds, lower holding
// the last eight digits).
struct ClockArc {
  int32_t upper[kCrxMaxOrder + 1];
  int32_t lower[kCrxMaxOrder + 1];
};

struct CrxDecoder {
  CrxInput input;
  FILE* output = nullptr;
  // The RINEX text of one epoch, assembled here and written in one piece.
  char* epochText = nullptr;
  char* cursor = nullptr;  // end of the text assembled so far

  // 1 for compact RINEX 1.0, 3 for 3.0; set from the first line.
  int version = 1;
  // RINEX 2: the file's type count. RINEX 3: the type count of each system,
  // by its letter (-1 for a system the header doesn't list).
  int32_t typeCount = 0;
  int32_t systemTypeCounts[128];

  // The last reconstructed epoch line; every byte past its end is zero. It
  // holds at most storedLineSize - 1 characters (255 for version 1.0).
  char storedEpochLine[kCrxLineSize];
  size_t storedLineSize = kCrxPlainReadLength + 1;
  int32_t satelliteCount = 0;
  int32_t previousSatelliteCount = 0;
  char previousSatellites[kCrxSatelliteListSize];

  ClockArc clock;
  ClockArc previousClock;
  int32_t clockOrder = -1;
  int32_t clockArcOrder = -1;

  // Two tables each of arcs and flag slots; after every epoch the current
  // ones become the previous ones (row i belongs to the i-th satellite). Only
  // the first rowTypes entries of a row hold its epoch's arcs: the tables are
  // never cleared, and what lies beyond is not read.
  DiffArc arcTables[2][kCrxMaxSatellites][kCrxMaxTypes];
  char flagTables[2][kCrxMaxSatellites][kCrxFlagSlotSize];
  int currentTable = 0;
  int32_t slotMap[kCrxMaxSatellites];
  // Types of each satellite of the current epoch (RINEX 3: by its system),
  // and of the previous epoch by its rows; they differ after an event record
  // changed the types.
  int32_t rowTypes[kCrxMaxSatellites];
  int32_t previousRowTypes[kCrxMaxSatellites];

  DiffArc* CurrentArcs(int row) { return arcTables[currentTable][row]; }
  DiffArc* PreviousArcs(int row) { return arcTables[1 - currentTable][row]; }
  char* CurrentFlags(int row) { return flagTables[currentTable][row]; }
  char* PreviousFlags(int row) { return flagTables[1 - currentTable][row]; }
};

// Starts the per-epoch state afresh: no satellites, no clock arc.
void ResetEpochState(CrxDecoder& decoder);

// ---- header and records --------------------------------------------------

// Checks the two compact lines and takes the version from the first, then
// copies the RINEX header up to and including "END OF HEADER" to the output,
// trimmed, setting the type counts.
Result CopyCrxHeader(CrxDecoder& decoder);

// line: the event epoch line (1.0: its "&" already a blank; 3.0: as read,
// starting with ">"), NUL-ended. Writes it and the special records it
// announces straight to the output.
Result CopyEventRecords(CrxDecoder& decoder, const char* line);

// Sets typeCount from a "# / TYPES OF OBSERV" line. A line whose count field
// (columns 1-6) is blank continues the previous one and keeps the count.
// Fails for a count the tables can't hold.
Result SetTypeCountFrom(CrxDecoder& decoder, const char* line);

// Sets the type count of the system a "SYS / # / OBS TYPES" line names (its
// column 1, the count in columns 4-6). A line with a blank column 1 continues
// the previous one. Fails for a count the tables can't hold.
Result SetSystemTypeCountFrom(CrxDecoder& decoder, const char* line);

// ---- epochs --------------------------------------------------------------

// line: the epoch line's text difference as read (an initialization epoch
// already has its "&" blanked and the stored line emptied). Rebuilds the whole
// epoch and writes it in one write; nothing of a failed epoch is written.
Result DecodeEpoch(CrxDecoder& decoder, const char* line);

// Rewrites stored (a NUL-ended text in a kCrxLineSize buffer) in place with
// the difference: a blank keeps the stored character, "&" blanks it, any other
// character replaces it; a longer difference extends the stored text. The
// result is cut at size - 1 characters.
void RepairText(char* stored, size_t size, const char* difference);

// Takes the satellite count and identifiers from the stored epoch line, maps
// each satellite to its row of the previous epoch (-1 for a satellite new in
// this epoch) and gives each its type count. At most kCrx1MaxSatellites (1.0)
// or kCrxMaxSatellites (3.0).
Result MatchSatellites(CrxDecoder& decoder);

// Reads the clock line and rebuilds the clock offset into clock; clockOrder
// -1 after an empty line (no offset in this epoch).
Result ReadClockLine(CrxDecoder& decoder);

// row: the satellite's row in the current table; slot: its row in the
// previous table or -1. flags receives the flag text (a pointer into line).
Result ReadDataLine(CrxDecoder& decoder, int row, int slot, char* line, const char** flags);

// Reads every satellite's data line, rebuilds its flags and values and
// appends its record lines (RINEX 3: its record line) to the epoch text.
Result DecodeSatellites(CrxDecoder& decoder);

// text: a decimal number of length characters, lowerDigits 3 or 8. Gives
// upper and lower with the sign of the number. Fails when the number doesn't
// fit 32-bit parts.
Result SplitNumber(const char* text, size_t length, int lowerDigits, int32_t* upper,
                   int32_t* lower);

// True when the value at arc.order fits F14.3 (at least -999999999.999).
bool DataValueFits(const DiffArc& arc);
// True when the clock offset fits F12.9 (-9.999999999 s to 99.999999999 s),
// of a RINEX 2 file, or F15.12 (-9.999999999999 s to 99.999999999999 s).
bool ClockValueFits(int version, int32_t upper, int32_t lower);

// Appends the value at arc.order as F14.3 (no leading zero) and the two flag
// characters: 16 characters. The value must fit (DataValueFits).
void FormatDataValue(CrxDecoder& decoder, const DiffArc& arc, char flag1, char flag2);

// Appends the clock offset as F12.9 (no leading zero) and a line end: 13
// characters. The offset must fit (ClockValueFits).
void FormatClockValue(CrxDecoder& decoder, int32_t upper, int32_t lower);

// Appends the clock offset of a RINEX 3 epoch line as F15.12 (no leading
// zero) and a line end: 16 characters. upper counts units of 10^-4 s, lower
// the last eight digits (10^-12 s). The offset must fit (ClockValueFits).
void FormatClock3Value(CrxDecoder& decoder, int32_t upper, int32_t lower);

}  // namespace stanvex

#endif  // STANVEX_CRINEX_CRX_DECODER_H
