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
  char* host_part = nullptr;
  char* port_part = nullptr;
  bool ok = curl_url_set(parsed, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK &&
            curl_url_get(parsed, CURLUPART_HOST, &host_part, 0) == CURLUE_OK &&
            curl_url_get(parsed, CURLUPART_PORT, &port_part, CURLU_DEFAULT_PORT) == CURLUE_OK;
  if (ok) {
    *host = host_part;
    *port = port_part;
    for (char& c : *host) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  }
  curl_free(host_part);
  curl_free(port_part);
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
  connection->password_given = false;
}

bool IsOwnHost(const ConnectionObject& connection, const std::string& url) {
  std::string host, port, own_host, own_port;
  return HostAndPort(url, &host, &port) && HostAndPort(connection.address.base, &own_host, &own_port) &&
         host == own_host && port == own_port;
}

NetrcLookup BearerTokenFor(const ConnectionObject& connection, const std::string& url,
                           std::string* token) {
  token->clear();
  if (!connection.bearer || !IsOwnHost(connection, url)) return NetrcLookup::kNoEntry;
  if (connection.password_given) {
    *token = connection.password;
    return token->empty() ? NetrcLookup::kNoEntry : NetrcLookup::kFound;
  }
  std::string host, port;
  HostAndPort(url, &host, &port);
  NetrcLogin login;
  NetrcLookup lookup = LookupNetrc(host, &login);
  if (lookup == NetrcLookup::kFound) *token = login.password;
  if (lookup == NetrcLookup::kFound && token->empty()) return NetrcLookup::kNoEntry;
  return lookup;
}

}  // namespace stanvex::wininet
