#include "transfer/file_names.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "base/paths.h"
#include "base/text.h"
#include "catalogue/catalogue.h"
#include "transfer/internet_binding.h"

namespace stanvex {
namespace {

bool Is(char c, char letter) { return c == letter || c == letter - 'a' + 'A'; }

// Formats value in width characters ("%3d" and so on) with every leading
// blank turned into '0'.
void Field(char* out, size_t size, int value, int width) {
  std::snprintf(out, size, "%*d", width, value);
  for (char* p = out; *p == ' '; ++p) *p = '0';
}

int TwoDigitYear(int year) { return year >= 2000 ? year - 2000 : year - 1900; }

// True for the whole token XXXXMRCCC (station code, monument and receiver
// digits, country code), each letter in either case.
bool IsLongNameToken(const char* token) {
  static const char kLetters[] = "xxxxmrccc";
  for (size_t i = 0; i < kMaxTokenLength; ++i)
    if (!Is(token[i], kLetters[i])) return false;
  return token[kMaxTokenLength] == '\0';
}

enum class Replaced { kDone, kUnknown, kNoLongName };

// The hour of the day of an instant (0..23).
int HourOf(const GpsTime& time) { return time.seconds % kSecondsPerDay / 3600; }

// The replacement of a token. The rules are tested in this order and look at
// the first four characters only, except the long name, which is the whole
// token and so is tested before <XXXX>.
Replaced Replace(const char* token, const GpsTime& day, const char* station,
                 const char* longName, bool subDaily, char* out, size_t size) {
  if (Is(token[0], 'j') && Is(token[1], 'j') && Is(token[2], 'j')) {
    Field(out, size, day.dayOfYear, 3);
  } else if (std::strncmp(token, "YYYY", 4) == 0) {
    Field(out, size, day.year, 4);
  } else if (IsLongNameToken(token)) {
    if (longName == nullptr || longName[0] == '\0') return Replaced::kNoLongName;
    CopyText(out, size, longName);
  } else if (Is(token[0], 'x') && Is(token[1], 'x') && Is(token[2], 'x') && Is(token[3], 'x')) {
    size_t length = strnlen(station, 4);
    if (length >= size) length = size - 1;
    std::memcpy(out, station, length);
    out[length] = '\0';
  } else if (Is(token[0], 'w') && Is(token[1], 'e') && Is(token[2], 'e') && Is(token[3], 'k')) {
    Field(out, size, day.week, 4);
  } else if (Is(token[0], 'w') && Is(token[1], 'k') && Is(token[2], 'r') && Is(token[3], 'l')) {
    Field(out, size, day.week - 1024, 4);
  } else if (token[0] == 'y' && token[1] == 'y') {
    Field(out, size, TwoDigitYear(day.year), 2);
  } else if (Is(token[0], 'd') && token[1] == '\0') {
    Field(out, size, day.dayOfWeek, 1);
  } else if (Is(token[0], 'm') && Is(token[1], 'n')) {
    Field(out, size, day.month, 2);
  } else if (Is(token[0], 'd') && Is(token[1], 'm')) {
    Field(out, size, day.day, 2);
  } else if (subDaily && token[0] == 'h' && token[1] == '\0') {
    out[0] = static_cast<char>('a' + HourOf(day));
    out[1] = '\0';
  } else if (subDaily && Is(token[0], 'h') && Is(token[1], 'h')) {
    Field(out, size, HourOf(day), 2);
  } else if (subDaily && Is(token[0], 'm') && Is(token[1], 'm')) {
    Field(out, size, day.seconds % 3600 / 60, 2);
  } else {
    return Replaced::kUnknown;
  }
  return Replaced::kDone;
}

// A template's failures: the heading goes through the transfer channel at
// once, the reason with the Result.
Result InvalidToken(const char* token, const char* pathTemplate) {
  TransferError("Error in InterprutFileFormat");
  return Result::Failure(nullptr, "%s is an invalid parameter in the string %.256s", token,
                         pathTemplate);
}

Result TooLarge(const char* pathTemplate) {
  TransferError("Error in InterprutFileFormat");
  return Result::Failure(nullptr, "Input string too large %.256s", pathTemplate);
}

Result NoLongName(const char* station, const char* pathTemplate) {
  TransferError("Error in InterprutFileFormat");
  return Result::Failure(
      nullptr,
      "Error the station %.7s has no long name (lName:) for <XXXXMRCCC> in the string %.256s",
      station, pathTemplate);
}

}  // namespace

Result InterprutFileFormat(const GpsTime& day, char* output, const char* pathTemplate,
                           const char* station) {
  return ExpandTemplate(day, output, pathTemplate, station, nullptr);
}

namespace {

// The expander of both kinds of template: subDaily allows the tokens of a
// file's hour and minute, taken from time (the file's start).
Result Expand(const GpsTime& day, char* output, const char* pathTemplate, const char* station,
              const char* longName, bool* longNameMissing, bool subDaily) {
  if (longNameMissing != nullptr) *longNameMissing = false;
  if (pathTemplate == nullptr || pathTemplate[0] == '\0') return Result::Success();
  if (station == nullptr) station = "";
  size_t consumed = 0;
  size_t written = 0;
  // The output has the template's size; one byte stays for the caller's
  // terminating zero.
  const size_t room = kTemplateSize - 1;
  for (;;) {
    if (consumed >= kTemplateSize) return TooLarge(pathTemplate);
    char c = pathTemplate[consumed];
    if (c == '\0') return Result::Success();
    if (c == '>') {
      ++consumed;
      continue;
    }
    if (c != '<') {
      if (written < room) output[written++] = c;
      ++consumed;
      continue;
    }
    ++consumed;
    char token[kMaxTokenLength + 1] = {};
    size_t length = 0;
    for (;;) {
      if (consumed >= kTemplateSize) return TooLarge(pathTemplate);
      char t = pathTemplate[consumed];
      if (t == '\0') return InvalidToken(token, pathTemplate);  // '<' never closed
      ++consumed;
      if (t == '>') break;
      if (t == '<') continue;
      if (length == kMaxTokenLength) return InvalidToken(token, pathTemplate);
      token[length++] = t;
    }
    char replacement[32];
    Replaced replaced =
        Replace(token, day, station, longName, subDaily, replacement, sizeof replacement);
    if (replaced == Replaced::kUnknown) return InvalidToken(token, pathTemplate);
    if (replaced == Replaced::kNoLongName) {
      if (longNameMissing != nullptr) *longNameMissing = true;
      return NoLongName(station, pathTemplate);
    }
    for (const char* p = replacement; *p != '\0' && written < room; ++p) output[written++] = *p;
  }
}

// Expands one of the job's templates and puts its first choice into field.
Result ExpandInto(const DayFiles& job, const char* pathTemplate, char* field,
                  bool* longNameMissing) {
  PathChoices choices;
  const char* longName = StationLongName(job.station);
  Result expanded =
      ExpandChoices(job.day, pathTemplate, job.station->sName, longName, &choices, longNameMissing);
  if (expanded.ok) CopyText(field, kDayNameSize, choices.paths[0]);
  return expanded;
}

bool InExtensionRange(char c) {
  char low = static_cast<char>(c & 0x7f);
  return low >= '0' && low <= 'z';
}

// The compression extension of a type: its first character, then its second
// and third while they lie between "0" and "z" (the top bit ignored).
void CompressionExtension(const char* type, size_t typeSize, char extension[4]) {
  std::memset(extension, 0, 4);
  size_t typeLength = strnlen(type, typeSize);
  if (typeLength > 0) {
    extension[0] = type[0];
    if (typeLength > 1 && InExtensionRange(type[1])) {
      extension[1] = type[1];
      if (typeLength > 2 && InExtensionRange(type[2])) extension[2] = type[2];
    }
  }
}

Result SplitChoices(const GpsTime& day, const char* pathTemplate, const char* station,
                    const char* longName, PathChoices* choices, bool* longNameMissing,
                    bool subDaily) {
  std::memset(choices, 0, sizeof *choices);
  char buffer[kTemplateSize] = {};
  Result expanded = Expand(day, buffer, pathTemplate, station, longName, longNameMissing, subDaily);
  if (!expanded.ok) return expanded;
  // Expansion never lengthens the text, so buffer holds at most 255
  // characters and its terminator.
  const char* start = buffer;
  for (;;) {
    const char* end = std::strchr(start, kAlternativeSeparator);
    size_t length = end != nullptr ? static_cast<size_t>(end - start) : std::strlen(start);
    if (length > 0) {
      if (length >= kDayNameSize) return TooLarge(pathTemplate);
      if (choices->count == kMaxAlternatives) {
        TransferError("Error in InterprutFileFormat");
        return Result::Failure(nullptr, "Error more than %d alternatives in the string %.256s",
                               kMaxAlternatives, pathTemplate);
      }
      std::memcpy(choices->paths[choices->count++], start, length);
    }
    if (end == nullptr) break;
    start = end + 1;
  }
  if (choices->count == 0) choices->count = 1;  // an empty template: one empty path
  return Result::Success();
}

}  // namespace

Result ExpandTemplate(const GpsTime& day, char* output, const char* pathTemplate,
                      const char* station, const char* longName, bool* longNameMissing) {
  return Expand(day, output, pathTemplate, station, longName, longNameMissing, false);
}

Result ExpandChoices(const GpsTime& day, const char* pathTemplate, const char* station,
                     const char* longName, PathChoices* choices, bool* longNameMissing) {
  return SplitChoices(day, pathTemplate, station, longName, choices, longNameMissing, false);
}

Result ExpandSubDailyChoices(const GpsTime& fileStart, const char* pathTemplate,
                             const char* station, const char* longName, PathChoices* choices,
                             bool* longNameMissing) {
  return SplitChoices(fileStart, pathTemplate, station, longName, choices, longNameMissing, true);
}

Result DayPathChoices(const DayFiles& job, const char* pathTemplate, PathChoices* choices) {
  return ExpandChoices(job.day, pathTemplate, job.station->sName, StationLongName(job.station),
                       choices);
}

GpsTime SubDailyFileStart(const DayFiles& job, int32_t index) {
  GpsTime start = job.day;
  int32_t second = index >= 0 && index < kMaxSubDailyFiles ? job.subDailyStart[index] : 0;
  if (second < 0 || second >= kSecondsPerDay) second = 0;
  // The last day GPS seconds hold ends early: no file starts past its end.
  const int64_t at = int64_t{job.day.seconds} - job.day.seconds % kSecondsPerDay + second;
  start.seconds = at > INT32_MAX ? INT32_MAX : static_cast<int32_t>(at);
  start.ComputeFromSeconds();
  return start;
}

void SubDailyLocalName(const DayFiles& job, int32_t index, char* packed, char* plain) {
  GpsTime start = SubDailyFileStart(job, index);
  const int32_t second = start.seconds % kSecondsPerDay;
  char stem[40];
  int length = std::snprintf(stem, sizeof stem, "%.7s%03d%c", job.station->sName, start.dayOfYear,
                             'a' + second / 3600);
  if (job.subDailyKind == kQuarterHourFiles && length > 0)
    std::snprintf(stem + length, sizeof stem - static_cast<size_t>(length), "%02d",
                  second % 3600 / 60);
  char extension[4];
  CompressionExtension(job.service->Ftype, sizeof job.service->Ftype, extension);
  const int year = TwoDigitYear(start.year);
  if (packed != nullptr) std::snprintf(packed, kDayNameSize, "%s.%02do.%s", stem, year, extension);
  if (plain != nullptr) std::snprintf(plain, kDayNameSize, "%s.%02do", stem, year);
}

void SubDailySpanText(const DayFiles& job, int32_t index, char* out, size_t size) {
  GpsTime start = SubDailyFileStart(job, index);
  const int32_t second = start.seconds % kSecondsPerDay;
  const int32_t last = second + (job.subDailyKind == kQuarterHourFiles ? 900 : 3600) - 60;
  std::snprintf(out, size, "%04d-%02d-%02d %02d:%02d to %02d:%02d", start.year, start.month,
                start.day, second / 3600, second % 3600 / 60, last / 3600, last % 3600 / 60);
}

void ChooseSubDailyFiles(DayFiles* job, int32_t kind) {
  const int32_t span = kind == kQuarterHourFiles ? 900 : 3600;
  const int32_t midnight = job->day.seconds - job->day.seconds % kSecondsPerDay;
  int32_t first = job->windowStart - midnight;
  int32_t last = job->windowEnd - midnight;
  if (first < 0) first = 0;
  if (last > kSecondsPerDay - 1) last = kSecondsPerDay - 1;
  if (first > last) {  // the window misses the day
    first = 0;
    last = kSecondsPerDay - 1;
  }
  if (last > INT32_MAX - midnight) last = INT32_MAX - midnight;
  job->subDailyKind = kind;
  job->subDailyCount = 0;
  for (int32_t start = first / span * span; start <= last && job->subDailyCount < kMaxSubDailyFiles;
       start += span) {
    job->subDailyStart[job->subDailyCount] = start;
    job->subDailyArrived[job->subDailyCount] = 0;
    ++job->subDailyCount;
  }
}

Result BuildDayFileNames(DayFiles* job) {
  ServiceRecord* service = job->service;
  const char* station = job->station->sName;
  job->remoteObs[0] = job->remoteNav[0] = job->remoteCompact[0] = '\0';
  job->localCompact[0] = job->plainCompact[0] = '\0';
  bool noLongName = false;
  Result expanded = ExpandInto(*job, service->oFile, job->remoteObs, &noLongName);
  if (expanded.ok) expanded = ExpandInto(*job, service->nFile, job->remoteNav, &noLongName);
  if (!expanded.ok) return expanded;
  if (service->hasDFile == 1) {
    Result compact = ExpandInto(*job, service->dFile, job->remoteCompact, &noLongName);
    // A station without its long name fails the day; only a faulty template
    // switches the service's compact files off.
    if (!compact.ok && noLongName) return compact;
    if (!compact.ok) {
      service->hasDFile = 0;
      job->remoteCompact[0] = '\0';
    }
  }

  // S + J + "0." + ..., where S is the station name, J the day of year in
  // three digits and Y the two-digit year.
  char stem[40];
  std::snprintf(stem, sizeof stem, "%.7s%03d0.", station, job->day.dayOfYear);
  char year[16];
  std::snprintf(year, sizeof year, "%02d", TwoDigitYear(job->day.year));
  const char* type = service->Ftype;
  size_t typeLength = strnlen(type, sizeof service->Ftype);
  char extension[4];
  CompressionExtension(type, sizeof service->Ftype, extension);
  std::snprintf(job->obnName, kDayNameSize, "%sobn", stem);
  std::snprintf(job->localObs, kDayNameSize, "%s%so.%s", stem, year, extension);
  std::snprintf(job->localNav, kDayNameSize, "%s%sn.%s", stem, year, extension);
  std::snprintf(job->plainObs, kDayNameSize, "%s%so", stem, year);
  std::snprintf(job->plainNav, kDayNameSize, "%s%sn", stem, year);
  if (service->hasDFile == 1) {
    std::snprintf(job->localCompact, kDayNameSize, "%s%sd.%s", stem, year, extension);
    std::snprintf(job->plainCompact, kDayNameSize, "%s%sd", stem, year);
  }
  // The station name and the type letters come from the catalogue: every
  // local name made of them must name a file in the working directory.
  for (const char* local : {job->obnName, job->localObs, job->localNav, job->plainObs,
                            job->plainNav, job->localCompact, job->plainCompact}) {
    if (local[0] != '\0' && !IsPlainFileName(local, kDayNameSize)) {
      TransferError("Error in BuildDayFileNames");
      return Result::Failure(nullptr, "Error the local file name %s is not a plain file name",
                             local);
    }
  }
  char types[kDayTypeSize] = {};
  std::memcpy(types, type, typeLength < kDayTypeSize ? typeLength : kDayTypeSize - 1);
  std::memcpy(job->obsType, types, kDayTypeSize);
  std::memcpy(job->navType, types, kDayTypeSize);
  std::memcpy(job->compactType, types, kDayTypeSize);
  return Result::Success();
}

}  // namespace stanvex
