// The eleven exports of include/stanvex.h. Each is a shell over the work in
// its folder: it checks the host's arguments, turns the work's Result into
// the last error (and, for the frame's requests, the heading sent with code
// 144), restores the current directory where the request changes it, and
// lets no exception reach the host: one becomes the export's usual failure.
//
// One request runs at a time: every export but SetCallBack, iGetLastError and
// the two stop functions holds a RequestClaim from its entry, and a call
// that arrives while another runs is refused before it touches anything.
//
// A failure of the frame's own checks sends its heading before its reason is
// written, so a host that reads iGetLastError inside the callback sees the
// previous text; for a failed step the reason is written first, and the host
// sees it there.
#include <algorithm>
#include <cstring>
#include <vector>

#include "base/last_error.h"
#include "base/paths.h"
#include "base/request_context.h"
#include "base/request_state.h"
#include "base/result.h"
#include "base/status_channel.h"
#include "base/text.h"
#include "catalogue/catalogue.h"
#include "catalogue/nearest.h"
#include "obsfiles/avg_position.h"
#include "obsfiles/resample.h"
#include "pipeline/retrieval.h"
#include "platform/platform.h"
#include "stanvex.h"
#include "transfer/download.h"

namespace stanvex {
namespace {

// The failure value of every export that has one.
constexpr int32_t kFailed = -1;

// Sends the failure's heading (when it has one) through the frame's record
// and makes its message the last error, a step's before its heading.
// Returns 0 for success, else -1.
int32_t Report(const Result& result) {
  if (result.ok) return 0;
  if (result.reasonBeforeHeading)
    CopyText(LastErrorText, sizeof LastErrorText, result.message);
  if (result.heading != nullptr) FrameError(result.heading);
  CopyText(LastErrorText, sizeof LastErrorText, result.message);
  return kFailed;
}

// A failure of the export's own argument checks.
int32_t Refuse(const char* heading, const char* reason) {
  return Report(Result::Failure(heading, "%s", reason));
}

// Runs work, whose exceptions (in practice only an allocation that fails)
// end the export as failing with heading and "Error <name> ran out of
// memory". A callback that throws while that heading is sent is not called
// again.
template <typename Work>
int32_t Shielded(const char* name, const char* heading, Work work) noexcept {
  try {
    return work();
  } catch (...) {
    try {
      if (heading != nullptr) FrameError(heading);
    } catch (...) {
    }
    SetLastErrorText("Error %s ran out of memory", name);
    return kFailed;
  }
}

}  // namespace
}  // namespace stanvex

using namespace stanvex;

extern "C" {

STANVEX_API StatusCallback STANVEX_CALL SetCallBack(StatusCallback callback) {
  RegisteredCallBack.store(callback);
  return callback;
}

STANVEX_API int32_t STANVEX_CALL iGetLastError(char* buffer) {
  if (buffer == nullptr) return kFailed;
  // A thread whose request was refused reads why; the running request's
  // text is not its to read or overwrite.
  const char* refused = RefusedRequestText();
  CopyText(buffer, kTextSize, refused != nullptr ? refused : LastErrorText);
  return 0;
}

STANVEX_API int32_t STANVEX_CALL ChangeTempDir(const char* directory) {
  RequestClaim claim("ChangeTempDir");
  if (!claim.held()) return kFailed;
  return Shielded("ChangeTempDir", nullptr, [&]() -> int32_t {
    if (directory == nullptr) return Refuse(nullptr, "Error: the directory  does not exist");
    return Report(SetWorkingDirectory(directory));
  });
}

STANVEX_API int32_t STANVEX_CALL iInitalizeNEW(char* catalogueDirectory,
                                               const char* workingDirectory, Serv_Sta* catalogue) {
  RequestClaim claim("iInitalizeNEW");
  if (!claim.held()) return kFailed;
  return Shielded("iInitalizeNEW", kCatalogueLoadHeading, [&]() -> int32_t {
    char combined[kPathSize];
    CatalogueOrigin origin;
    Result joined = JoinCatalogueFiles(catalogueDirectory, combined, &origin);
    if (!joined.ok) return Report(joined);
    // From here on the frame reports through its own record.
    FrameStatus = MakeFrameStatus();
    FrameSend(STATUS_TEXT, "Initalize Starting");
    if (catalogue == nullptr)
      return Refuse(kCatalogueLoadHeading, "The Serv_Sta struct has not been initalized");
    if (catalogue->iServiceSize != kServiceRecordSize)
      return Refuse(kCatalogueLoadHeading,
                    "Error invalid structure size for service struct Stanvex.dll ");
    if (catalogue->iStationSize != kStationRecordSize)
      return Refuse(kCatalogueLoadHeading,
                    "Error invalid structure size for station struct Stanvex.dll");
    return Report(LoadCatalogue(combined, workingDirectory, catalogue, origin));
  });
}

STANVEX_API void STANVEX_CALL vClearMem(Serv_Sta* catalogue) {
  // Refused, the arrays stay: a running request may be reading them.
  RequestClaim claim("vClearMem");
  if (!claim.held()) return;
  if (catalogue == nullptr) return;
  Shielded("vClearMem", nullptr, [&]() -> int32_t {
    ReleaseCatalogue(catalogue);
    return 0;
  });
}

STANVEX_API int32_t STANVEX_CALL iFindClosestStation(double latitude, double longitude,
                                                     double maximumDistance,
                                                     StationRecord** found, int32_t wanted,
                                                     int32_t* iNumStat) {
  RequestClaim claim("iFindClosestStation");
  if (!claim.held()) return kFailed;
  return Shielded("iFindClosestStation", kNearestHeading, [&]() -> int32_t {
    if (wanted < 1)
      return Refuse(kNearestHeading,
                    "ERROR less then 1 number of stations selected in Find Closest Station");
    if (iNumStat == nullptr)
      return Refuse(kNearestHeading, "Error iNumStat pointer has not been intitalized!");
    if (found == nullptr)
      return Refuse(kNearestHeading, "Error station array pointer has not been intitalized!");
    std::vector<StationRecord*> nearest;
    Result searched = FindClosestStations(latitude, longitude, maximumDistance, wanted, &nearest);
    if (!searched.ok) return Report(searched);
    *iNumStat = static_cast<int32_t>(nearest.size());
    std::copy(nearest.begin(), nearest.end(), found);
    return 0;
  });
}

STANVEX_API int32_t STANVEX_CALL iFTP(double start, double end, StationRecord* station,
                                      char* cDirectory, double interval, char* deliveredPath,
                                      char* ftpUser, char* ftpPassword, int32_t copyOver,
                                      int32_t converterOption, int32_t removeRinex) {
  RequestClaim claim("iFTP");
  if (!claim.held()) return kFailed;
  // A stop asked for before this request belongs to no request.
  FtpStopCount = 0;
  int32_t outcome = Shielded("iFTP", kRequestHeading, [&]() -> int32_t {
    if (cDirectory == nullptr)
      return Refuse(kRequestHeading, "Error the pointer cDirectory has not bee initalized");
    RetrievalRequest request{start,   end,         station,  cDirectory,      interval,
                             deliveredPath, ftpUser, ftpPassword, copyOver, converterOption,
                             removeRinex};
    StatusChannel frame(StatusChannel::CallBack::kReadAtEachSend, FrameStatus);
    RequestContext context{WorkingDirectory, &frame, &Internet, &FtpStopCount};
    return Report(RunRetrieval(context, request));
  });
  platform::SetCurrentDir(SavedDirectory);
  return outcome;
}

STANVEX_API int32_t STANVEX_CALL iGetManfactFile(char* directory) {
  RequestClaim claim("iGetManfactFile");
  if (!claim.held()) return kFailed;
  return Shielded("iGetManfactFile", nullptr, [&]() -> int32_t {
    if (directory == nullptr)
      return Refuse(nullptr, "Error: the directory (null) does not exist");
    return Report(FetchCatalogueFile(LibraryTransferLink(), directory));
  });
}

STANVEX_API void STANVEX_CALL NewGetAvgOBNPos(const char* path, AvgPosition* average,
                                              double* start, double* end, int32_t* valid) {
  // The record's status field is 0 only when there is no average: a call
  // refused because a request runs has none either.
  auto noAverage = [average]() {
    if (average != nullptr) std::memset(average, 0, sizeof *average);
  };
  if (valid != nullptr) *valid = 0;
  RequestClaim claim("NewGetAvgOBNPos");
  if (!claim.held()) {
    noAverage();
    return;
  }
  Shielded("NewGetAvgOBNPos", nullptr, [&]() -> int32_t {
    ObnAverage found;
    Result read = path != nullptr ? AverageObnPosition(path, &found)
                                  : Result::Failure(nullptr, "Error: File (null) not found");
    if (!read.ok) {
      noAverage();
      return Report(read);
    }
    if (average != nullptr) {
      average->position1 = found.position1;
      average->position2 = found.position2;
    }
    if (!found.spanValid) return 0;
    if (start != nullptr) *start = found.start;
    if (end != nullptr) *end = found.end;
    if (valid != nullptr) *valid = 1;
    return 0;
  });
}

STANVEX_API int32_t STANVEX_CALL StopFtpProcessing(void) {
  FtpStopCount.fetch_add(1);
  return 0;
}

STANVEX_API int32_t STANVEX_CALL StopInerpolation(void) {
  // Called from any thread while a request runs: it touches no other state,
  // not even the last error, and has no failure value of its own.
  try {
    return StopRunningInterpolation();
  } catch (...) {
    return 0;
  }
}

}  // extern "C"
