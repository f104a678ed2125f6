// The one result type of the work below the exports: success, or a failure
// carrying its reason (a fixed text with the file, server or value it is
// about) and, for the frame's requests (iInitalizeNEW, iFindClosestStation,
// iFTP), the heading the export sends with code 144. Only the exports
// (src/api/exports.cpp) turn a Result into the library's last error and
// status; the functions that return one send no heading of their own and
// write no last error (scripts/check-last-error.sh holds every folder to
// that). A heading sent in the middle of a request (a transfer's, as each
// failed attempt happens) is status, not the failure's: the failure then
// carries none.
//
// ok tells whether the call did what it was asked; for a reader, whether it
// read a record. A reader's end of input is no failure: ok is false because
// nothing was read, kind is kEndOfInput (AtEnd), and Failed() is false, so
// `while (Read(...).ok)` reads to the end and a caller that must tell the
// end from a damaged record asks AtEnd().
#ifndef STANVEX_BASE_RESULT_H
#define STANVEX_BASE_RESULT_H

#include <cstdint>

#include "base/text.h"

namespace stanvex {

// What a caller may need to tell apart beyond ok.
enum class ResultKind : uint8_t {
  kNone,        // success, or a failure with nothing more to tell
  kEndOfInput,  // no failure: a reader found nothing more to read (ok false)
  kNotFound,    // failure: the file the message names cannot be opened
  kDamaged,     // failure: a damaged record; its reader can go on past it
};

struct Result {
  bool ok = true;
  ResultKind kind = ResultKind::kNone;
  // Static text sent as the heading; null when the failure has none (it came
  // before the frame existed, or the failing step sent its own).
  const char* heading = nullptr;
  // The failure of a step, whose caller gave it the heading: the export makes
  // the reason the last error before it sends the heading, as the host has
  // always seen a failed step. A frame's own check (a Failure made with its
  // heading) sends the heading first.
  bool reasonBeforeHeading = false;
  char message[kTextSize] = "";

  static Result Success() { return Result{}; }

  // A failure with a composed reason (printf style, cut to fit).
  static Result Failure(const char* heading, const char* format, ...)
#if defined(__GNUC__)
      __attribute__((format(printf, 2, 3)))
#endif
      ;

  // A failure of the given kind, without a heading.
  static Result Failure(ResultKind kind, const char* format, ...)
#if defined(__GNUC__)
      __attribute__((format(printf, 2, 3)))
#endif
      ;

  // The end of a reader's input (kind kEndOfInput) with what it says.
  static Result EndOfInput(const char* text);

  bool AtEnd() const { return kind == ResultKind::kEndOfInput; }
  // A failure: not ok, and not the end of a reader's input.
  bool Failed() const { return !ok && !AtEnd(); }

  // This result as the failure of a step under its caller's heading (a
  // success stays one).
  Result WithHeading(const char* newHeading) const {
    Result result = *this;
    if (!result.ok) {
      result.heading = newHeading;
      result.reasonBeforeHeading = true;
    }
    return result;
  }
};

}  // namespace stanvex

#endif  // STANVEX_BASE_RESULT_H
