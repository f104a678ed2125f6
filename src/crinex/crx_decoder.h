// The compact RINEX (version 1.0) decoder's state and its steps.
//
// A decoding turns a compact RINEX file back into the RINEX 2 observation
// file it was made from: the header is copied, every epoch line is rebuilt by
// text differencing against the previous one, and every observation and
// receiver clock offset is rebuilt exactly from integer differences of up to
// fifth order.
//
// Numbers are kept as pairs (upper, lower) of 32-bit integers standing for
// upper * 1000 + lower thousandths (observations) or upper * 100000000 + lower
// nanoseconds (clock offsets), so that no floating point touches a value.
//
// Threads: one CrxDecoder serves one decoding at a time, on the caller's
// thread. Every step returns 0 or -1; on -1 LastErrorText holds the one
// message of the failure.
#ifndef STANVEX_CRINEX_CRX_DECODER_H
#define STANVEX_CRINEX_CRX_DECODER_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "crinex/crx_line_reader.h"

namespace stanvex {

constexpr int kCrxMaxSatellites = 30;
// RINEX 2.11 files carry up to about 22 types; the tables leave room for more.
constexpr int kCrxMaxTypes = 40;
constexpr int kCrxMaxOrder = 5;
constexpr size_t kCrxFlagSlotSize = 2 * kCrxMaxTypes + 1;  // two characters per type, NUL
constexpr size_t kCrxSatelliteListSize = 92;               // 30 identifiers of 3 characters

// Room for the largest epoch: the epoch line with its clock offset (81), two
// continuation lines (69 each) and, for every satellite, 16 characters per
// type plus a line end per five types.
constexpr size_t kCrxLargestEpochText =
    81 + 2 * 69 + kCrxMaxSatellites * (kCrxMaxTypes * 16 + (kCrxMaxTypes + 4) / 5);
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
  int32_t typeCount = 0;

  // The last reconstructed epoch line; every byte past its end is zero.
  char storedEpochLine[kCrxLineSize];
  int32_t satelliteCount = 0;
  int32_t previousSatelliteCount = 0;
  char previousSatellites[kCrxSatelliteListSize];

  ClockArc clock;
  ClockArc previousClock;
  int32_t clockOrder = -1;
  int32_t clockArcOrder = -1;

  // Two tables each of arcs and flag slots; after every epoch the current
  // ones become the previous ones (row i belongs to the i-th satellite).
  DiffArc arcTables[2][kCrxMaxSatellites][kCrxMaxTypes];
  char flagTables[2][kCrxMaxSatellites][kCrxFlagSlotSize];
  int currentTable = 0;
  int32_t slotMap[kCrxMaxSatellites];

  DiffArc* CurrentArcs(int row) { return arcTables[currentTable][row]; }
  DiffArc* PreviousArcs(int row) { return arcTables[1 - currentTable][row]; }
  char* CurrentFlags(int row) { return flagTables[currentTable][row]; }
  char* PreviousFlags(int row) { return flagTables[1 - currentTable][row]; }
};

// Clears every per-epoch table: no satellites, no clock arc.
void ResetEpochState(CrxDecoder& decoder);

// ---- header and records --------------------------------------------------

// Checks the two compact lines, then copies the RINEX header up to and
// including "END OF HEADER" to the output, trimmed, setting typeCount.
int CopyCrxHeader(CrxDecoder& decoder);

// line: the event epoch line (first character already a blank), NUL-ended.
// Writes it and the special records it announces straight to the output.
int CopyEventRecords(CrxDecoder& decoder, const char* line);

// Sets typeCount from a "# / TYPES OF OBSERV" line. A line whose count field
// (columns 1-6) is blank continues the previous one and keeps the count.
// Returns -1 for a count the tables can't hold.
int SetTypeCountFrom(CrxDecoder& decoder, const char* line);

// ---- epochs --------------------------------------------------------------

// line: the epoch line's text difference as read (an initialization epoch
// already has its "&" blanked and the stored line emptied). Rebuilds the whole
// epoch and writes it in one write; nothing of a failed epoch is written.
int DecodeEpoch(CrxDecoder& decoder, const char* line);

// Rewrites stored (a NUL-ended text in a kCrxLineSize buffer) in place with
// the difference: a blank keeps the stored character, "&" blanks it, any other
// character replaces it; a longer difference extends the stored text. The
// result is cut at size - 1 characters.
void RepairText(char* stored, size_t size, const char* difference);

// Takes the satellite count (at most 30) and identifiers from the stored
// epoch line and maps each satellite to its row of the previous epoch (-1
// for a satellite new in this epoch).
int MatchSatellites(CrxDecoder& decoder);

// Reads the clock line and rebuilds the clock offset into clock; clockOrder
// -1 after an empty line (no offset in this epoch).
int ReadClockLine(CrxDecoder& decoder);

// row: the satellite's row in the current table; slot: its row in the
// previous table or -1. flags receives the flag text (a pointer into line).
int ReadDataLine(CrxDecoder& decoder, int row, int slot, char* line, const char** flags);

// Reads every satellite's data line, rebuilds its flags and values and
// appends its record lines to the epoch text.
int DecodeSatellites(CrxDecoder& decoder);

// text: a decimal number of length characters, lowerDigits 3 or 8. Gives
// upper and lower with the sign of the number. Returns -1 (with a message)
// when the number doesn't fit 32-bit parts.
int SplitNumber(const char* text, size_t length, int lowerDigits, int32_t* upper,
                int32_t* lower);

// True when the value at arc.order fits F14.3 (at least -999999999.999).
bool DataValueFits(const DiffArc& arc);
// True when the clock offset fits F12.9 (-9.999999999 s to 99.999999999 s).
bool ClockValueFits(int32_t upper, int32_t lower);

// Appends the value at arc.order as F14.3 (no leading zero) and the two flag
// characters: 16 characters. The value must fit (DataValueFits).
void FormatDataValue(CrxDecoder& decoder, const DiffArc& arc, char flag1, char flag2);

// Appends the clock offset as F12.9 (no leading zero) and a line end: 13
// characters. The offset must fit (ClockValueFits).
void FormatClockValue(CrxDecoder& decoder, int32_t upper, int32_t lower);

}  // namespace stanvex

#endif  // STANVEX_CRINEX_CRX_DECODER_H
