/*
 * The internet entry points the core binds at run time (five, and one
 * optional), with the
 * Windows types, constants and calling convention they use.
 *
 * On Windows the system's own wininet.dll provides them and this header only
 * adds the function pointer types the core's binding needs. On Linux our
 * libwininet.so provides them over libcurl with the same contract:
 *
 *  - A session opened with INTERNET_FLAG_ASYNC answers every request "pending":
 *    the entry point returns NULL / FALSE and the calling thread's last error
 *    (errno on Linux) is ERROR_IO_PENDING. The request then runs on a thread
 *    of the library's own, which calls the status handler installed with
 *    InternetSetStatusCallback: INTERNET_STATUS_RESPONSE_RECEIVED (41) with a
 *    DWORD byte count, repeatedly while data arrives, and finally
 *    INTERNET_STATUS_REQUEST_COMPLETE (100) with an INTERNET_ASYNC_RESULT
 *    whose dwResult is the connection handle (InternetConnectA) or TRUE
 *    (FtpGetFileA) on success and 0 on failure, and whose dwError carries the
 *    reason of a failure: ERROR_INTERNET_ITEM_NOT_FOUND (FTP 550, HTTP 404
 *    or 410), ERROR_INTERNET_INCORRECT_PASSWORD (FTP 530, HTTP 401),
 *    ERROR_ACCESS_DENIED (HTTP 403, or the local file may not be written),
 *    ERROR_INTERNET_INVALID_CA (certificate not trusted),
 *    ERROR_INTERNET_SEC_CERT_CN_INVALID (certificate for another host),
 *    ERROR_HTTP_INVALID_SERVER_RESPONSE (an HTML page where a file was asked),
 *    ERROR_HTTP_INVALID_HEADER (a response header over libcurl's limits),
 *    ERROR_HTTP_REDIRECT_NEEDS_CONFIRMATION (a redirect to an address with a
 *    login written into it, refused by this library), ERROR_BAD_CONFIGURATION
 *    (the host's netrc entry has a keyword without its value),
 *    ERROR_FILE_TOO_LARGE (the netrc file is over 1 MiB and is not read),
 *    ERROR_PATH_NOT_FOUND (the folder of a file:// address does not exist),
 *    ERROR_DISK_FULL; and, for causes that may pass, ERROR_INTERNET_CANNOT_CONNECT,
 *    ERROR_INTERNET_CONNECTION_ABORTED (also a file cut short of its announced
 *    size), ERROR_INTERNET_TIMEOUT (also a
 *    transfer that moves too little for too long),
 *    ERROR_INTERNET_SECURITY_CHANNEL_ERROR (TLS handshake cut) and
 *    ERROR_INTERNET_EXTENDED_ERROR (FTP 4xx reply, HTTP 5xx).
 *  - A request the library refuses at once (bad handle, bad argument, a
 *    request already running on the connection) returns NULL / FALSE with
 *    another last error and sends no notification.
 *  - Without INTERNET_FLAG_ASYNC requests run on the calling thread and
 *    return their outcome directly (last error set on failure); only the
 *    byte-count notifications are sent.
 *  - InternetCloseHandle cancels the handle's pending request and returns
 *    after its thread has ended: no notification for that handle arrives
 *    after it returns. Closing a session also closes its connections.
 *    Handle values are never reused, so closing a stale handle is harmless.
 *
 * Logins: an account given to InternetConnectA (any user but "anonymous")
 * goes to that server only: over FTP/FTPS as USER/PASS, over HTTPS as basic
 * authentication on requests to its own host and port. A host that was
 * given no account gets the entry of the user's netrc file for it (the file
 * named by NETRC, else ~/.netrc; %USERPROFILE%\_netrc on Windows), else
 * FTP logs in anonymously and HTTPS sends none. HTTPS redirects are followed
 * to https:// addresses only (ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR), each
 * request carrying its own host's login and no other's; an address with a
 * login written into it is refused. A netrc file that cannot give the login
 * of a host that needs one from it (an unusable entry, a file too large) fails
 * the request before anything is sent to that host. Cookies live in memory for the length
 * of the session handle (InternetOpenA). An HTTPS answer whose body begins
 * as a web page ("<!DOCTYPE html" or "<html") fails with
 * ERROR_HTTP_INVALID_SERVER_RESPONSE.
 *
 * Bearer tokens: InternetConnectA with STANVEX_FLAG_BEARER_TOKEN in dwFlags
 * (our library's own bit; the system's wininet never gets it, since the core
 * gives it with https:// addresses only, which our library serves) sends the
 * password as "Authorization: Bearer <password>" on the requests to that
 * server's own host and port, and on no other: a redirect to another host
 * carries no token (that host gets its own netrc login, as any host does).
 * The user name is not used. A null password takes the password of the
 * netrc entry of the server's host as the token. For any address that is
 * not https:// the flag makes the library drop the password given (FTP logs
 * in anonymously, or with its host's netrc entry), so a token never travels
 * in the clear.
 *
 * Asking whether a file exists without fetching it: FtpFindFirstFileA with
 * the remote path as its search name fills WIN32_FIND_DATAA (cFileName the
 * path's last part, nFileSizeHigh/nFileSizeLow the size; both 0xFFFFFFFF
 * when the server did not tell it) and returns a find handle to close with
 * InternetCloseHandle; asynchronously the completion's dwResult is that
 * handle and the data are filled before it is sent. Our library asks with
 * an HTTPS HEAD (redirects followed as for transfers, an answer of type
 * text/html failing with ERROR_HTTP_INVALID_SERVER_RESPONSE), an FTP SIZE
 * or a stat of a file:// path; a file that is not there fails with
 * ERROR_NO_MORE_FILES, other failures with the codes of FtpGetFileA. The
 * entry point is optional: a library without it cannot be asked.
 *
 * Trust: certificate and host-name checks are always on. The system's
 * authorities are trusted unless CURL_CA_BUNDLE, or SSL_CERT_FILE and
 * SSL_CERT_DIR, name others (a private certificate authority).
 *
 * Stalls: a transfer that moves fewer than 300 bytes a second for 60
 * seconds fails with ERROR_INTERNET_TIMEOUT (STANVEX_STALL_SECONDS and
 * STANVEX_STALL_BYTES_PER_SECOND change the limit).
 *
 * Server addresses given to InternetConnectA: a bare host ("ftp.example.org",
 * FTP on nPort, 21 when nPort is 0), "host:port", or an address with a scheme:
 * "ftp://host[:port][/base]", "ftps://host[:port][/base]" (FTP with explicit
 * TLS required), "https://host[:port][/base]" and "file:///dir". Remote paths
 * given to FtpGetFileA are appended to a scheme address as given; for a bare
 * host they go to the server as given ("/pub/x" absolute, "x" relative to the
 * login directory).
 */
#ifndef STANVEX_FORMATS_WININET_API_H
#define STANVEX_FORMATS_WININET_API_H

#if defined(_WIN32)

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#if defined(STANVEX_WININET_BUILDING)
/* Our svinet.dll defines the entry points that <wininet.h> declares as
 * imports from the system's library: the declarations are taken without
 * the import attribute. */
#pragma push_macro("DECLSPEC_IMPORT")
#undef DECLSPEC_IMPORT
#define DECLSPEC_IMPORT
#include <wininet.h>
#pragma pop_macro("DECLSPEC_IMPORT")
#else
#include <wininet.h>
#endif
#define WININET_CALL __stdcall
#define WININET_API

#else

#include <stdint.h>

#define WININET_CALL

#ifdef __cplusplus
extern "C" {
#endif

typedef void *HINTERNET;
typedef uint32_t DWORD;
typedef int32_t BOOL;
typedef uintptr_t DWORD_PTR;
typedef uint16_t INTERNET_PORT;
typedef void *LPVOID;

typedef struct INTERNET_ASYNC_RESULT {
  DWORD_PTR dwResult; /* the handle or TRUE on success, 0 on failure */
  DWORD dwError;      /* the failure's error code, 0 on success */
} INTERNET_ASYNC_RESULT;

typedef void(WININET_CALL *INTERNET_STATUS_CALLBACK)(HINTERNET hInternet, DWORD_PTR dwContext,
                                                     DWORD dwInternetStatus,
                                                     LPVOID lpvStatusInformation,
                                                     DWORD dwStatusInformationLength);

#define INTERNET_INVALID_STATUS_CALLBACK ((INTERNET_STATUS_CALLBACK)(intptr_t)-1)

#define INTERNET_OPEN_TYPE_PRECONFIG 0
#define INTERNET_OPEN_TYPE_DIRECT 1
#define INTERNET_OPEN_TYPE_PROXY 3
#define INTERNET_FLAG_ASYNC 0x10000000u
#define INTERNET_FLAG_RELOAD 0x80000000u
#define INTERNET_SERVICE_FTP 1
#define INTERNET_DEFAULT_FTP_PORT 21
#define FTP_TRANSFER_TYPE_ASCII 1
#define FTP_TRANSFER_TYPE_BINARY 2
#define FILE_ATTRIBUTE_NORMAL 0x80

#define INTERNET_STATUS_RESPONSE_RECEIVED 41
#define INTERNET_STATUS_REQUEST_COMPLETE 100

#define ERROR_PATH_NOT_FOUND 3
#define ERROR_NO_MORE_FILES 18
#define ERROR_ACCESS_DENIED 5
#define ERROR_INVALID_HANDLE 6
#define ERROR_NOT_ENOUGH_MEMORY 8
#define ERROR_WRITE_FAULT 29
#define ERROR_FILE_EXISTS 80
#define ERROR_INVALID_PARAMETER 87
#define ERROR_DISK_FULL 112
#define ERROR_IO_PENDING 997
#define ERROR_INTERNET_TIMEOUT 12002
#define ERROR_INTERNET_EXTENDED_ERROR 12003
#define ERROR_INTERNET_INTERNAL_ERROR 12004
#define ERROR_INTERNET_INVALID_URL 12005
#define ERROR_INTERNET_UNRECOGNIZED_SCHEME 12006
#define ERROR_INTERNET_NAME_NOT_RESOLVED 12007
#define ERROR_INTERNET_INCORRECT_PASSWORD 12014
#define ERROR_INTERNET_OPERATION_CANCELLED 12017
#define ERROR_INTERNET_INCORRECT_HANDLE_TYPE 12018
#define ERROR_INTERNET_ITEM_NOT_FOUND 12028
#define ERROR_INTERNET_CANNOT_CONNECT 12029
#define ERROR_INTERNET_CONNECTION_ABORTED 12030
#define ERROR_INTERNET_SEC_CERT_CN_INVALID 12038
#define ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR 12040
#define ERROR_INTERNET_INVALID_CA 12045
#define ERROR_FTP_TRANSFER_IN_PROGRESS 12110
#define ERROR_HTTP_INVALID_SERVER_RESPONSE 12152
#define ERROR_HTTP_REDIRECT_FAILED 12156
#define ERROR_INTERNET_SECURITY_CHANNEL_ERROR 12157

#define MAX_PATH 260

typedef struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
} FILETIME;

typedef struct WIN32_FIND_DATAA {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwReserved0;
  DWORD dwReserved1;
  char cFileName[MAX_PATH];
  char cAlternateFileName[14];
} WIN32_FIND_DATAA, *LPWIN32_FIND_DATAA;

#if defined(STANVEX_WININET_BUILDING)
#define WININET_API __attribute__((visibility("default")))
#else
#define WININET_API
#endif

WININET_API HINTERNET WININET_CALL InternetOpenA(const char *lpszAgent, DWORD dwAccessType,
                                                 const char *lpszProxy, const char *lpszProxyBypass,
                                                 DWORD dwFlags);
WININET_API HINTERNET WININET_CALL InternetConnectA(HINTERNET hInternet, const char *lpszServerName,
                                                    INTERNET_PORT nServerPort,
                                                    const char *lpszUserName,
                                                    const char *lpszPassword, DWORD dwService,
                                                    DWORD dwFlags, DWORD_PTR dwContext);
WININET_API BOOL WININET_CALL FtpGetFileA(HINTERNET hConnect, const char *lpszRemoteFile,
                                          const char *lpszNewFile, BOOL fFailIfExists,
                                          DWORD dwFlagsAndAttributes, DWORD dwFlags,
                                          DWORD_PTR dwContext);
WININET_API HINTERNET WININET_CALL FtpFindFirstFileA(HINTERNET hConnect,
                                                     const char *lpszSearchFile,
                                                     LPWIN32_FIND_DATAA lpFindFileData,
                                                     DWORD dwFlags, DWORD_PTR dwContext);
WININET_API BOOL WININET_CALL InternetCloseHandle(HINTERNET hInternet);
WININET_API INTERNET_STATUS_CALLBACK WININET_CALL
InternetSetStatusCallback(HINTERNET hInternet, INTERNET_STATUS_CALLBACK lpfnInternetCallback);

#ifdef __cplusplus
}
#endif

#endif /* _WIN32 */

/* Causes our library reports beyond those of the system's wininet (the
 * Windows values; older headers may lack some). */
#ifndef ERROR_FILE_TOO_LARGE
#define ERROR_FILE_TOO_LARGE 223
#endif
#ifndef ERROR_BAD_CONFIGURATION
#define ERROR_BAD_CONFIGURATION 1610
#endif
#ifndef ERROR_HTTP_INVALID_HEADER
#define ERROR_HTTP_INVALID_HEADER 12153
#endif
#ifndef ERROR_HTTP_REDIRECT_NEEDS_CONFIRMATION
#define ERROR_HTTP_REDIRECT_NEEDS_CONFIRMATION 12168
#endif

/* Our library's bit of InternetConnectA's dwFlags: the password is a bearer
 * token (see above). No flag of the system's wininet uses this bit. */
#define STANVEX_FLAG_BEARER_TOKEN 0x00000004u

/* FtpFindFirstFileA's size of a file whose size the server did not tell. */
#define STANVEX_SIZE_UNKNOWN 0xFFFFFFFFu

/* Function pointer types of the five entry points and the optional
 * FtpFindFirstFileA, for run-time binding. */
typedef HINTERNET(WININET_CALL *InternetOpenA_fn)(const char *, DWORD, const char *, const char *,
                                                  DWORD);
typedef HINTERNET(WININET_CALL *InternetConnectA_fn)(HINTERNET, const char *, INTERNET_PORT,
                                                     const char *, const char *, DWORD, DWORD,
                                                     DWORD_PTR);
typedef BOOL(WININET_CALL *FtpGetFileA_fn)(HINTERNET, const char *, const char *, BOOL, DWORD,
                                           DWORD, DWORD_PTR);
typedef HINTERNET(WININET_CALL *FtpFindFirstFileA_fn)(HINTERNET, const char *,
                                                      WIN32_FIND_DATAA *, DWORD, DWORD_PTR);
typedef BOOL(WININET_CALL *InternetCloseHandle_fn)(HINTERNET);
typedef INTERNET_STATUS_CALLBACK(WININET_CALL *InternetSetStatusCallback_fn)(
    HINTERNET, INTERNET_STATUS_CALLBACK);

#endif /* STANVEX_FORMATS_WININET_API_H */
