// What the internet library needs from the operating system beyond standard
// C++ and libcurl, for its two builds: libwininet.so on POSIX systems and
// svinet.dll on Windows (MinGW). The rest of the library is written against
// the POSIX calls that MinGW's C run time also offers (open, write, close,
// unlink, stat); this header supplies the few that differ.
#ifndef STANVEX_WININET_PLATFORM_SHIM_H
#define STANVEX_WININET_PLATFORM_SHIM_H

#include <cerrno>
#include <string>

#include <curl/curl.h>

#include "wininet_api.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <winsock2.h>
#include <ws2tcpip.h>  // inet_pton

// Every file this library opens passes O_CLOEXEC. On Windows the same flag
// keeps the descriptor from child processes and, above all, opens the file
// in binary mode: the C run time's default text mode would turn each line
// feed of a downloaded file into CR LF.
#ifndef O_CLOEXEC
#define O_CLOEXEC (O_NOINHERIT | O_BINARY)
#endif
// Creating a symbolic link needs a privilege on Windows; CREATE_NEW
// semantics (O_EXCL) are what keeps a planted name from being written
// through.
#ifndef O_NOFOLLOW
#define O_NOFOLLOW 0
#endif
// No disk quotas in the C run time; the Winsock code stands in, so that it
// is a case of its own in a switch.
#ifndef EDQUOT
#define EDQUOT 10069
#endif
#else
#include <arpa/inet.h>
#include <cstdio>
#endif

namespace stanvex::wininet {

// Sets the calling thread's last error, where the caller of an entry point
// reads it: errno on POSIX, GetLastError on Windows (errno as well).
inline void SetLastErrorCode(DWORD error) {
  errno = static_cast<int>(error);
#if defined(_WIN32)
  ::SetLastError(error);
#endif
}

// Renames from over to, replacing an existing file of that name (POSIX
// rename does; the Windows C run time's refuses). 0 or -1 with errno set.
int ReplaceFileByRename(const char* from, const char* to);

// The local path of a file:// URL's path part: "/dir" on POSIX; on Windows
// "/C:/dir" becomes "C:/dir".
std::string LocalPathOfFileUrl(const std::string& urlPath);

// The hosts file that decides whether a gateway name resolves.
const char* HostsFilePath();

// TLS settings that differ by system, for every easy handle. On Windows
// curl's Schannel back end leaves the server's certificate to Schannel's
// automatic check, which some Schannel implementations skip (Wine's
// accepts any certificate). The authorities of the Windows "ROOT" store
// are handed to curl instead, whose own check then verifies the chain and
// the host name against them; a revocation list that cannot be reached
// does not fail the check. Nothing to do elsewhere.
void ApplyPlatformTlsOptions(CURL* easy);

// The verdict on the server's certificate after a request that failed its
// verification, as CURLINFO_SSL_VERIFYRESULT gives it with OpenSSL: above 1
// when the chain is not trusted, 0 or 1 when only the host name failed.
// curl's Schannel back end gives no such value; it checks the host name
// only once the chain is trusted, and its error text (reason, the request's
// CURLOPT_ERRORBUFFER) names the check that failed.
long CertificateVerdict(CURL* easy, const char* reason);

}  // namespace stanvex::wininet

#endif  // STANVEX_WININET_PLATFORM_SHIM_H
