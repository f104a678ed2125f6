// The requests a connection runs (login, file transfer, asking whether a
// file exists) over libcurl.
// Both run on whatever thread calls them and may be cancelled through the
// connection's `cancelled` flag.
#ifndef STANVEX_WININET_REQUESTS_H
#define STANVEX_WININET_REQUESTS_H

#include <string>

#include "handles.h"

namespace stanvex::wininet {

struct RequestOutcome {
  DWORD_PTR result = 0;  // non-zero on success
  DWORD error = 0;       // Windows error code of a failure
};

// Logs in (FTP), opens the TLS connection (https) or checks the directory
// (file). On success result is the connection's handle. The server's replies
// are reported as byte counts (notification 41) with context.
RequestOutcome RunConnect(ConnectionObject& connection, DWORD_PTR context);

// Fetches remotePath into localPath (created or replaced; a failed transfer
// leaves localPath as it was). Data bytes are reported as they arrive. The
// data go to localPath + ".part", made new (any entry of that name, a link
// included, is removed first, and the file is never opened through a link),
// then renamed over localPath. Over HTTPS an answer that is a web page
// fails with ERROR_HTTP_INVALID_SERVER_RESPONSE and writes nothing.
RequestOutcome RunGetFile(ConnectionObject& connection, const std::string& remotePath,
                          const std::string& localPath, bool ascii, DWORD_PTR context);

// Asks whether remotePath exists without fetching it: an HTTPS HEAD
// (redirects followed as RunGetFile follows them; an answer of type
// text/html fails with ERROR_HTTP_INVALID_SERVER_RESPONSE), an FTP SIZE, a
// stat of a file:// path. On success *size is the file's size, -1 when the
// server did not tell it. A file that is not there fails with
// ERROR_NO_MORE_FILES, as the system's FtpFindFirstFileA fails.
RequestOutcome RunFindFile(ConnectionObject& connection, const std::string& remotePath,
                           long long* size, DWORD_PTR context);

// Calls the connection's status handler unless the handle has been closed.
void Notify(ConnectionObject& connection, DWORD_PTR context, DWORD status, void* info,
            DWORD length);

// The Windows error code for a libcurl result; httpStatus is the response
// code of an https request, writeErrno the errno of a failed local write,
// verifyResult the certificate chain's verification result (0 when it
// verified).
DWORD WindowsErrorFor(CURLcode code, long httpStatus, int writeErrno, long verifyResult = 0);

// What the first bytes of an HTTPS answer show: a web page (after blanks,
// "<!DOCTYPE html" or "<html", any case), data, or not yet known.
enum class BodyStart { kUndecided, kWebPage, kData };
BodyStart ClassifyBodyStart(const char* data, size_t length);

// The Windows error code for an errno of a local file operation.
DWORD WindowsErrorForErrno(int error);

}  // namespace stanvex::wininet

#endif  // STANVEX_WININET_REQUESTS_H
