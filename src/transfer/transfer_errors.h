// The texts of failed connections and transfers whose cause the internet
// library reports in its completion's error code: a login refused, access
// denied, a certificate not trusted or for another host, a web page where a
// file was asked, a stalled or cut transfer, a server that cannot be
// reached, a file missing on an HTTPS server, and the refusals of our own
// internet library (an oversize response header, a redirect to an address
// with a login, a netrc file that cannot give a login).
//
// Threads: the requesting thread only.
#ifndef STANVEX_TRANSFER_TRANSFER_ERRORS_H
#define STANVEX_TRANSFER_TRANSFER_ERRORS_H

#include <cstddef>
#include <cstdint>

#include "base/result.h"
#include "transfer/internet_binding.h"

namespace stanvex {

// address with any login written into it ("user:password@") left out, for
// status texts; at most size-1 characters.
void AddressWithoutLogin(const char* address, char* out, size_t size);

// The host name alone of a server address: no scheme, login, port or path.
void HostOfAddress(const char* address, char* out, size_t size);

// Remembers the server a connection leads to, so that a failed transfer's
// text can name it, and whether it was given a bearer token (a refusal then
// says that a token is needed). A few connections are remembered; the
// oldest is forgotten first.
void RememberConnectionHost(HINTERNET connection, const char* address, bool bearer = false);

// The failure (no heading) of a connection to address that failed with
// error: the error's own text, else the general connection text.
Result ConnectionFailure(uint32_t error, const char* address);

// True for the answers of a server that wants a bearer token it did not get
// or did not accept: 401, 403, a login page, a redirect to plain HTTP (a
// login page elsewhere).
bool IsTokenRefusal(uint32_t error);

// The failure (no heading) of a transfer into localPath over connection
// that failed with error: the error's own text, else that of a file missing
// on an FTP server, a full disk or any other cause.
Result TransferFailure(uint32_t error, HINTERNET connection, const char* localPath);

}  // namespace stanvex

#endif  // STANVEX_TRANSFER_TRANSFER_ERRORS_H
