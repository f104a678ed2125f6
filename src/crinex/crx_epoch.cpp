// Reconstruction of one normal epoch: the epoch line by text differencing,
// the clock offset and the observations by integer differencing, and their
// RINEX 2 or RINEX 3 formatting into the epoch text.
#include <cstring>

#include "crinex/crx_decoder.h"
#include "crinex/crx_text.h"

namespace stanvex {

namespace {

constexpr int32_t kDataBase = 1000;        // thousandths in a data lower part
constexpr int32_t kClockBase = 100000000;  // nanoseconds in a clock lower part
constexpr size_t kEpochLineColumns = 68;   // epoch line text before the clock offset
constexpr size_t kEpoch3LineColumns = 41;  // the same in a RINEX 3 epoch line
constexpr size_t kSatellitesPerLine = 12;
constexpr int kFieldsPerLine = 5;
constexpr char kOutOfRange[] = "ERROR in compressed rinex file: value out of range";

Result OutOfRange() { return Result::Failure(nullptr, "%s", kOutOfRange); }

// (u1, l1) + (u2, l2) with the carry of lower into upper; the remainder keeps
// the sign of the sum. False when the upper part leaves 32 bits.
bool AddPair(int32_t u1, int32_t l1, int32_t u2, int32_t l2, int32_t base, int32_t* upper,
             int32_t* lower) {
  int64_t sumLower = int64_t{l1} + l2;
  int64_t sumUpper = int64_t{u1} + u2 + sumLower / base;
  if (sumUpper > INT32_MAX || sumUpper < INT32_MIN) return false;
  *upper = static_cast<int32_t>(sumUpper);
  *lower = static_cast<int32_t>(sumLower % base);
  return true;
}

// Gives the pair one sign without changing its value.
void Normalize(int32_t* upper, int32_t* lower, int32_t base) {
  if (*upper < 0 && *lower > 0) {
    *upper += 1;
    *lower -= base;
  } else if (*upper > 0 && *lower < 0) {
    *upper -= 1;
    *lower += base;
  }
}

// Builds one more differencing level when the arc hasn't reached its order,
// else integrates the difference read through every level. On return
// upper[order] / lower[order] hold the value.
bool Integrate(int32_t* upper, int32_t* lower, int32_t* order, int32_t arcOrder,
               const int32_t* previousUpper, const int32_t* previousLower, int32_t base) {
  if (*order < arcOrder) {
    ++*order;
    for (int32_t k = 0; k < *order; ++k)
      if (!AddPair(upper[k], lower[k], previousUpper[k], previousLower[k], base, &upper[k + 1],
                   &lower[k + 1]))
        return false;
  } else {
    for (int32_t k = 0; k < *order; ++k)
      if (!AddPair(previousUpper[k + 1], previousLower[k + 1], upper[k], lower[k], base,
                   &upper[k + 1], &lower[k + 1]))
        return false;
  }
  return true;
}

// Writes the magnitude's digits right-aligned ending just before end.
char* WriteDigitsBackward(char* end, uint32_t magnitude) {
  do {
    *--end = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  return end;
}

void WriteFixedDigits(char* out, uint32_t magnitude, int count) {
  for (int i = count - 1; i >= 0; --i) {
    out[i] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  }
}

uint32_t Magnitude(int32_t value) {
  return value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
}

void Append(CrxDecoder& decoder, const char* text, size_t length) {
  std::memcpy(decoder.cursor, text, length);
  decoder.cursor += length;
}

void AppendBlanks(CrxDecoder& decoder, size_t count) {
  std::memset(decoder.cursor, ' ', count);
  decoder.cursor += count;
}

// The RINEX 3 epoch line: its first 41 columns, without trailing blanks when
// no clock offset follows them; the satellites go on their record lines.
void FormatEpoch3Line(CrxDecoder& decoder) {
  const char* stored = decoder.storedEpochLine;
  size_t length = strnlen(stored, kEpoch3LineColumns);
  if (decoder.clockOrder < 0) {
    while (length > 0 && stored[length - 1] == ' ') --length;
    Append(decoder, stored, length);
    *decoder.cursor++ = '\n';
  } else {
    Append(decoder, stored, length);
    AppendBlanks(decoder, kEpoch3LineColumns - length);
    FormatClock3Value(decoder, decoder.clock.upper[decoder.clockOrder],
                      decoder.clock.lower[decoder.clockOrder]);
  }
}

// The epoch line (its first 68 columns, then the clock offset when there is
// one) and the continuation lines of the satellites beyond the first 12.
void FormatEpochLines(CrxDecoder& decoder) {
  if (decoder.version == 3) {
    FormatEpoch3Line(decoder);
    return;
  }
  const char* stored = decoder.storedEpochLine;
  size_t length = std::strlen(stored);
  size_t head = length < kEpochLineColumns ? length : kEpochLineColumns;
  Append(decoder, stored, head);
  if (decoder.clockOrder < 0) {
    *decoder.cursor++ = '\n';
  } else {
    AppendBlanks(decoder, kEpochLineColumns - head);
    FormatClockValue(decoder, decoder.clock.upper[decoder.clockOrder],
                     decoder.clock.lower[decoder.clockOrder]);
  }
  size_t from = kEpochLineColumns;
  for (int32_t rest = decoder.satelliteCount - static_cast<int32_t>(kSatellitesPerLine); rest > 0;
       rest -= static_cast<int32_t>(kSatellitesPerLine)) {
    AppendBlanks(decoder, 32);
    size_t take = from < length ? length - from : 0;
    if (take > 3 * kSatellitesPerLine) take = 3 * kSatellitesPerLine;
    Append(decoder, stored + from, take);
    *decoder.cursor++ = '\n';
    from += 3 * kSatellitesPerLine;
  }
}

const char* SatelliteList(const CrxDecoder& decoder) {
  return decoder.storedEpochLine +
         (decoder.version == 3 ? kCrx3SatelliteColumn : kCrx1SatelliteColumn) - 1;
}

void SaveEpochState(CrxDecoder& decoder) {
  decoder.previousSatelliteCount = decoder.satelliteCount;
  decoder.previousClock = decoder.clock;
  std::memcpy(decoder.previousSatellites, SatelliteList(decoder),
              3 * static_cast<size_t>(decoder.satelliteCount));
  std::memcpy(decoder.previousRowTypes, decoder.rowTypes,
              sizeof(int32_t) * static_cast<size_t>(decoder.satelliteCount));
  // The current tables become the previous ones, rows in this epoch's order.
  decoder.currentTable = 1 - decoder.currentTable;
}

}  // namespace

void RepairText(char* stored, size_t size, const char* difference) {
  size_t i = 0;
  for (; i + 1 < size && stored[i] != '\0' && difference[i] != '\0'; ++i) {
    if (difference[i] == '&')
      stored[i] = ' ';
    else if (difference[i] != ' ')
      stored[i] = difference[i];
  }
  if (stored[i] != '\0') return;  // the stored text keeps what the difference doesn't reach
  for (; i + 1 < size && difference[i] != '\0'; ++i)
    stored[i] = difference[i] == '&' ? ' ' : difference[i];
  stored[i] = '\0';
}

Result MatchSatellites(CrxDecoder& decoder) {
  const char* stored = decoder.storedEpochLine;
  int32_t count = 0;
  int32_t limit = kCrx1MaxSatellites;
  if (decoder.version == 3) {
    // Columns 33-35, read up to the satellite list: some writers leave the
    // count one column early.
    size_t length = strnlen(stored, kCrx3SatelliteColumn - 1);
    if (length >= 33) ReadDecimal(stored + 32, stored + length, &count);
    limit = kCrxMaxSatellites;
  } else {
    count = IntegerAtColumn(stored, 30);
  }
  if (count > limit)
    return Result::Failure(nullptr,
                           "ERROR in compressed rinex file: exceed maximum number of satellites");
  if (count < 0)
    return Result::Failure(nullptr, "ERROR in compressed rinex file: invalid number of satellites");
  decoder.satelliteCount = count;
  // Identifiers past the line's end read as zeros (the stored line is
  // zero-filled) and match nothing a real identifier can be.
  const char* identifier = SatelliteList(decoder);
  for (int32_t i = 0; i < count; ++i, identifier += 3) {
    if (decoder.version == 3) {
      // The satellite's system gives its observation types.
      unsigned char system = static_cast<unsigned char>(identifier[0]);
      int32_t types = system < 128 ? decoder.systemTypeCounts[system] : -1;
      if (types < 0)
        return Result::Failure(
            nullptr,
            "ERROR in compressed rinex file: no observation types for the satellite system of "
            "%.3s",
            identifier);
      decoder.rowTypes[i] = types;
    } else {
      decoder.rowTypes[i] = decoder.typeCount;
    }
    decoder.slotMap[i] = -1;
    for (int32_t k = 0; k < decoder.previousSatelliteCount; ++k) {
      if (std::memcmp(identifier, decoder.previousSatellites + 3 * k, 3) == 0) {
        decoder.slotMap[i] = k;
        break;
      }
    }
  }
  return Result::Success();
}

Result SplitNumber(const char* text, size_t length, int lowerDigits, int32_t* upper,
                   int32_t* lower) {
  const char* end = text + length;
  bool negative = length > 0 && text[0] == '-';
  size_t digits = negative ? length - 1 : length;
  size_t n = static_cast<size_t>(lowerDigits);
  if (digits <= n) {
    *upper = 0;
    ReadDecimal(text, end, lower);
    return Result::Success();
  }
  ReadDecimal(end - n, end, lower);
  if (!ReadDecimal(text, end - n, upper)) return OutOfRange();
  // The sign belongs to the whole number, also when its upper part is -0.
  if (negative) *lower = -*lower;
  return Result::Success();
}

Result ReadClockLine(CrxDecoder& decoder) {
  char line[kCrxLineSize];
  char* end = nullptr;
  Result read = ReadCrxLine(decoder.input, line, &end);
  if (!read.ok) return read;
  if (end == line) {
    decoder.clockOrder = -1;
    return Result::Success();
  }
  const char* number = line;
  if (end - line >= 2 && line[1] == '&') {
    int32_t order = 0;
    ReadDecimal(line, line + 1, &order);
    if (order > kCrxMaxOrder)
      return Result::Failure(
          nullptr, "ERROR in compressed rinex file : exceed maximum order of difference");
    decoder.clockArcOrder = order;
    decoder.clockOrder = -1;
    number = line + 2;
  } else if (decoder.clockArcOrder < 0) {
    // Nothing to integrate the difference with.
    return Result::Failure(
        nullptr, "ERROR in compressed rinex file: The clock offset arc is not initialized");
  }
  ClockArc& clock = decoder.clock;
  Result split = SplitNumber(number, static_cast<size_t>(end - number), 8, &clock.upper[0],
                             &clock.lower[0]);
  if (!split.ok) return split;
  if (!Integrate(clock.upper, clock.lower, &decoder.clockOrder, decoder.clockArcOrder,
                 decoder.previousClock.upper, decoder.previousClock.lower, kClockBase))
    return OutOfRange();
  return Result::Success();
}

Result ReadDataLine(CrxDecoder& decoder, int row, int slot, char* line, const char** flags) {
  char* end = nullptr;
  Result read = ReadCrxLine(decoder.input, line, &end);
  if (!read.ok) return read;
  DiffArc* current = decoder.CurrentArcs(row);
  const DiffArc* previous = slot >= 0 ? decoder.PreviousArcs(slot) : nullptr;
  // Types the satellite had in the previous epoch: a type an event record
  // added since has no arc to continue.
  const int32_t previousTypes = slot >= 0 ? decoder.previousRowTypes[slot] : 0;
  const char* next = line;
  bool ended = false;
  const int32_t types = decoder.rowTypes[row];
  for (int32_t j = 0; j < types; ++j) {
    DiffArc& arc = current[j];
    const char* field = next;
    const char* fieldEnd = next;
    if (!ended) {
      fieldEnd = static_cast<const char*>(std::memchr(next, ' ', static_cast<size_t>(end - next)));
      if (!fieldEnd) {
        fieldEnd = end;
        ended = true;
        next = end;
      } else {
        next = fieldEnd + 1;
      }
    }
    if (fieldEnd == field) {
      arc.order = arc.arcOrder = -1;
      continue;
    }
    const char* number = field;
    if (fieldEnd - field >= 2 && field[1] == '&') {
      int32_t order = 0;
      ReadDecimal(field, field + 1, &order);
      if (order > kCrxMaxOrder)
        return Result::Failure(
            nullptr, "ERROR in compressed rinex file: exceed maximum order of difference");
      arc.order = -1;
      arc.arcOrder = order;
      number = field + 2;
    } else if (!previous) {
      return Result::Failure(
          nullptr,
          "ERROR in compressed rinex file: New satellite, but data arc is not initialized");
    } else if (j >= previousTypes || previous[j].arcOrder < 0) {
      return Result::Failure(
          nullptr,
          "ERROR in compressed rinex file: The data feild in previous epoch is blank, but the "
          "arc is not initialized");
    } else {
      arc.order = previous[j].order;
      arc.arcOrder = previous[j].arcOrder;
    }
    Result split = SplitNumber(number, static_cast<size_t>(fieldEnd - number), 3, &arc.upper[0],
                               &arc.lower[0]);
    if (!split.ok) return split;
  }
  *flags = ended ? end : next;
  return Result::Success();
}

namespace {

// The flag slot of satellite row i from its flag text: a new satellite's
// text stands alone (1.0: padded with blanks; 3.0: its "&" are blanks too),
// a known satellite's text is a difference against its previous slot.
void RebuildFlags(CrxDecoder& decoder, int32_t row, int slot, const char* flagText,
                  size_t width) {
  char* flags = decoder.CurrentFlags(row);
  if (slot < 0 && decoder.version == 1) {
    size_t length = strnlen(flagText, width);
    std::memcpy(flags, flagText, length);
    std::memset(flags + length, ' ', width - length);
    flags[width] = '\0';
    return;
  }
  // A satellite that had fewer types in the previous epoch (an event record
  // added some) has blank flags for the new ones.
  size_t kept = 0;
  if (slot >= 0) {
    kept = 2 * static_cast<size_t>(decoder.previousRowTypes[slot]);
    if (kept > width) kept = width;
    std::memcpy(flags, decoder.PreviousFlags(slot), kept);
  }
  std::memset(flags + kept, ' ', width - kept);
  flags[width] = '\0';
  RepairText(flags, width + 1, flagText);
}

// Cuts the blanks at the end of the epoch text back to from, then ends the
// line.
void EndRecordLine(CrxDecoder& decoder, const char* from) {
  while (decoder.cursor > from && decoder.cursor[-1] == ' ') --decoder.cursor;
  *decoder.cursor++ = '\n';
}

}  // namespace

Result DecodeSatellites(CrxDecoder& decoder) {
  char line[kCrxLineSize];
  const bool rinex3 = decoder.version == 3;
  const char* identifiers = SatelliteList(decoder);
  for (int32_t i = 0; i < decoder.satelliteCount; ++i) {
    const int slot = decoder.slotMap[i];
    const int32_t types = decoder.rowTypes[i];
    const size_t width = 2 * static_cast<size_t>(types);
    const char* flagText = nullptr;
    Result read = ReadDataLine(decoder, i, slot, line, &flagText);
    if (!read.ok) return read;
    // Flag text beyond two characters per type has no field to belong to.
    RebuildFlags(decoder, i, slot, flagText, width);
    char* flags = decoder.CurrentFlags(i);

    // A RINEX 3 record is one line: the satellite, then every field.
    const char* lineStart = decoder.cursor;
    if (rinex3) Append(decoder, identifiers + 3 * i, 3);
    DiffArc* current = decoder.CurrentArcs(i);
    const DiffArc* previous = slot >= 0 ? decoder.PreviousArcs(slot) : nullptr;
    for (int32_t j = 0; j < types; ++j) {
      DiffArc& arc = current[j];
      if (arc.arcOrder < 0) {
        // RINEX 2 flags go with their value: a blank value clears them.
        // RINEX 3 flags are a text of their own, kept and printed whatever
        // the value, so that a flag beside a blank value survives.
        AppendBlanks(decoder, 14);
        if (rinex3) {
          decoder.cursor[0] = flags[2 * j];
          decoder.cursor[1] = flags[2 * j + 1];
          decoder.cursor += 2;
        } else {
          AppendBlanks(decoder, 2);
          flags[2 * j] = flags[2 * j + 1] = ' ';
        }
      } else {
        // Only a continued arc (which has a previous row) integrates.
        static const DiffArc kNoArc{};
        const DiffArc& before = previous ? previous[j] : kNoArc;
        if (!Integrate(arc.upper, arc.lower, &arc.order, arc.arcOrder, before.upper,
                       before.lower, kDataBase) ||
            !DataValueFits(arc))
          return OutOfRange();
        FormatDataValue(decoder, arc, flags[2 * j], flags[2 * j + 1]);
      }
      if (!rinex3 && ((j + 1) % kFieldsPerLine == 0 || j + 1 == types))
        EndRecordLine(decoder, decoder.epochText);
    }
    if (rinex3) EndRecordLine(decoder, lineStart);
  }
  return Result::Success();
}

bool DataValueFits(const DiffArc& arc) {
  int32_t upper = arc.upper[arc.order];
  int32_t lower = arc.lower[arc.order];
  Normalize(&upper, &lower, kDataBase);
  return upper >= -999999999;
}

bool ClockValueFits(int version, int32_t upper, int32_t lower) {
  Normalize(&upper, &lower, kClockBase);
  // RINEX 2: upper counts 0.1 s; RINEX 3: 0.0001 s.
  if (version == 3) return upper >= -99999 && upper <= 999999;
  return upper >= -99 && upper <= 999;
}

void FormatDataValue(CrxDecoder& decoder, const DiffArc& arc, char flag1, char flag2) {
  int32_t upper = arc.upper[arc.order];
  int32_t lower = arc.lower[arc.order];
  Normalize(&upper, &lower, kDataBase);
  char* field = decoder.cursor;
  std::memset(field, ' ', 10);
  if (upper == 0) {
    // No leading zero: .500, and -.500 when only the lower part is negative.
    field[9] = lower < 0 ? '-' : ' ';
  } else {
    char* first = WriteDigitsBackward(field + 10, Magnitude(upper));
    if (upper < 0) first[-1] = '-';
  }
  field[10] = '.';
  WriteFixedDigits(field + 11, Magnitude(lower), 3);
  field[14] = flag1;
  field[15] = flag2;
  decoder.cursor += 16;
}

void FormatClockValue(CrxDecoder& decoder, int32_t upper, int32_t lower) {
  Normalize(&upper, &lower, kClockBase);
  // upper counts tenths of a second: its last digit goes after the point.
  char* field = decoder.cursor;
  std::memset(field, ' ', 4);
  char digits[4] = {' ', ' ', ' ', ' '};
  char* first = WriteDigitsBackward(digits + 3, Magnitude(upper));
  if (upper < 0) first[-1] = '-';
  field[0] = digits[0];
  field[1] = digits[1];
  field[2] = '.';
  field[3] = digits[2];
  if (upper == 0) field[1] = lower < 0 ? '-' : ' ';
  WriteFixedDigits(field + 4, Magnitude(lower), 8);
  field[12] = '\n';
  decoder.cursor += 13;
}

void FormatClock3Value(CrxDecoder& decoder, int32_t upper, int32_t lower) {
  Normalize(&upper, &lower, kClockBase);
  const bool negative = upper < 0 || (upper == 0 && lower < 0);
  const uint32_t magnitude = Magnitude(upper);
  const uint32_t seconds = magnitude / 10000;
  char* field = decoder.cursor;
  // Whole seconds in two columns, without a leading zero: "  .", " -.",
  // " 1.", "-1.", "12.".
  field[0] = field[1] = ' ';
  if (seconds == 0) {
    if (negative) field[1] = '-';
  } else {
    char* first = WriteDigitsBackward(field + 2, seconds);
    if (negative) first[-1] = '-';
  }
  field[2] = '.';
  WriteFixedDigits(field + 3, magnitude % 10000, 4);
  WriteFixedDigits(field + 7, Magnitude(lower), 8);
  field[15] = '\n';
  decoder.cursor += 16;
}

Result DecodeEpoch(CrxDecoder& decoder, const char* line) {
  char* stored = decoder.storedEpochLine;
  RepairText(stored, decoder.storedLineSize, line);
  char* storedEnd = stored + std::strlen(stored);
  char* trimmed = TrimTrailingBlanks(stored, storedEnd);
  std::memset(trimmed, 0, static_cast<size_t>(storedEnd - trimmed));

  Result step = MatchSatellites(decoder);
  if (step.ok) step = ReadClockLine(decoder);
  if (!step.ok) return step;
  if (decoder.clockOrder >= 0 &&
      !ClockValueFits(decoder.version, decoder.clock.upper[decoder.clockOrder],
                      decoder.clock.lower[decoder.clockOrder]))
    return OutOfRange();
  decoder.cursor = decoder.epochText;
  FormatEpochLines(decoder);
  step = DecodeSatellites(decoder);
  if (!step.ok) return step;
  size_t size = static_cast<size_t>(decoder.cursor - decoder.epochText);
  if (std::fwrite(decoder.epochText, 1, size, decoder.output) != size)
    return Result::Failure(nullptr, "Error writing to disk.  Disk may be full");
  SaveEpochState(decoder);
  return Result::Success();
}

}  // namespace stanvex
