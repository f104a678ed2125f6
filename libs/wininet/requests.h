// The two requests a connection runs (login, file transfer) over libcurl.
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
// leaves localPath as it was). Data bytes are reported as they arrive.
RequestOutcome RunGetFile(ConnectionObject& connection, const std::string& remotePath,
                          const std::string& localPath, bool ascii, DWORD_PTR context);

// Calls the connection's status handler unless the handle has been closed.
void Notify(ConnectionObject& connection, DWORD_PTR context, DWORD status, void* info,
            DWORD length);

// The Windows error code for a libcurl result; httpStatus is the response
// code of an https request, writeErrno the errno of a failed local write.
DWORD WindowsErrorFor(CURLcode code, long httpStatus, int writeErrno);

// The Windows error code for an errno of a local file operation.
DWORD WindowsErrorForErrno(int error);

}  // namespace stanvex::wininet

#endif  // STANVEX_WININET_REQUESTS_H
