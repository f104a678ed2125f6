// Bearer tokens (STANVEX_FLAG_BEARER_TOKEN of InternetConnectA): which
// request of a connection carries one, and which token.
#ifndef STANVEX_WININET_BEARER_TOKEN_H
#define STANVEX_WININET_BEARER_TOKEN_H

#include <string>

#include "handles.h"
#include "netrc.h"

namespace stanvex::wininet {

// Records the flag on a connection just made from InternetConnectA's
// arguments. Over HTTPS the password becomes the token; over any other
// scheme the password is dropped (the connection logs in anonymously), so
// that a token never goes out in the clear.
void TakeBearerFlag(DWORD flags, ConnectionObject* connection);

// The token for a request of connection (a bearer one) to url: its password
// when url is on the connection's own host and port (the password of the
// netrc entry of that host when none was given). kNoEntry with an empty
// token for any other host, when there is none, or when it holds a control
// character (a line break would end its header line); kUnusableEntry or
// kFileTooLarge when the netrc file cannot give it.
NetrcLookup BearerTokenFor(const ConnectionObject& connection, const std::string& url,
                           std::string* token);

// True when url is on the host and port of the connection's own address.
bool IsOwnHost(const ConnectionObject& connection, const std::string& url);

// True when connection is a bearer one and url is on its own host name at
// another port: no login goes there (the host's netrc entry holds the token,
// which is for the own port alone).
bool TokenHostOnAnotherPort(const ConnectionObject& connection, const std::string& url);

}  // namespace stanvex::wininet

#endif  // STANVEX_WININET_BEARER_TOKEN_H
