#include "pipeline/retrieval.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "base/gps_time.h"
#include "base/paths.h"
#include "base/request_context.h"
#include "base/request_state.h"
#include "base/status_channel.h"
#include "base/text.h"
#include "catalogue/catalogue.h"
#include "convert/converter_binding.h"
#include "crinex/crx2rnx.h"
#include "crinex/rinex_join.h"
#include "extract/extract_file.h"
#include "obsfiles/concatenate.h"
#include "obsfiles/obn_file_set.h"
#include "obsfiles/resample.h"
#include "obsfiles/splice.h"
#include "pipeline/day_job.h"
#include "pipeline/delivery.h"
#include "platform/platform.h"
#include "transfer/download.h"
#include "transfer/file_names.h"

namespace stanvex {

namespace {

constexpr int kMaxDays = 3;
constexpr size_t kJoinedNameScan = 58;

// Validation failures: the request's heading with their own reason.
Result FailValidation(const char* reason) { return Result::Failure(kRequestHeading, "%s", reason); }

// Fails when a companion of the OBN file the cut made is not there: a
// station file the cut could not move stays under the name of its input
// (from). The request then fails naming the file instead of delivering less;
// so it does when a companion of the daily files could not be joined.
Result RequireCompanions(const char* made, const char* from) {
  for (const char* extension : {".nvb", ".sta"}) {
    char companion[kPathSize];
    if (!ObnCompanionName(made, extension, companion).ok)
      return Result::Failure(nullptr, "Error the name %s has no %s companion", made, extension);
    if (platform::FileExists(companion)) continue;
    char source[kPathSize];
    if (ObnCompanionName(from, extension, source).ok && platform::FileExists(source))
      return Result::Failure(nullptr, "Error unable to move %s to %s", source, companion);
    return Result::Failure(nullptr, "Error the file %s is missing", companion);
  }
  return Result::Success();
}

struct Window {
  GpsTime start;
  GpsTime end;
  int32_t extraDays;
};

// The day's sub-daily file index, unpacked into plain RINEX under its plain
// name (plain, a kDayNameSize buffer): a file the service's type does not
// pack is taken as it came, a compact file is decoded.
Result UnpackSubDailyFile(StatusChannel& frame, DayJob& job, int32_t index, char* plain) {
  char packed[kDayNameSize];
  SubDailyLocalName(job, index, packed, plain);
  frame.Send(STATUS_TEXT, "Unzipping OBS File");
  frame.Send(STATUS_FILE_NAME, packed);
  Result unpacked = ExtractFile(job.obsType, packed, plain, job.workDir);
  if (!unpacked.ok) return unpacked.WithHeading("Error in unzip");
  if (!platform::FileExists(plain) && platform::FileExists(packed))
    platform::MoveFile(packed, plain);
  if (!IsCompactRinexFile(plain)) return Result::Success();
  char compact[kDayNameSize];
  CopyText(compact, sizeof compact, plain);
  compact[std::strlen(compact) - 1] = 'd';  // the plain name ends in "o"
  frame.Send(STATUS_TEXT, "Unzipping Compressed Rinex File");
  frame.Send(STATUS_FILE_NAME, compact);
  if (!platform::MoveFile(plain, compact))
    return Result::Failure("Error in conversion compact rinex to rinex",
                           "Error unable to move %s to %s", plain, compact);
  Result decoded = Crx2Rnx(compact, plain);
  if (!decoded.ok) return decoded.WithHeading("Error in conversion compact rinex to rinex");
  platform::DeleteFile(compact);
  return Result::Success();
}

// Unpacks the day's sub-daily files that arrived and joins them into its
// observation file (plainObs), reporting each file that could not be joined
// (whole or in part).
Result JoinSubDailyFiles(StatusChannel& frame, DayJob& job, int removeRinex) {
  struct Piece {
    int32_t index;
    char plain[kDayNameSize];
  };
  std::vector<Piece> pieces;
  for (int32_t i = 0; i < job.subDailyCount; ++i) {
    if (job.subDailyArrived[i] == 0) continue;
    pieces.push_back(Piece{i, {}});
    Result unpacked = UnpackSubDailyFile(frame, job, i, pieces.back().plain);
    if (!unpacked.ok) return unpacked;
  }
  std::vector<JoinInput> inputs(pieces.size());
  for (size_t k = 0; k < pieces.size(); ++k) inputs[k].path = pieces[k].plain;
  char text[kTextSize];
  std::snprintf(text, sizeof text, "Joining %d observation files into %s",
                static_cast<int>(inputs.size()), job.plainObs);
  frame.Send(STATUS_TEXT, text);
  Result joined =
      JoinRinexObservations(inputs.data(), static_cast<int32_t>(inputs.size()), job.plainObs);
  const char* kind = job.subDailyKind == kQuarterHourFiles ? "15-minute" : "Hourly";
  for (size_t k = 0; k < pieces.size(); ++k) {
    if (inputs[k].problem[0] == '\0') continue;
    char span[64];
    SubDailySpanText(job, pieces[k].index, span, sizeof span);
    std::snprintf(text, sizeof text, "%s file %s (%s) %s%s", kind, pieces[k].plain, span,
                  inputs[k].problem, inputs[k].joined ? "" : ": skipped");
    frame.Send(STATUS_TEXT, text);
  }
  if (removeRinex != 0)
    for (const Piece& piece : pieces) platform::DeleteFile(piece.plain);
  if (!joined.ok) {
    Result failure = joined;
    failure.heading = "Error in joining observation files";
    return failure;
  }
  return Result::Success();
}

// Unpacks, decodes and converts one downloaded day; a failure carries the
// failing step's heading.
Result ProcessDay(StatusChannel& frame, DayJob& job, int converterOption, int removeRinex) {
  if (job.subDailyKind != kDailyFile) {
    Result joined = JoinSubDailyFiles(frame, job, removeRinex);
    if (!joined.ok) return joined;
  } else if (job.compactUsed == 1) {
    frame.Send(STATUS_TEXT, "Unzipping Compressed Rinex File");
    frame.Send(STATUS_FILE_NAME, job.localCompact);
    Result unpacked = ExtractFile(job.compactType, job.localCompact, job.plainCompact, job.workDir);
    if (!unpacked.ok) return unpacked.WithHeading("Error in unzip");
    Result decoded = Crx2Rnx(job.plainCompact, job.plainObs);
    if (!decoded.ok) return decoded.WithHeading("Error in conversion compact rinex to rinex");
    platform::DeleteFile(job.localCompact);
    // The decoded compact file is the day's RINEX too: it goes with the
    // others when they are removed.
    if (removeRinex != 0) platform::DeleteFile(job.plainCompact);
  } else {
    frame.Send(STATUS_TEXT, "Unzipping OBS File");
    frame.Send(STATUS_FILE_NAME, job.localObs);
    Result unpacked = ExtractFile(job.obsType, job.localObs, job.plainObs, job.workDir);
    if (!unpacked.ok) return unpacked.WithHeading("Error in unzip");
  }
  frame.Send(STATUS_TEXT, "Unzipping NAV File");
  frame.Send(STATUS_FILE_NAME, job.localNav);
  Result unpacked = ExtractFile(job.navType, job.localNav, job.plainNav, job.workDir);
  if (!unpacked.ok) return unpacked.WithHeading("Error in unzip");
  Result converted = ConvertRinexToObn(job.plainObs, job.plainNav, job.obnName, converterOption,
                                       removeRinex, sizeof job.obnName);
  return converted.WithHeading("Error in Conversion from Rinex to OBN");
}

// Gives the spliced files (OBN and companions) the output name.
void RenameToOutput(const char* spliced, const char* output) {
  ObnFileSet from, to;
  if (!from.Assign(spliced).ok || !to.Assign(output).ok) return;
  for (ObnMember member : kObnMembers) {
    // A file that cannot be moved is not delivered: it is not left behind.
    if (!from.MoveMember(member, to).ok) from.DeleteMember(member);
  }
}

// Steps 4 to 7 of the checks and the window.
Result CheckRequest(const RetrievalRequest& request, const char* workingFolder,
                    ServiceRecord** service, Window* window) {
  if (platform::SameDirectory(request.destination, workingFolder) ||
      platform::SameFileName(request.destination, workingFolder))
    return FailValidation(
        "Error: the temp directory can not be the same as the destination directory.  Change "
        "either the temp or destination directory and try again");
  Serv_Sta* catalogue = LoadedCatalogue;
  if (catalogue == nullptr || !CatalogueLoaded || catalogue->pServices == nullptr)
    return FailValidation(
        "Error Serv_Sta struct has not been initalized.  Try running the program again");
  if (request.station == nullptr)
    return FailValidation("Error the station pointer has not been initalized");
  char name[sizeof request.station->sName + 1];
  CopyText(name, sizeof name, request.station->sName);
  if (!IsPlainFileName(name, sizeof name)) {
    // Catalogues arrive by plain FTP: a name such as "../../x" would put the
    // day's files outside the working and destination folders.
    for (char* c = name; *c != '\0'; ++c)
      if (static_cast<unsigned char>(*c) < 0x20 || *c == 0x7f) *c = '?';
    return Result::Failure(kRequestHeading,
                           "Error the station name \"%s\" can not be used as a file name", name);
  }
  char serv[sizeof request.station->serv + 1];
  CopyText(serv, sizeof serv, request.station->serv);
  *service = FindService(serv);
  if (*service == nullptr)
    return Result::Failure(kRequestHeading,
                           "Error can not find the stations service %s in the station file", serv);
  if (const char* reason = UnusableServiceReason(**service))
    return Result::Failure(kRequestHeading, "Error the service %s can not be used: %s", serv,
                           reason);
  if (request.start > request.end)
    return FailValidation("Invalid Time Range the Start time can not be larger then the end time");
  // GPS seconds before the epoch have no calendar breakdown.
  if (!(request.start >= 0.0) || request.end > 2147483647.0)
    return FailValidation("Invalid Time Range the times must be GPS seconds from 0 on");
  // An interval that cannot be resampled to fails here, before any download.
  if (request.interval > 0) {
    Result usable = CheckResampleInterval(request.interval);
    if (!usable.ok) return FailValidation(usable.message);
  }
  window->start.Clear();
  window->end.Clear();
  window->start.seconds = static_cast<int32_t>(request.start);
  window->end.seconds = static_cast<int32_t>(request.end);
  window->start.ComputeFromSeconds();
  window->end.ComputeFromSeconds();
  window->extraDays = ExtraDaysOfWindow(window->start.seconds, window->end.seconds);
  return Result::Success();
}

}  // namespace

Result RunRetrieval(const RequestContext& context, const RetrievalRequest& request) {
  char* workingFolder = context.workingFolder;
  StatusChannel& frame = *context.frame;
  Result entered = CheckDirectory(request.destination);
  if (entered.ok) entered = CheckDirectory(workingFolder);
  if (!entered.ok) return entered.WithHeading(kRequestHeading);
  platform::SetCurrentDir(workingFolder);
  StripTrailingBackslash(request.destination);
  StripTrailingBackslash(workingFolder);

  ServiceRecord* service = nullptr;
  Window window{};
  Result checked = CheckRequest(request, workingFolder, &service, &window);
  if (!checked.ok) return checked;

  char output[kPathSize];
  MakeOutputName(*request.station, window.start.dayOfYear, output, sizeof output);
  char announced[kPathSize * 2];
  std::snprintf(announced, sizeof announced, "%s%c%s", request.destination,
                platform::PathSeparator(), output);
  frame.Send(STATUS_OUTPUT_PATH, announced);

  DayJob job{};
  job.station = request.station;
  job.service = service;
  CopyText(job.workDir, sizeof job.workDir, workingFolder);
  job.day = window.start;
  job.userName = request.user;
  job.password = request.password;
  job.windowStart = window.start.seconds;
  job.windowEnd = window.end.seconds;
  job.interval = request.interval;

  const int32_t n = window.extraDays;
  if (n > kMaxDays - 1)
    return FailValidation("Error the maximum amount of data that can be downloaded is 2 days");

  char joined[kPathSize] = "";
  char days[kMaxDays][kDailyNameSize] = {};
  for (int32_t i = 0; i <= n; ++i) {
    if (i > 0) job.day.seconds += kSecondsPerDay;
    // The transfer has sent its own heading.
    Result downloaded = DownloadDay(TransferLink{context.internet, context.stop}, &job);
    if (!downloaded.ok) return downloaded;
    if (i == 0) {
      CopyText(output, sizeof output, job.obnName);
      MakeJoinedName(job.obnName, joined, sizeof joined);
    }
    Result processed = ProcessDay(frame, job, request.converterOption, request.removeRinex);
    if (!processed.ok) return processed;
    frame.Send(STATUS_DAY_DONE, nullptr, i + 1, n + 1);
    CopyText(days[i], sizeof days[i], job.obnName);
  }

  if (n == 0) {
    CopyText(joined, sizeof joined, days[0]);
  } else {
    Result companions;
    Result concatenated = ConcatenateDailyFiles(days, joined, n + 1, &companions);
    if (concatenated.ok) concatenated = companions;
    if (!concatenated.ok) return concatenated.WithHeading("Error in Concatenating Files");
  }
  char spliced[kPathSize] = "";
  Result cut = SpliceToWindow(joined, spliced, sizeof spliced, window.start.secondsOfWeek,
                              window.end.secondsOfWeek);
  if (cut.ok) cut = RequireCompanions(spliced, joined);
  if (!cut.ok) return cut.WithHeading("Error in Spliceing Files");
  if (request.interval > 0) {
    Result resampled = ResampleObn(workingFolder, spliced, output, request.interval);
    if (!resampled.ok) return resampled.WithHeading("Error in Interpolating Files");
  } else {
    RenameToOutput(spliced, output);
  }
  if (request.copyOver != 0) {
    Result delivered =
        DeliverCopyOver(output, workingFolder, request.destination, request.deliveredPath);
    if (!delivered.ok) return delivered.WithHeading("Error in Moving Files Copyover");
  } else {
    Result delivered =
        DeliverAppend(output, workingFolder, request.destination, request.deliveredPath);
    if (!delivered.ok) return delivered.WithHeading("Error in Moving Files Append");
  }
  frame.Send(STATUS_REQUEST_DONE);
  return Result::Success();
}

int32_t ExtraDaysOfWindow(int32_t start, int32_t end) {
  int32_t lastCounted = end - kEndMargin;
  if (lastCounted < start) return 0;
  return lastCounted / kSecondsPerDay - start / kSecondsPerDay;
}

void MakeOutputName(const StationRecord& station, int32_t dayOfYear, char* out, size_t size) {
  char name[sizeof station.sName + 1];
  CopyText(name, sizeof name, station.sName);
  std::snprintf(out, size, "%s%03d0.obn", name, dayOfYear);
}

void MakeJoinedName(const char* obnName, char* out, size_t size) {
  size_t length = strnlen(obnName, kJoinedNameScan);
  size_t dot = length;
  for (size_t i = 0; i < length; ++i)
    if (obnName[i] == '.') dot = i;
  if (dot == length) dot = 0;  // no dot: the whole name is replaced
  char stem[kJoinedNameScan + 1];
  std::memcpy(stem, obnName, dot);
  stem[dot] = '\0';
  std::snprintf(out, size, "%stmp.obn", stem);
}

}  // namespace stanvex
