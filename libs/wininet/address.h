// Server addresses, remote URLs and the gateway setting of a session.
#ifndef STANVEX_WININET_ADDRESS_H
#define STANVEX_WININET_ADDRESS_H

#include <cstdint>
#include <string>

namespace stanvex::wininet {

enum class Scheme { kFtp, kFtps, kHttps, kFile };

struct ServerAddress {
  Scheme scheme = Scheme::kFtp;
  // The URL that remote paths are appended to, with no trailing slash:
  // "ftp://host:21", "ftp://host/base" (also for ftps, which adds TLS),
  // "https://host/base", "file:///dir".
  std::string base;
  // True for a bare host or host:port: remote paths then reach the server as
  // given (absolute when they begin with '/').
  bool bare = true;
};

// Parses a server name as InternetConnectA receives it. port is used for a
// bare host without ":port" (0 means 21). Returns 0 and fills address, or the
// Windows error code of a malformed address (ERROR_INTERNET_INVALID_URL,
// ERROR_INTERNET_UNRECOGNIZED_SCHEME).
uint32_t ParseServerAddress(const char* server, uint16_t port, ServerAddress* address);

// The URL of remotePath on address; characters outside the unreserved set
// and '/' are percent-encoded.
std::string RemoteUrl(const ServerAddress& address, const char* remotePath);

// The gateway of a proxy list ("ftp-gw", "ftp=gw:2121 http=other") that
// applies to FTP, as "http://host:port", or "" when the list names none or
// its host does not resolve. A host resolves when it is a numeric address or
// is listed in hostsFile; the name service is not asked, so an unknown name
// never causes traffic to a resolver.
std::string GatewayProxy(const char* proxyList, const char* hostsFile = "/etc/hosts");

}  // namespace stanvex::wininet

#endif  // STANVEX_WININET_ADDRESS_H
