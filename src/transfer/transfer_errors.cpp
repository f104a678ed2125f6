#include "transfer/transfer_errors.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "base/text.h"
#include "platform/platform.h"
#include "transfer/service_login.h"

namespace stanvex {
namespace {

constexpr size_t kHostSize = 128;

struct RememberedHost {
  HINTERNET connection = nullptr;
  char host[kHostSize] = {};
  bool https = false;
  bool bearer = false;
};
RememberedHost remembered[4];
size_t next_slot = 0;

// The authority of an address ("user:pw@host:21" of "ftp://user:pw@host:21/x"):
// its start and length.
void Authority(const char* address, const char** start, size_t* length) {
  const char* scheme_end = std::strstr(address, "://");
  const char* begin = scheme_end != nullptr ? scheme_end + 3 : address;
  size_t n = std::strcspn(begin, "/?#");
  *start = begin;
  *length = n;
}

bool IsHttpsAddress(const char* address) {
  static const char kScheme[] = "https://";
  if (address == nullptr) return false;
  for (size_t i = 0; kScheme[i] != '\0'; ++i)
    if (std::tolower(static_cast<unsigned char>(address[i])) != kScheme[i]) return false;
  return true;
}

bool HasLogin(const char* address) {
  if (address == nullptr) return false;
  const char* authority = nullptr;
  size_t length = 0;
  Authority(address, &authority, &length);
  return std::memchr(authority, '@', length) != nullptr;
}

// Empties out and finds the authority of address; false when there is no
// room to write into or no address.
bool StartAuthority(const char* address, char* out, size_t size, const char** authority,
                    size_t* length) {
  if (size == 0) return false;
  out[0] = '\0';
  if (address == nullptr) return false;
  Authority(address, authority, length);
  return true;
}

const RememberedHost* Remembered(HINTERNET connection) {
  if (connection == nullptr) return nullptr;
  for (const RememberedHost& entry : remembered)
    if (entry.connection == connection) return &entry;
  return nullptr;
}

const char* KnownHost(HINTERNET connection) {
  const RememberedHost* entry = Remembered(connection);
  return entry != nullptr ? entry->host : "";
}

const char* Variable(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && value[0] != '\0' ? value : nullptr;
}

// The netrc file the internet library reads: NETRC, else the one in the
// user's home folder (~/.netrc; %USERPROFILE%\_netrc on Windows).
void NetrcFileName(char* out, size_t size) {
  const bool windows = platform::PathSeparator() == '\\';
  const char* named = Variable("NETRC");
  const char* home = Variable(windows ? "USERPROFILE" : "HOME");
  if (named != nullptr) {
    CopyText(out, size, named);
  } else if (home != nullptr) {
    CopyText(out, size, home);
    AppendText(out, size, windows ? "\\_netrc" : "/.netrc");
  } else {
    CopyText(out, size, windows ? "%USERPROFILE%\\_netrc" : "~/.netrc");
  }
}

// The connection text of a cause that has none of its own.
Result GeneralConnectionFailure() {
  return Result::Failure(nullptr,
                         "Error Unable to connect to FTP Server. Server could be down or you may "
                         "not have an internet connection");
}

}  // namespace

bool IsTokenRefusal(uint32_t error) {
  return error == ERROR_INTERNET_INCORRECT_PASSWORD || error == ERROR_ACCESS_DENIED ||
         error == ERROR_HTTP_INVALID_SERVER_RESPONSE ||
         error == ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR;
}

void AddressWithoutLogin(const char* address, char* out, size_t size) {
  const char* authority = nullptr;
  size_t length = 0;
  if (!StartAuthority(address, out, size, &authority, &length)) return;
  const char* at = nullptr;
  for (size_t i = 0; i < length; ++i)
    if (authority[i] == '@') at = authority + i;
  if (at == nullptr) {
    CopyText(out, size, address);
    return;
  }
  size_t prefix = static_cast<size_t>(authority - address);
  if (prefix >= size) prefix = size - 1;
  std::memcpy(out, address, prefix);
  out[prefix] = '\0';
  AppendText(out, size, at + 1);
}

void HostOfAddress(const char* address, char* out, size_t size) {
  const char* authority = nullptr;
  size_t length = 0;
  if (!StartAuthority(address, out, size, &authority, &length)) return;
  for (size_t i = 0; i < length; ++i) {
    if (authority[i] == '@') {
      length -= i + 1;
      authority += i + 1;
      i = static_cast<size_t>(-1);
    }
  }
  size_t host_length = 0;
  while (host_length < length && authority[host_length] != ':') ++host_length;
  if (host_length >= size) host_length = size - 1;
  std::memcpy(out, authority, host_length);
  out[host_length] = '\0';
}

void RememberConnectionHost(HINTERNET connection, const char* address, bool bearer) {
  RememberedHost& entry = remembered[next_slot];
  next_slot = (next_slot + 1) % (sizeof remembered / sizeof remembered[0]);
  entry.connection = connection;
  HostOfAddress(address, entry.host, sizeof entry.host);
  entry.https = IsHttpsAddress(address);
  entry.bearer = bearer;
}

Result ConnectionFailure(uint32_t error, const char* address) {
  char host[kHostSize];
  HostOfAddress(address, host, sizeof host);
  char netrc[kTextSize];
  NetrcFileName(netrc, sizeof netrc);
  const bool windows = platform::PathSeparator() == '\\';
  switch (error) {
    case ERROR_INTERNET_INCORRECT_PASSWORD:
      return Result::Failure(
          nullptr,
          "Error the server %s refused the login. Check the user name and password (given with "
          "the request, in the catalogue or in the netrc file)",
          host);
    case ERROR_INTERNET_INVALID_CA:
      // Our library on Windows trusts the Windows root store, whatever the
      // variables name.
      if (const char* bundle = windows ? nullptr : Variable("CURL_CA_BUNDLE")) {
        return Result::Failure(
            nullptr,
            "Error the certificate of the server %s is not trusted by the authorities of "
            "CURL_CA_BUNDLE (%s), which takes precedence over SSL_CERT_FILE and SSL_CERT_DIR",
            host, bundle);
      }
      return Result::Failure(nullptr,
                             "Error the certificate of the server %s is not trusted. A private "
                             "certificate authority %s",
                             host,
                             windows ? "is trusted once it is in the Windows root certificate store"
                                     : "can be named with SSL_CERT_FILE or SSL_CERT_DIR");
    case ERROR_INTERNET_SEC_CERT_CN_INVALID:
      return Result::Failure(
          nullptr, "Error the certificate of the server %s was issued for another host name", host);
    case ERROR_INTERNET_SECURITY_CHANNEL_ERROR:
      return Result::Failure(
          nullptr,
          "Error the secure connection to the server %s failed: TLS was refused or cut short",
          host);
    case ERROR_PATH_NOT_FOUND: {
      char shown[kTextSize];
      AddressWithoutLogin(address, shown, sizeof shown);
      return Result::Failure(nullptr, "Error the folder of the address %s does not exist", shown);
    }
    case ERROR_INTERNET_UNRECOGNIZED_SCHEME: {
      char shown[kTextSize];
      AddressWithoutLogin(address, shown, sizeof shown);
      return Result::Failure(
          nullptr,
          "Error the address %s is of a kind this program does not use: give an ftp://, "
          "ftps://, https:// or file:// address, or a bare host for FTP",
          shown);
    }
    case ERROR_INTERNET_INVALID_URL:
      if (!HasLogin(address)) return GeneralConnectionFailure();
      // The address is not repeated: it carries a password.
      return Result::Failure(
          nullptr,
          "Error the server address of the service carries a login, which is never used: give "
          "the login with the request or in the netrc file");
    case ERROR_BAD_CONFIGURATION:
      return Result::Failure(
          nullptr,
          "Error the netrc file %s has an unusable entry for %s: a keyword without its value "
          "(login, password, account or macdef). Nothing was sent to the server",
          netrc, host);
    case ERROR_FILE_TOO_LARGE:
      return Result::Failure(
          nullptr,
          "Error the netrc file %s is larger than 1 MiB, the most that is read, so no login is "
          "taken from it. Nothing was sent to the server %s",
          netrc, host);
    default:
      return GeneralConnectionFailure();
  }
}

namespace {

// A transfer whose answer our internet library refused: an oversize header
// or a redirect it does not follow.
Result RefusedAnswer(uint32_t error, const char* path, const char* host) {
  switch (error) {
    case ERROR_HTTP_INVALID_HEADER:
      return Result::Failure(
          nullptr,
          "Error unable to download file %s.\n    the answer of the server %s was refused: its "
          "response header is over the size limit",
          path, host);
    case ERROR_HTTP_REDIRECT_NEEDS_CONFIRMATION:
      return Result::Failure(
          nullptr,
          "Error unable to download file %s.\n    the server %s redirected to an address with a "
          "login written into it, which this program refuses to follow",
          path, host);
    case ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR:
      return Result::Failure(
          nullptr,
          "Error unable to download file %s.\n    the server %s redirected to an address that is "
          "not HTTPS, which is never followed",
          path, host);
    default:  // ERROR_HTTP_REDIRECT_FAILED
      return Result::Failure(
          nullptr, "Error unable to download file %s.\n    the server %s redirected too many times",
          path, host);
  }
}

// A transfer for which the netrc file could give no login.
Result UnusableNetrc(uint32_t error, const char* path, const char* host) {
  char netrc[kTextSize];
  NetrcFileName(netrc, sizeof netrc);
  if (error == ERROR_BAD_CONFIGURATION)
    return Result::Failure(
        nullptr,
        "Error unable to download file %s.\n    the netrc file %s has an unusable entry for %s "
        "or a server it redirected to: a keyword without its value (login, password, account "
        "or macdef)",
        path, netrc, host);
  return Result::Failure(
      nullptr,
      "Error unable to download file %s.\n    the netrc file %s is larger than 1 MiB, the "
      "most that is read, so no login is taken from it",
      path, netrc);
}

}  // namespace

Result TransferFailure(uint32_t error, HINTERNET connection, const char* localPath) {
  const char* host = KnownHost(connection);
  const char* path = localPath != nullptr ? localPath : "";
  const RememberedHost* remembered_host = Remembered(connection);
  if (remembered_host != nullptr && remembered_host->bearer && IsTokenRefusal(error)) {
    return Result::Failure(
        nullptr,
        "Error unable to download file %s.\n    the server %s wants a token (HTTP 401 or 403, or "
        "a login page): %s",
        path, host, kTokenAdvice);
  }
  switch (error) {
    case ERROR_HTTP_INVALID_HEADER:
    case ERROR_HTTP_REDIRECT_NEEDS_CONFIRMATION:
    case ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR:
    case ERROR_HTTP_REDIRECT_FAILED:
      return RefusedAnswer(error, path, host);
    case ERROR_BAD_CONFIGURATION:
    case ERROR_FILE_TOO_LARGE:
      return UnusableNetrc(error, path, host);
    case ERROR_INTERNET_ITEM_NOT_FOUND:
      if (remembered_host == nullptr || !remembered_host->https)
        return Result::Failure(
            nullptr,
            "Error unable to download file %s.\n    the file does not exist on the FTP server",
            path);
      return Result::Failure(
          nullptr,
          "Error unable to download file %s.\n    the file does not exist on the HTTPS server %s",
          path, host);
    case ERROR_INTERNET_CONNECTION_ABORTED:
      return Result::Failure(
          nullptr,
          "Error unable to download file %s.\n    the transfer was cut: the connection to %s "
          "ended before the whole file arrived",
          path, host);
    case ERROR_HTTP_INVALID_SERVER_RESPONSE:
      return Result::Failure(
          nullptr,
          "the server answered with a web page, not the file; a login may be needed for %s", host);
    case ERROR_INTERNET_INCORRECT_PASSWORD:
      return Result::Failure(
          nullptr,
          "Error unable to download file %s.\n    the server %s refused the login (HTTP 401 or "
          "FTP 530): check the user name and password or the netrc file",
          path, host);
    case ERROR_ACCESS_DENIED:
      return Result::Failure(
          nullptr,
          "Error unable to download file %s.\n    access was denied by the server %s (HTTP 403) "
          "or to the working folder",
          path, host);
    case ERROR_INTERNET_INVALID_CA:
    case ERROR_INTERNET_SEC_CERT_CN_INVALID:
      return ConnectionFailure(error, host);
    case ERROR_INTERNET_TIMEOUT:
      return Result::Failure(
          nullptr,
          "Error unable to download file %s.\n    the transfer from %s stalled: the server sent "
          "too little for too long",
          path, host);
    case ERROR_INTERNET_CANNOT_CONNECT:
    case ERROR_INTERNET_NAME_NOT_RESOLVED:
      return Result::Failure(
          nullptr, "Error unable to download file %s.\n    the server %s could not be reached",
          path, host);
    case ERROR_DISK_FULL:
      return Result::Failure(nullptr, "Error disk full!");
    default:
      return Result::Failure(
          nullptr, "Error unable to download file %s.\n    The file may not exist for that day",
          path);
  }
}

}  // namespace stanvex
