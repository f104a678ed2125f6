// Remote file-name templates ("/pub/rinex/<YYYY>/<JJJ>/<XXXX><JJJ>0.<yy>n.Z")
// and the file names of one day.
#ifndef STANVEX_TRANSFER_FILE_NAMES_H
#define STANVEX_TRANSFER_FILE_NAMES_H

#include <cstddef>

#include "base/result.h"
#include "transfer/day_files.h"

namespace stanvex {

// Longest template, and the size of the buffer a template expands into.
constexpr size_t kTemplateSize = 256;
// Longest token between angle brackets.
constexpr size_t kMaxTokenLength = 9;
// Alternatives of one template ("a|b|c"), tried in order for the same file.
constexpr int kMaxAlternatives = 8;
constexpr char kAlternativeSeparator = '|';

// day: in, broken down; output: out, a kTemplateSize buffer the caller has
// cleared (the expander writes no terminator); pathTemplate: in, read at most
// kTemplateSize characters, terminated or not; station: in, its first four
// characters (fewer when it ends sooner).
// Succeeds when the whole template was expanded. Fails for a token that is
// not recognised, is not closed by '>' or is longer than 9 characters
// ("<token> is an invalid parameter in the string <template>"), and for a
// template of 256 characters or more ("Input string too large <template>");
// the heading "Error in InterprutFileFormat" goes through the transfer
// module's channel at once (the Result carries none), and output keeps what
// was written before the failure.
Result InterprutFileFormat(const GpsTime& day, char* output, const char* pathTemplate,
                           const char* station);

// The same, with the station's 9-character long name for the token
// <XXXXMRCCC> (longName null or empty: the station has none, and a template
// that uses the token fails with "Error the station <station> has no long
// name (lName:) for <XXXXMRCCC> in the string <template>"). '|' is copied
// like any other character. longNameMissing, when given, tells that failure
// apart from a faulty template.
// Succeeds and fails as InterprutFileFormat does.
Result ExpandTemplate(const GpsTime& day, char* output, const char* pathTemplate,
                      const char* station, const char* longName, bool* longNameMissing = nullptr);

// The remote paths one template names for one station and day, in the
// order they are tried.
struct PathChoices {
  int count;  // 1..kMaxAlternatives after a successful expansion
  char paths[kMaxAlternatives][kDayNameSize];
};

// Expands pathTemplate and splits the result at '|' into choices (empty
// alternatives left out; an empty template gives one empty path). Fails (the
// heading sent and the reason carried as the expander's) when the template
// does not expand, when an alternative is longer than 127 characters ("Input
// string too large <template>") or when it names more than kMaxAlternatives.
Result ExpandChoices(const GpsTime& day, const char* pathTemplate, const char* station,
                     const char* longName, PathChoices* choices, bool* longNameMissing = nullptr);

// The same for a sub-daily template (a service's hFile, qFile or hnFile):
// fileStart is the start of the file (its day plus the hour and minute),
// which also gives the tokens <h> (the hour as a letter, a for 0 to x for
// 23), <HH> (the hour, 00 to 23) and <MM> (the minute, 00, 15, 30 or 45).
// Daily templates do not know these tokens: there they are invalid, as
// before.
Result ExpandSubDailyChoices(const GpsTime& fileStart, const char* pathTemplate,
                             const char* station, const char* longName, PathChoices* choices,
                             bool* longNameMissing = nullptr);

// The choices of one of the job's templates (the service's oFile, nFile or
// dFile) for its station (short and long name) and day; fails as ExpandChoices.
Result DayPathChoices(const DayFiles& job, const char* pathTemplate, PathChoices* choices);

// The start of sub-daily file index of job (in the order of
// job.subDailyStart) as a broken-down instant.
GpsTime SubDailyFileStart(const DayFiles& job, int32_t index);

// The local names of sub-daily file index of job: packed (as downloaded,
// S + J + hour letter [+ minute] + "." + Y + "o." + E) and plain (unpacked,
// the same without "." + E); each a kDayNameSize buffer, either may be null.
// For station abcd on day 34 of 2002 with Ftype gz, the hourly file of
// 10:00 is abcd034k.02o.gz and the 15-minute file of 10:45 abcd034k45.02o.gz.
void SubDailyLocalName(const DayFiles& job, int32_t index, char* packed, char* plain);

// The span of sub-daily file index of job for status texts:
// "2002-02-03 10:00 to 10:59" (an hourly file), "2002-02-03 10:45 to
// 10:59" (a 15-minute file).
void SubDailySpanText(const DayFiles& job, int32_t index, char* out, size_t size);

// Chooses the sub-daily files of kind (kHourlyFiles or kQuarterHourFiles)
// that cover the part of job's window on its day (a window of 10:20 to 12:05
// takes the hourly files of 10, 11 and 12): sets subDailyKind, subDailyCount
// and subDailyStart, and clears subDailyArrived.
void ChooseSubDailyFiles(DayFiles* job, int32_t kind);

// job: in/out, with station, service and a broken-down day. Fills every name
// field of the day; a remote field holds the first alternative of its
// template. Fails when the observation or navigation template does not
// expand or an alternative is longer than 127 characters, and when any of
// the three templates needs the station's long name and it has none (that
// is the station's fault, not the template's: compact files stay on). A compact template that
// does not expand clears the service's hasDFile in the catalogue itself, so
// compact files are not tried again until the catalogue is reloaded. Without
// a compact template the three compact name fields stay empty.
Result BuildDayFileNames(DayFiles* job);

}  // namespace stanvex

#endif  // STANVEX_TRANSFER_FILE_NAMES_H
