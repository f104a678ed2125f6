#include "bearer_token.h"

#include <strings.h>

#include <curl/curl.h>

namespace stanvex::wininet {
namespace {

// The host (lower case) and port (the scheme's default when none) of url;
// false when it does not parse.
bool HostAndPort(const std::string& url, std::string* host, std::string* port) {
  CURLU* parsed = curl_url();
  if (parsed == nullptr) return false;
  char* hostPart = nullptr;
  char* portPart = nullptr;
  bool ok = curl_url_set(parsed, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK &&
            curl_url_get(parsed, CURLUPART_HOST, &hostPart, 0) == CURLUE_OK &&
            curl_url_get(parsed, CURLUPART_PORT, &portPart, CURLU_DEFAULT_PORT) == CURLUE_OK;
  if (ok) {
    *host = hostPart;
    *port = portPart;
    for (char& c : *host) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  }
  curl_free(hostPart);
  curl_free(portPart);
  curl_url_cleanup(parsed);
  return ok;
}

}  // namespace

void TakeBearerFlag(DWORD flags, ConnectionObject* connection) {
  if ((flags & STANVEX_FLAG_BEARER_TOKEN) == 0) return;
  if (connection->address.scheme == Scheme::kHttps) {
    connection->bearer = true;
    return;
  }
  connection->user = "anonymous";
  connection->password = "anonymous@";
  connection->passwordGiven = false;
  connection->anonymousOnly = true;
}

bool TokenHostOnAnotherPort(const ConnectionObject& connection, const std::string& url) {
  std::string host, port, ownHost, ownPort;
  return connection.bearer && HostAndPort(url, &host, &port) &&
         HostAndPort(connection.address.base, &ownHost, &ownPort) && host == ownHost &&
         port != ownPort;
}

bool IsOwnHost(const ConnectionObject& connection, const std::string& url) {
  std::string host, port, ownHost, ownPort;
  return HostAndPort(url, &host, &port) && HostAndPort(connection.address.base, &ownHost, &ownPort) &&
         host == ownHost && port == ownPort;
}

NetrcLookup BearerTokenFor(const ConnectionObject& connection, const std::string& url,
                           std::string* token) {
  token->clear();
  if (!connection.bearer || !IsOwnHost(connection, url)) return NetrcLookup::kNoEntry;
  NetrcLookup lookup = NetrcLookup::kFound;
  if (connection.passwordGiven) {
    *token = connection.password;
  } else {
    std::string host, port;
    HostAndPort(url, &host, &port);
    NetrcLogin login;
    lookup = LookupNetrc(host, &login);
    if (lookup == NetrcLookup::kFound) *token = login.password;
  }
  if (lookup != NetrcLookup::kFound) return lookup;
  // A token that would break its header line is not sent at all.
  if (HasControlCharacter(*token)) token->clear();
  return token->empty() ? NetrcLookup::kNoEntry : NetrcLookup::kFound;
}

}  // namespace stanvex::wininet
