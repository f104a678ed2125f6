// One retrieval request: a station's data for a window of at most three
// calendar days, from download to delivery (the work of iFTP).
#ifndef STANVEX_PIPELINE_RETRIEVAL_H
#define STANVEX_PIPELINE_RETRIEVAL_H

#include <cstddef>
#include <cstdint>

#include "base/gps_time.h"
#include "base/request_context.h"
#include "base/result.h"
#include "stanvex.h"

namespace stanvex {

inline constexpr char kRequestHeading[] = "Error in iFTP";

// The arguments of iFTP. The texts are the host's and stay valid for the
// request; destination is written to (a trailing separator is removed).
struct RetrievalRequest {
  double start;  // window, GPS seconds
  double end;
  StationRecord* station;
  char* destination;  // not null
  double interval;    // > 0: resample to it
  char* deliveredPath;
  char* user;  // null: the anonymous login
  char* password;
  int copyOver;
  int converterOption;
  int removeRinex;
};

// Runs one request after the host's destination text is known not to be
// null: the directory checks, the request's checks, every day's download,
// unpacking and conversion, joining, cutting, resampling and delivery, in
// the context's working folder, reporting through its frame. Makes the
// working folder current and leaves it so; the caller restores the
// directory. A failure carries the heading the frame sends for it (null when
// the transfer sent its own) and the failing step's reason.
Result RunRetrieval(const RequestContext& context, const RetrievalRequest& request);

// The number of calendar days after the start's day that the window
// [start, end] touches, once kEndMargin is taken off the end (0 for one day;
// never negative). start and end are whole GPS seconds, start >= 0.
int32_t ExtraDaysOfWindow(int32_t start, int32_t end);

// The name of a request's output: sName + day of year ("%03d") + "0.obn".
// out: a buffer of size bytes.
void MakeOutputName(const StationRecord& station, int32_t dayOfYear, char* out, size_t size);

// The name under which the daily files are joined: obnName with the part
// from its last dot (among its first 58 characters) replaced by "tmp.obn";
// a name without a dot there becomes "tmp.obn".
void MakeJoinedName(const char* obnName, char* out, size_t size);

}  // namespace stanvex

#endif  // STANVEX_PIPELINE_RETRIEVAL_H
