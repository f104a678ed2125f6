// File transfers and the three downloads built on them: one day of a
// retrieval request, the IGS navigation fallback and the catalogue file.
//
// Threads: run on the requesting thread; a stop (StopFtpProcessing) from any
// thread ends a running wait within about 5 ms.
#ifndef STANVEX_TRANSFER_DOWNLOAD_H
#define STANVEX_TRANSFER_DOWNLOAD_H

#include "base/result.h"
#include "transfer/connection.h"
#include "transfer/day_files.h"

namespace stanvex {

// The IGS navigation fallback: the fixed template tried after the IGS
// service's own, and the station name its templates are expanded with.
constexpr const char* kIgsFallbackTemplate = "/pub/rinex/<YYYY>/<JJJ>/<XXXX><JJJ>0.<yy>n.Z";
constexpr const char* kIgsStation = "auto";

// Context numbers of the transfers, one per kind of file.
constexpr DWORD_PTR kContextObservation = 2;
constexpr DWORD_PTR kContextCompact = 152;
constexpr DWORD_PTR kContextNavigation = 3;
constexpr DWORD_PTR kContextIgsSameConnection = 4;
constexpr DWORD_PTR kContextIgsOwnConnection = 5;
constexpr DWORD_PTR kContextCatalogue = 15;

// link: the binding and the stop count every transfer here works through
// (a day's download binds link.internet to the library its addresses need).
//
// connection: in/out, the open connection; a stop closes it and makes it
// null. Transfers remotePath into localPath (binary, created or replaced).
// A failure's heading has been sent through the transfer channel; its
// reason (no heading) tells a file missing on the server, a full disk and
// any other cause apart.
Result GetFile(const TransferLink& link, HINTERNET* connection, const char* remotePath,
               const char* localPath, DWORD_PTR context);

// job: in/out, with station, service, login and the day (its seconds; the
// download breaks it down); the download fills the names and types.
// Downloads one day of a retrieval request into the current directory: the
// observation file (or the compact file when it is missing and the service
// has one; compactUsed tells which) and the navigation file (or the IGS
// service's). Every handle it opened is closed when it returns. A failure
// carries no heading: the transfer sent its own.
Result DownloadDay(const TransferLink& link, DayFiles* job);

// Fetches the day's navigation file from the catalogue's "IGS" service into
// localNav, over a connection of its own or, when the job's service is the
// IGS one, over the day's connection. Fails as DownloadDay does.
Result GetIgsNavFile(FtpSession* session, HINTERNET* connection, DayFiles* job);

// Fetches manufact.dwn from the catalogue server into localPath. Fails as
// DownloadDay does.
Result DownloadCatalogueFile(const TransferLink& link, const char* localPath);

// iGetManfactFile: fetches manufact.dwn into directory (not null; the
// host's text is not written to). Fails with the path's or the transfer's
// reason; the transfer has sent its own heading.
Result FetchCatalogueFile(const TransferLink& link, const char* directory);

// The catalogue server's host (the build's STANVEX_CATALOGUE_SERVER unless a
// test changed it).
const char* CatalogueServer();
// For tests only: points the catalogue download at host (null restores the
// build's setting).
void SetCatalogueServerForTesting(const char* host);

}  // namespace stanvex

#endif  // STANVEX_TRANSFER_DOWNLOAD_H
