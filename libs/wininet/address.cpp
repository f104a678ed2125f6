#include "address.h"

#include <strings.h>

#include <cctype>
#include <cstdio>
#include <cstring>

#include "platform_shim.h"
#include "wininet_api.h"

namespace stanvex::wininet {
namespace {

constexpr size_t kMaxAddress = 1024;

bool IsHostChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.' || c == '_';
}

// Checks "host" or "host:port" in text[0, length) and splits it. The port
// must be 1..65535.
bool SplitHostPort(const char* text, size_t length, std::string* host, long* port) {
  size_t i = 0;
  while (i < length && IsHostChar(text[i])) ++i;
  if (i == 0) return false;
  host->assign(text, i);
  *port = 0;
  if (i == length) return true;
  if (text[i] != ':' || i + 1 == length) return false;
  long value = 0;
  for (size_t j = i + 1; j < length; ++j) {
    if (!std::isdigit(static_cast<unsigned char>(text[j]))) return false;
    value = value * 10 + (text[j] - '0');
    if (value > 65535) return false;
  }
  if (value == 0) return false;
  *port = value;
  return true;
}

bool StartsWithNoCase(const char* text, const char* prefix) {
  return strncasecmp(text, prefix, std::strlen(prefix)) == 0;
}

}  // namespace

uint32_t ParseServerAddress(const char* server, uint16_t port, ServerAddress* address) {
  if (server == nullptr || server[0] == '\0') return ERROR_INTERNET_INVALID_URL;
  size_t length = strnlen(server, kMaxAddress);
  if (length == kMaxAddress) return ERROR_INTERNET_INVALID_URL;
  while (length > 0 && server[length - 1] == '/') --length;

  const char* schemeEnd = std::strstr(server, "://");
  if (schemeEnd == nullptr) {
    std::string host;
    long explicitPort = 0;
    if (!SplitHostPort(server, length, &host, &explicitPort)) return ERROR_INTERNET_INVALID_URL;
    long effective =
        explicitPort != 0 ? explicitPort : (port != 0 ? port : INTERNET_DEFAULT_FTP_PORT);
    address->scheme = Scheme::kFtp;
    address->bare = true;
    address->base = "ftp://" + host + ":" + std::to_string(effective);
    return 0;
  }

  struct Known {
    const char* prefix;
    Scheme scheme;
    const char* urlScheme;
  };
  static const Known kKnown[] = {{"ftp://", Scheme::kFtp, "ftp://"},
                                 {"ftps://", Scheme::kFtps, "ftp://"},
                                 {"https://", Scheme::kHttps, "https://"},
                                 {"file://", Scheme::kFile, "file://"}};
  for (const Known& known : kKnown) {
    if (!StartsWithNoCase(server, known.prefix)) continue;
    size_t prefixLength = std::strlen(known.prefix);
    const char* rest = server + prefixLength;
    size_t restLength = length > prefixLength ? length - prefixLength : 0;
    if (known.scheme != Scheme::kFile) {
      // The authority (host[:port]) must be well formed; the base path after
      // it is kept as given.
      size_t authority = 0;
      while (authority < restLength && rest[authority] != '/') ++authority;
      std::string host;
      long explicitPort = 0;
      if (!SplitHostPort(rest, authority, &host, &explicitPort)) return ERROR_INTERNET_INVALID_URL;
    } else if (restLength == 0 || rest[0] != '/') {
      // Only local paths: file:///dir.
      return ERROR_INTERNET_INVALID_URL;
    }
    address->scheme = known.scheme;
    address->bare = false;
    address->base = std::string(known.urlScheme) + std::string(rest, restLength);
    return 0;
  }
  return ERROR_INTERNET_UNRECOGNIZED_SCHEME;
}

std::string RemoteUrl(const ServerAddress& address, const char* remotePath) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string url = address.base;
  if (remotePath == nullptr) remotePath = "";
  // A bare host keeps the path exactly: "ftp://h:21/" + "/pub/x" makes the
  // URL path "/pub/x", which is sent to the server as an absolute path.
  if (address.bare || remotePath[0] != '/') url += '/';
  for (const char* p = remotePath; *p != '\0'; ++p) {
    unsigned char c = static_cast<unsigned char>(*p);
    if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~' || c == '/') {
      url += static_cast<char>(c);
    } else {
      url += '%';
      url += kHex[c >> 4];
      url += kHex[c & 15];
    }
  }
  return url;
}

namespace {

bool ListedInHostsFile(const std::string& host, const char* hostsFile) {
  FILE* file = std::fopen(hostsFile, "r");
  if (file == nullptr) return false;
  char line[512];
  bool found = false;
  while (!found && std::fgets(line, sizeof line, file) != nullptr) {
    char* hash = std::strchr(line, '#');
    if (hash != nullptr) *hash = '\0';
    char* save = nullptr;
    char* token = strtok_r(line, " \t\r\n", &save);  // the address
    if (token == nullptr) continue;
    while ((token = strtok_r(nullptr, " \t\r\n", &save)) != nullptr) {
      if (strcasecmp(token, host.c_str()) == 0) {
        found = true;
        break;
      }
    }
  }
  std::fclose(file);
  return found;
}

bool Resolves(const std::string& host, const char* hostsFile) {
  unsigned char buffer[16];
  if (inet_pton(AF_INET, host.c_str(), buffer) == 1) return true;
  if (inet_pton(AF_INET6, host.c_str(), buffer) == 1) return true;
  return ListedInHostsFile(host, hostsFile);
}

}  // namespace

std::string GatewayProxy(const char* proxyList, const char* hostsFile) {
  if (proxyList == nullptr) return "";
  std::string list(proxyList, strnlen(proxyList, kMaxAddress));
  size_t position = 0;
  while (position < list.size()) {
    size_t end = list.find_first_of(" ;\t", position);
    if (end == std::string::npos) end = list.size();
    std::string entry = list.substr(position, end - position);
    position = end + 1;
    if (entry.empty()) continue;
    size_t equals = entry.find('=');
    if (equals != std::string::npos) {
      if (strcasecmp(entry.substr(0, equals).c_str(), "ftp") != 0) continue;
      entry = entry.substr(equals + 1);
    }
    std::string host;
    long port = 0;
    if (!SplitHostPort(entry.c_str(), entry.size(), &host, &port)) continue;
    if (!Resolves(host, hostsFile)) return "";
    return "http://" + host + ":" + std::to_string(port != 0 ? port : 80);
  }
  return "";
}

}  // namespace stanvex::wininet
