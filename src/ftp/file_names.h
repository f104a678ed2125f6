// Remote file-name templates ("/pub/rinex/<YYYY>/<JJJ>/<XXXX><JJJ>0.<yy>n.Z")
// and the file names of one day.
#ifndef STANVEX_FTP_FILE_NAMES_H
#define STANVEX_FTP_FILE_NAMES_H

#include <cstddef>

#include "pipeline/day_job.h"
#include "pipeline/gps_time.h"

namespace stanvex {

// Longest template, and the size of the buffer a template expands into.
constexpr size_t kTemplateSize = 256;
// Longest token between angle brackets.
constexpr size_t kMaxTokenLength = 9;

// day: in, broken down; output: out, a kTemplateSize buffer the caller has
// cleared (the expander writes no terminator); pathTemplate: in, read at most
// kTemplateSize characters, terminated or not; station: in, its first four
// characters (fewer when it ends sooner).
// Returns 1 when the whole template was expanded. Returns 0 for a token that
// is not recognised, is not closed by '>' or is longer than 9 characters
// ("<token> is an invalid parameter in the string <template>"), and for a
// template of 256 characters or more ("Input string too large <template>");
// the heading "Error in InterprutFileFormat" goes through the transfer
// module's channel, and output keeps what was written before the failure.
int InterprutFileFormat(const GpsTime& day, char* output, const char* pathTemplate,
                        const char* station);

// job: in/out, with station, service and a broken-down day. Fills every name
// field of the day. Returns 0 when the observation or navigation template does
// not expand or expands to more than 127 characters. A compact template that
// does not expand clears the service's hasDFile in the catalogue itself, so
// compact files are not tried again until the catalogue is reloaded. Without
// a compact template the three compact name fields stay empty.
int BuildDayFileNames(DayJob* job);

}  // namespace stanvex

#endif  // STANVEX_FTP_FILE_NAMES_H
