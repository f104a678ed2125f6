// The decoding as a whole: files, header with the version, the loop over
// records and the event epochs that are copied unchanged.
#include "crinex/crx2rnx.h"

#include <cstdlib>
#include <cstring>
#include <memory>

#include "crinex/crx_decoder.h"
#include "crinex/crx_text.h"
#include "platform/platform.h"

namespace stanvex {

namespace {

constexpr char kEndOfFileMark = 26;
constexpr char kDiskFull[] = "Error writing to disk.  Disk may be full";
constexpr char kNotCompact[] = "ERROR : format is not valid compressed rinex format";

// The library's one decoder (its tables are too large for a stack).
CrxDecoder TheDecoder;

Result WriteLine(FILE* output, const char* line, size_t length) {
  if (std::fwrite(line, 1, length, output) != length || std::fputc('\n', output) == EOF)
    return Result::Failure(nullptr, "%s", kDiskFull);
  return Result::Success();
}

// Reads and writes one header or special record line, trimmed, and takes the
// type counts from a "# / TYPES OF OBSERV" (RINEX 2) or "SYS / # / OBS TYPES"
// (RINEX 3) line.
Result CopyRecordLine(CrxDecoder& decoder, char* line) {
  char* end = nullptr;
  Result read = ReadCrxLine(decoder.input, line, &end);
  if (!read.ok) return read;
  end = TrimTrailingBlanks(line, end);
  Result written = WriteLine(decoder.output, line, static_cast<size_t>(end - line));
  if (!written.ok) return written;
  if (decoder.version == 1 && HasLabel(line, "# / TYPES OF OBSERV"))
    return SetTypeCountFrom(decoder, line);
  if (decoder.version == 3 && HasLabel(line, "SYS / # / OBS TYPES"))
    return SetSystemTypeCountFrom(decoder, line);
  return Result::Success();
}

// The event flag of a RINEX 3 epoch line (column 32); 0 when it isn't a digit.
int32_t EventFlag3(const char* line, size_t length) {
  return length >= 32 && line[31] >= '0' && line[31] <= '9' ? line[31] - '0' : 0;
}

// The records of a compact RINEX 3.0 file. A line starting with ">" is a
// whole epoch line: an initialization epoch (flag 0 or 1), whose satellites
// are all new, or an event (flag above 1) copied with its special records.
// A line starting with "&" is an escape line, skipped. Any other line is the
// text difference of the next epoch line against the stored one.
Result DecodeRecords3(CrxDecoder& decoder) {
  char line[kCrxLineSize];
  size_t length = 0;
  std::memset(line, 0, sizeof line);
  while (decoder.input.ReadPlainLine(line, &length)) {
    if (line[0] == kEndOfFileMark) return Result::Success();
    if (line[0] == '&') continue;
    if (line[0] == '>') {
      if (EventFlag3(line, length) > 1) {
        Result copied = CopyEventRecords(decoder, line);
        if (!copied.ok) return copied;
        continue;
      }
      std::memset(decoder.storedEpochLine, 0, sizeof decoder.storedEpochLine);
      decoder.previousSatelliteCount = 0;
    }
    Result decoded = DecodeEpoch(decoder, line);
    if (!decoded.ok) return decoded;
  }
  return Result::Success();
}

// The records of a compact RINEX 1.0 file; succeeds at the end of the input
// or at the end-of-file mark.
Result DecodeRecords(CrxDecoder& decoder) {
  char line[kCrxLineSize];
  size_t length = 0;
  std::memset(line, 0, sizeof line);
  while (decoder.input.ReadPlainLine(line, &length)) {
    if (line[0] == kEndOfFileMark) return Result::Success();
    if (line[0] != '&') {
      Result decoded = DecodeEpoch(decoder, line);
      if (!decoded.ok) return decoded;
      continue;
    }
    // Initialization epochs, and event epochs which are always followed by
    // one: the event flag is the integer from column 27.
    for (;;) {
      line[0] = ' ';
      if (IntegerAtColumn(line, 27) <= 1) {
        std::memset(decoder.storedEpochLine, 0, sizeof decoder.storedEpochLine);
        decoder.previousSatelliteCount = 0;
        Result decoded = DecodeEpoch(decoder, line);
        if (!decoded.ok) return decoded;
        break;
      }
      Result copied = CopyEventRecords(decoder, line);
      if (!copied.ok) return copied;
      if (!decoder.input.ReadPlainLine(line, &length)) return Result::Success();
      if (line[0] != '&') return Result::Failure(nullptr, "Error in reading compressed rinex file");
    }
  }
  return Result::Success();
}

}  // namespace

void ResetEpochState(CrxDecoder& decoder) {
  std::memset(decoder.storedEpochLine, 0, sizeof decoder.storedEpochLine);
  std::memset(decoder.previousSatellites, 0, sizeof decoder.previousSatellites);
  decoder.satelliteCount = 0;
  decoder.previousSatelliteCount = 0;
  decoder.clock = ClockArc{};
  decoder.previousClock = ClockArc{};
  decoder.clockOrder = -1;
  decoder.clockArcOrder = -1;
  decoder.currentTable = 0;
  // The arc and flag tables are read only where this decoding has written
  // them (see previousRowTypes): leaving them as they are keeps a decoding
  // from touching the whole of them.
  for (int32_t& slot : decoder.slotMap) slot = -1;
  for (int32_t& types : decoder.rowTypes) types = 0;
  for (int32_t& types : decoder.previousRowTypes) types = 0;
}

namespace {

// The type count opening at text, at most kCrxMaxTypes.
Result ReadTypeCount(const char* text, const char* end, int32_t* count) {
  ReadDecimal(text, end, count);
  if (*count < 0)
    return Result::Failure(nullptr,
                           "ERROR in compressed rinex file: invalid number of observation types");
  if (*count > kCrxMaxTypes)
    return Result::Failure(
        nullptr, "ERROR in compressed rinex file: exceed maximum number of observation types");
  return Result::Success();
}

}  // namespace

Result SetSystemTypeCountFrom(CrxDecoder& decoder, const char* line) {
  // Column 1 names the system; a blank one marks the continuation line of a
  // list of more than 13 types.
  if (line[0] == ' ') return Result::Success();
  unsigned char system = static_cast<unsigned char>(line[0]);
  if (system >= 128)
    return Result::Failure(nullptr, "ERROR in compressed rinex file: invalid satellite system");
  size_t length = strnlen(line, 6);
  int32_t count = 0;
  Result counted = ReadTypeCount(line + 1, line + length, &count);
  if (!counted.ok) return counted;
  decoder.systemTypeCounts[system] = count;
  return Result::Success();
}

Result SetTypeCountFrom(CrxDecoder& decoder, const char* line) {
  // The count field is columns 1-6; a blank one marks the continuation line
  // of a list of more than nine types.
  size_t field = strnlen(line, 6);
  bool blank = true;
  for (size_t i = 0; i < field; ++i) blank = blank && line[i] == ' ';
  if (blank) return Result::Success();
  int32_t count = 0;
  Result counted = ReadTypeCount(line, line + std::strlen(line), &count);
  if (!counted.ok) return counted;
  decoder.typeCount = count;
  return Result::Success();
}

Result CopyCrxHeader(CrxDecoder& decoder) {
  char line[kCrxLineSize];
  size_t length = 0;
  if (!decoder.input.ReadPlainLine(line, &length) || !HasLabel(line, "CRINEX VERS   / TYP"))
    return Result::Failure(nullptr, "%s", kNotCompact);
  if (std::strncmp(line, "1.0", 3) == 0) {
    decoder.version = 1;
  } else if (std::strncmp(line, "3.0", 3) == 0) {
    decoder.version = 3;
  } else {
    return Result::Failure(nullptr, "%s", kNotCompact);
  }
  if (!decoder.input.ReadPlainLine(line, &length))
    return Result::Failure(nullptr,
                           "ERROR : The compressed rinex file seems to be trancated in the middle");
  if (decoder.version == 3) {
    decoder.input.SetMaxLineLength(kCrx3MaxLineLength);
    decoder.storedLineSize = kCrxLineSize;
  }
  for (;;) {
    Result copied = CopyRecordLine(decoder, line);
    if (!copied.ok) return copied;
    if (HasLabel(line, "END OF HEADER")) return Result::Success();
  }
}

Result CopyEventRecords(CrxDecoder& decoder, const char* line) {
  size_t length = std::strlen(line);
  Result written = WriteLine(decoder.output, line, length);
  if (!written.ok) return written;
  // The number of special records: columns 30-32 of a RINEX 2 event line,
  // 33-35 of a RINEX 3 one.
  const size_t column = decoder.version == 3 ? 33 : 30;
  if (length < column) return Result::Success();
  int32_t records = IntegerAtColumn(line, column);
  char record[kCrxLineSize];
  for (int32_t i = 0; i < records; ++i) {
    Result copied = CopyRecordLine(decoder, record);
    if (!copied.ok) return copied;
  }
  return Result::Success();
}

Result Crx2Rnx(const char* compactName, const char* rinexName) {
  CrxDecoder& decoder = TheDecoder;
  std::unique_ptr<char, decltype(&std::free)> epochText(
      static_cast<char*>(std::malloc(kCrxEpochTextSize)), &std::free);
  if (!epochText)
    return Result::Failure(nullptr, "Error: not enough memory for crx2rnx conversion");
  // Binary reading: line ends are handled by the line reader alike on every
  // platform. Text writing: each line end becomes the platform's.
  FILE* input = platform::OpenForReading(compactName ? compactName : "");
  if (!input)
    return Result::Failure(ResultKind::kNotFound, "Error unable to open compressed rinex file %s",
                           compactName ? compactName : "");
  // Creating the output over the input (under its own name, another path to
  // it or a link) would empty the input before it is read.
  FILE* output = nullptr;
  if (!compactName || !rinexName ||
      (std::strcmp(compactName, rinexName) != 0 && !platform::SameFile(compactName, rinexName)))
    output = platform::CreateNewFile(rinexName ? rinexName : "");
  if (!output) {
    std::fclose(input);
    return Result::Failure(nullptr,
                           "Error unable to open output for crx2rnx conversion. Output file : %s",
                           rinexName ? rinexName : "");
  }
  std::setvbuf(output, nullptr, _IOFBF, 1 << 16);

  decoder.input.Attach(input);
  decoder.output = output;
  decoder.epochText = decoder.cursor = epochText.get();
  decoder.version = 1;
  decoder.typeCount = 0;
  for (int32_t& count : decoder.systemTypeCounts) count = -1;
  decoder.storedLineSize = kCrxPlainReadLength + 1;
  ResetEpochState(decoder);

  Result result = CopyCrxHeader(decoder);
  if (result.ok) result = decoder.version == 3 ? DecodeRecords3(decoder) : DecodeRecords(decoder);

  decoder.input.Detach();
  decoder.output = nullptr;
  decoder.epochText = decoder.cursor = nullptr;
  std::fclose(input);
  // Buffered text reaches the disk only here: a failure to flush it is a
  // failed write like any other.
  bool flushed = std::fflush(output) == 0 && !std::ferror(output);
  flushed = std::fclose(output) == 0 && flushed;
  if (result.ok && !flushed) return Result::Failure(nullptr, "%s", kDiskFull);
  return result;
}

}  // namespace stanvex
