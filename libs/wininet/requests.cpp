#include "requests.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <strings.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "bearer_token.h"
#include "netrc.h"
#include "transfer_settings.h"

#include "platform_shim.h"

namespace stanvex::wininet {
namespace {

// The core gives a connection 90 seconds; our own limits are longer so that
// the caller's time-out is the one that applies.
constexpr long kConnectTimeoutSeconds = 120;
constexpr long kResponseTimeoutSeconds = 120;
// Redirects an HTTPS request may take (a single sign-on login takes three).
constexpr int kMaxRedirects = 8;
// The start of a body that is held back until it is known not to be a web
// page; a body that is still undecided after this many bytes is data.
constexpr size_t kSniffBytes = 512;

struct TransferContext {
  ConnectionObject* connection = nullptr;
  CURL* easy = nullptr;
  DWORD_PTR context = 0;
  bool reportReplies = false;  // count server replies (login)
  int fd = -1;
  int writeErrno = 0;
  // HTTPS: bodies of answers other than 2xx (redirects) are dropped, and the
  // first bytes of the file are checked for a web page before any is written.
  bool https = false;
  bool sniffing = false;
  std::string held;
  bool webPage = false;
  bool bodyStarted = false;  // a byte of a 2xx answer's body has arrived
  // A cause found by this library rather than by libcurl (0 when none).
  DWORD ownError = 0;
  // libcurl's own account of a failure (CURLOPT_ERRORBUFFER).
  char reason[CURL_ERROR_SIZE] = {};
};

bool EqualNoCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

// The host and port of a URL; false when it does not parse.
bool UrlHostPort(const std::string& url, std::string* host, std::string* port) {
  CURLU* parsed = curl_url();
  if (parsed == nullptr) return false;
  bool ok = false;
  char* hostPart = nullptr;
  char* portPart = nullptr;
  if (curl_url_set(parsed, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK &&
      curl_url_get(parsed, CURLUPART_HOST, &hostPart, 0) == CURLUE_OK &&
      curl_url_get(parsed, CURLUPART_PORT, &portPart, CURLU_DEFAULT_PORT) == CURLUE_OK) {
    *host = hostPart;
    *port = portPart;
    ok = true;
  }
  curl_free(hostPart);
  curl_free(portPart);
  curl_url_cleanup(parsed);
  return ok;
}

// reference resolved against base (RFC 3986, section 5); "" when either
// does not parse.
std::string ResolveUrl(const std::string& base, const char* reference) {
  CURLU* parsed = curl_url();
  if (parsed == nullptr) return "";
  std::string resolved;
  char* text = nullptr;
  if (curl_url_set(parsed, CURLUPART_URL, base.c_str(), 0) == CURLUE_OK &&
      curl_url_set(parsed, CURLUPART_URL, reference, 0) == CURLUE_OK &&
      curl_url_get(parsed, CURLUPART_URL, &text, 0) == CURLUE_OK)
    resolved = text;
  curl_free(text);
  curl_url_cleanup(parsed);
  return resolved;
}

// True when url carries a user name or password.
bool UrlHasLogin(const char* url) {
  CURLU* parsed = curl_url();
  if (parsed == nullptr) return true;
  char* user = nullptr;
  char* password = nullptr;
  bool login = curl_url_set(parsed, CURLUPART_URL, url, 0) != CURLUE_OK ||
               curl_url_get(parsed, CURLUPART_USER, &user, 0) == CURLUE_OK ||
               curl_url_get(parsed, CURLUPART_PASSWORD, &password, 0) == CURLUE_OK;
  curl_free(user);
  curl_free(password);
  curl_url_cleanup(parsed);
  return login;
}

// True when the connection was given a real account (not anonymous).
bool HasOwnAccount(const ConnectionObject& connection) {
  return !connection.user.empty() && !EqualNoCase(connection.user, "anonymous");
}

// The login for a request to url: the connection's own account on its own
// host and port only; otherwise the netrc entry of the request's host.
NetrcLookup LoginFor(const ConnectionObject& connection, const std::string& url,
                     NetrcLogin* login) {
  std::string host, port;
  if (!UrlHostPort(url, &host, &port)) return NetrcLookup::kNoEntry;
  if (HasOwnAccount(connection)) {
    std::string ownHost, ownPort;
    if (UrlHostPort(connection.address.base, &ownHost, &ownPort) && EqualNoCase(host, ownHost) &&
        port == ownPort) {
      login->login = connection.user;
      login->password = connection.password;
      return NetrcLookup::kFound;
    }
  }
  // An entry with a password and no login names a token, not an account.
  NetrcLookup lookup = LookupNetrc(host, login);
  return lookup == NetrcLookup::kFound && login->login.empty() ? NetrcLookup::kNoEntry : lookup;
}

// The Windows error code of a netrc file that cannot give a login: the
// request fails rather than go out without the login the file was meant to
// give (0 when the lookup may go on).
DWORD NetrcFailure(NetrcLookup lookup) {
  switch (lookup) {
    case NetrcLookup::kUnusableEntry:
      return ERROR_BAD_CONFIGURATION;
    case NetrcLookup::kFileTooLarge:
      return ERROR_FILE_TOO_LARGE;
    default:
      return 0;
  }
}

int AbortWhenCancelled(void* data, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  auto* transfer = static_cast<TransferContext*>(data);
  return transfer->connection->cancelled ? 1 : 0;
}

size_t OnReply(char*, size_t size, size_t count, void* data) {
  auto* transfer = static_cast<TransferContext*>(data);
  size_t bytes = size * count;
  if (transfer->reportReplies && bytes > 0) {
    DWORD received = static_cast<DWORD>(bytes);
    Notify(*transfer->connection, transfer->context, INTERNET_STATUS_RESPONSE_RECEIVED, &received,
           sizeof received);
  }
  return bytes;
}

bool WriteAll(TransferContext* transfer, const char* buffer, size_t bytes) {
  size_t written = 0;
  while (written < bytes) {
    ssize_t n = ::write(transfer->fd, buffer + written, bytes - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      transfer->writeErrno = n < 0 ? errno : ENOSPC;
      return false;
    }
    written += static_cast<size_t>(n);
  }
  return true;
}

// Decides on the held start of an HTTPS body: false when it is a web page
// (the transfer then ends) or cannot be written. atEnd: the body is complete.
bool ReleaseHeld(TransferContext* transfer, bool atEnd) {
  BodyStart kind = ClassifyBodyStart(transfer->held.data(), transfer->held.size());
  if (kind == BodyStart::kWebPage) {
    transfer->webPage = true;
    return false;
  }
  if (kind == BodyStart::kUndecided && !atEnd && transfer->held.size() < kSniffBytes) return true;
  transfer->sniffing = false;
  bool written = WriteAll(transfer, transfer->held.data(), transfer->held.size());
  transfer->held.clear();
  return written;
}

size_t OnData(char* buffer, size_t size, size_t count, void* data) {
  auto* transfer = static_cast<TransferContext*>(data);
  size_t bytes = size * count;
  if (transfer->https) {
    long status = 0;
    curl_easy_getinfo(transfer->easy, CURLINFO_RESPONSE_CODE, &status);
    if (status < 200 || status > 299) return bytes;  // a redirect's own text
    transfer->bodyStarted = true;
  }
  if (transfer->sniffing) {
    transfer->held.append(buffer, bytes);
    if (!ReleaseHeld(transfer, false)) return 0;
  } else if (!WriteAll(transfer, buffer, bytes)) {
    return 0;  // makes libcurl end the transfer with CURLE_WRITE_ERROR
  }
  if (bytes > 0) {
    DWORD received = static_cast<DWORD>(bytes);
    Notify(*transfer->connection, transfer->context, INTERNET_STATUS_RESPONSE_RECEIVED, &received,
           sizeof received);
  }
  return bytes;
}

// A request without a body has none to keep (a redirect's text among them).
size_t DiscardData(char*, size_t size, size_t count, void*) { return size * count; }

// Sets the options every request shares. Returns 0, or the error code of a
// login the netrc file cannot give (nothing may then be sent).
DWORD ApplyCommonOptions(CURL* easy, ConnectionObject& connection, TransferContext* transfer) {
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, transfer->reason);
  curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, AbortWhenCancelled);
  curl_easy_setopt(easy, CURLOPT_XFERINFODATA, transfer);
  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, OnReply);
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, transfer);
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
  curl_easy_setopt(easy, CURLOPT_SERVER_RESPONSE_TIMEOUT, kResponseTimeoutSeconds);
  StallLimit stall = StallLimitFromEnvironment();
  curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, stall.bytesPerSecond);
  curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, stall.seconds);
  ApplyTrustSettings(easy);
  // Logins are chosen here, per host; libcurl's own netrc reading is off.
  curl_easy_setopt(easy, CURLOPT_NETRC, static_cast<long>(CURL_NETRC_IGNORED));
  // An empty proxy also keeps libcurl from taking one from the environment.
  curl_easy_setopt(easy, CURLOPT_PROXY, connection.proxy.c_str());
  ApplyPlatformTlsOptions(easy);
  switch (connection.address.scheme) {
    case Scheme::kFtp:
    case Scheme::kFtps: {
      curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "ftp");
      NetrcLogin login;
      NetrcLookup lookup = HasOwnAccount(connection) || connection.anonymousOnly
                               ? NetrcLookup::kNoEntry
                               : LoginFor(connection, connection.address.base, &login);
      if (DWORD failure = NetrcFailure(lookup)) return failure;
      if (lookup == NetrcLookup::kFound) {
        curl_easy_setopt(easy, CURLOPT_USERNAME, login.login.c_str());
        curl_easy_setopt(easy, CURLOPT_PASSWORD, login.password.c_str());
      } else {
        curl_easy_setopt(easy, CURLOPT_USERNAME, connection.user.c_str());
        curl_easy_setopt(easy, CURLOPT_PASSWORD, connection.password.c_str());
      }
      // One RETR with the whole path, as the path was given: a missing
      // directory then reads as a missing file (550), not as a refused CWD.
      curl_easy_setopt(easy, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_NOCWD));
      if (connection.address.scheme == Scheme::kFtps)
        curl_easy_setopt(easy, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
      break;
    }
    case Scheme::kHttps:
      curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "https");
      // An error answer is read to its end (OnData drops its text) and told
      // by its status, so the connection stays open for the next request;
      // libcurl's own failing on it would close the connection.
      curl_easy_setopt(easy, CURLOPT_FAILONERROR, 0L);
      // Redirects are followed here, one request at a time, so that each
      // host gets its own login and no other (see PerformHttps).
      curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
      curl_easy_setopt(easy, CURLOPT_UNRESTRICTED_AUTH, 0L);
      curl_easy_setopt(easy, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
      if (connection.session) {
        if (CURLSH* cookies = connection.session->SharedCookies())
          curl_easy_setopt(easy, CURLOPT_SHARE, cookies);
      }
      curl_easy_setopt(easy, CURLOPT_COOKIEFILE, "");  // the cookie engine, in memory
      break;
    case Scheme::kFile:
      curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "file");
      break;
  }
  return 0;
}

// Points the easy handle's callbacks away from a finished request's frame:
// libcurl may still read replies (QUIT) when the handle is cleaned up.
void DetachCallbacks(CURL* easy) {
  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, nullptr);
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, nullptr);
  curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, nullptr);
  curl_easy_setopt(easy, CURLOPT_XFERINFODATA, nullptr);
  curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 1L);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, nullptr);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, nullptr);
  curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, nullptr);
}

// Longest wait between two turns of a request. curl_easy_perform sometimes
// sleeps a whole second before it opens a passive FTP data connection (its
// wait has no timer for that step); turns at least this often go on at once.
constexpr long kTurnMs = 20;

CURLcode MultiFailure(CURLMcode code) {
  return code == CURLM_OUT_OF_MEMORY ? CURLE_OUT_OF_MEMORY : CURLE_FAILED_INIT;
}

// Runs easy's request to its end on the connection's multi handle, which
// keeps the connection (and the FTP login) for the next request.
CURLcode Perform(ConnectionObject& connection, CURL* easy) {
  if (connection.multi == nullptr) connection.multi = curl_multi_init();
  if (connection.multi == nullptr) return CURLE_OUT_OF_MEMORY;
  CURLM* multi = connection.multi;
  CURLMcode added = curl_multi_add_handle(multi, easy);
  if (added != CURLM_OK) return MultiFailure(added);
  CURLcode result = CURLE_GOT_NOTHING;
  for (;;) {
    int running = 0;
    CURLMcode turned = curl_multi_perform(multi, &running);
    if (turned != CURLM_OK) {
      result = MultiFailure(turned);
      break;
    }
    bool done = false;
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
      if (message->msg == CURLMSG_DONE && message->easy_handle == easy) {
        result = message->data.result;
        done = true;
      }
    }
    if (done || running == 0) break;
    CURLMcode waited = curl_multi_poll(multi, nullptr, 0, kTurnMs, nullptr);
    if (waited != CURLM_OK) {
      result = MultiFailure(waited);
      break;
    }
  }
  curl_multi_remove_handle(multi, easy);
  return result;
}

long HttpStatus(CURL* easy) {
  long status = 0;
  curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
  return status;
}

// True when libcurl refused an HTTPS answer for its response header: all
// its lines over 300 KB (a receive error, "Too large response headers") or
// one line over 100 KB (out of memory, with no text, before any byte of the
// body). From libcurl 8.6 both are CURLE_TOO_LARGE.
bool HeaderOverLimit(CURLcode code, const char* reason, bool bodyStarted) {
  constexpr int kCurlTooLarge = 100;  // CURLE_TOO_LARGE, unknown to older headers
  if (static_cast<int>(code) == kCurlTooLarge) return true;
  if (code == CURLE_OUT_OF_MEMORY) return !bodyStarted;
  return code == CURLE_RECV_ERROR && std::strstr(reason, "header") != nullptr;
}

bool StartsWithNoCase(const char* text, const char* prefix) {
  return strncasecmp(text, prefix, std::strlen(prefix)) == 0;
}

// Puts the login of one HTTPS request on easy: basic, a bearer token, or
// none (both null).
void SetRequestLogin(CURL* easy, const NetrcLogin* basic, const std::string* token) {
  curl_easy_setopt(easy, CURLOPT_USERNAME, basic != nullptr ? basic->login.c_str() : nullptr);
  curl_easy_setopt(easy, CURLOPT_PASSWORD, basic != nullptr ? basic->password.c_str() : nullptr);
  curl_easy_setopt(easy, CURLOPT_XOAUTH2_BEARER, token != nullptr ? token->c_str() : nullptr);
  curl_easy_setopt(easy, CURLOPT_HTTPAUTH,
                   static_cast<long>(token != nullptr ? CURLAUTH_BEARER : CURLAUTH_BASIC));
}

// Fetches url over HTTPS, following redirects to HTTPS addresses only. Each
// request carries the login of its own host (LoginFor, or the bearer token
// on a bearer connection's own host) and nothing else;
// cookies set on the way go back to the hosts that set them. A cause this
// library finds itself (a redirect to plain HTTP or to an address with a
// login, too many redirects, a netrc file that cannot give the next host's
// login) is left in transfer->ownError.
CURLcode PerformHttps(ConnectionObject& connection, CURL* easy, std::string url,
                      TransferContext* transfer) {
  for (int hop = 0;; ++hop) {
    // A bearer connection's own host gets its token and nothing else; every
    // other host its own login.
    NetrcLogin login;
    std::string token;
    const bool bearer = connection.bearer && IsOwnHost(connection, url);
    NetrcLookup lookup = NetrcLookup::kNoEntry;
    if (bearer)
      lookup = BearerTokenFor(connection, url, &token);
    else if (!TokenHostOnAnotherPort(connection, url))
      lookup = LoginFor(connection, url, &login);
    if (DWORD failure = NetrcFailure(lookup)) {
      transfer->ownError = failure;
      return CURLE_LOGIN_DENIED;
    }
    const bool found = lookup == NetrcLookup::kFound;
    SetRequestLogin(easy, found && !bearer ? &login : nullptr, found && bearer ? &token : nullptr);
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    CURLcode code = Perform(connection, easy);
    // The login is not kept on the handle past its request.
    SetRequestLogin(easy, nullptr, nullptr);
    long status = HttpStatus(easy);
    if (code == CURLE_OK && status >= 400) return CURLE_HTTP_RETURNED_ERROR;
    if (code != CURLE_OK || status < 300 || status > 399) return code;
    // The Location as the server sent it, resolved against the address of
    // this request (libcurl's own resolved form would carry the login).
    curl_header* header = nullptr;
    std::string location;
    if (curl_easy_header(easy, "Location", 0, CURLH_HEADER, -1, &header) == CURLHE_OK)
      location = ResolveUrl(url, header->value);
    if (location.empty()) {
      transfer->ownError = ERROR_INTERNET_EXTENDED_ERROR;
      return CURLE_HTTP_RETURNED_ERROR;
    }
    if (!StartsWithNoCase(location.c_str(), "https://")) {
      transfer->ownError = ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR;
      return CURLE_UNSUPPORTED_PROTOCOL;
    }
    // A login written into the address is refused rather than used.
    if (UrlHasLogin(location.c_str())) {
      transfer->ownError = ERROR_HTTP_REDIRECT_NEEDS_CONFIRMATION;
      return CURLE_LOGIN_DENIED;
    }
    if (hop == kMaxRedirects) {
      transfer->ownError = ERROR_HTTP_REDIRECT_FAILED;
      return CURLE_TOO_MANY_REDIRECTS;
    }
    url = location;
  }
}

}  // namespace

void Notify(ConnectionObject& connection, DWORD_PTR context, DWORD status, void* info,
            DWORD length) {
  if (connection.cancelled) return;
  INTERNET_STATUS_CALLBACK callback = connection.callback.load();
  if (callback == nullptr || callback == INTERNET_INVALID_STATUS_CALLBACK) return;
  callback(connection.handle, context, status, info, length);
}

DWORD WindowsErrorForErrno(int error) {
  switch (error) {
    case ENOSPC:
    case EFBIG:
    case EDQUOT:
      return ERROR_DISK_FULL;
    case ENOENT:
    case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
      return ERROR_ACCESS_DENIED;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    default:
      return ERROR_WRITE_FAULT;
  }
}

BodyStart ClassifyBodyStart(const char* data, size_t length) {
  static const char* const kPageStarts[] = {"<!doctype html", "<html"};
  size_t i = 0;
  if (length >= 3 && std::memcmp(data, "\xEF\xBB\xBF", 3) == 0) i = 3;  // a UTF-8 byte order mark
  while (i < length && (data[i] == ' ' || data[i] == '\t' || data[i] == '\r' || data[i] == '\n' ||
                        data[i] == '\f'))
    ++i;
  if (i == length) return BodyStart::kUndecided;
  bool undecided = false;
  for (const char* start : kPageStarts) {
    size_t wanted = std::strlen(start);
    size_t available = length - i < wanted ? length - i : wanted;
    if (strncasecmp(data + i, start, available) != 0) continue;
    if (available == wanted) return BodyStart::kWebPage;
    undecided = true;
  }
  return undecided ? BodyStart::kUndecided : BodyStart::kData;
}

DWORD WindowsErrorFor(CURLcode code, long httpStatus, int writeErrno, long verifyResult) {
  switch (code) {
    case CURLE_OK:
      return 0;
    case CURLE_REMOTE_FILE_NOT_FOUND:
    case CURLE_FILE_COULDNT_READ_FILE:
      return ERROR_INTERNET_ITEM_NOT_FOUND;
    case CURLE_HTTP_RETURNED_ERROR:
      if (httpStatus == 404 || httpStatus == 410) return ERROR_INTERNET_ITEM_NOT_FOUND;
      if (httpStatus == 401) return ERROR_INTERNET_INCORRECT_PASSWORD;
      if (httpStatus == 403) return ERROR_ACCESS_DENIED;
      return ERROR_INTERNET_EXTENDED_ERROR;
    case CURLE_WRITE_ERROR:
      return WindowsErrorForErrno(writeErrno);
    case CURLE_LOGIN_DENIED:
      return ERROR_INTERNET_INCORRECT_PASSWORD;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return ERROR_INTERNET_NAME_NOT_RESOLVED;
    case CURLE_COULDNT_CONNECT:
      return ERROR_INTERNET_CANNOT_CONNECT;
    case CURLE_OPERATION_TIMEDOUT:
      return ERROR_INTERNET_TIMEOUT;
    case CURLE_ABORTED_BY_CALLBACK:
      return ERROR_INTERNET_OPERATION_CANCELLED;
    case CURLE_PARTIAL_FILE:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_GOT_NOTHING:
      return ERROR_INTERNET_CONNECTION_ABORTED;
    case CURLE_PEER_FAILED_VERIFICATION:
      // An untrusted chain fails the handshake and leaves OpenSSL's verdict
      // (20 unknown issuer, 19 self-signed, 10 expired, ...). libcurl checks
      // the host name itself, before it reads that verdict, so a mismatch
      // leaves its "not verified yet" value 1 (or 0).
      return verifyResult > 1 ? ERROR_INTERNET_INVALID_CA : ERROR_INTERNET_SEC_CERT_CN_INVALID;
    case CURLE_SSL_CACERT_BADFILE:
      // The authorities named by SSL_CERT_FILE or CURL_CA_BUNDLE cannot be
      // read: nothing can be trusted.
      return ERROR_INTERNET_INVALID_CA;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_USE_SSL_FAILED:
      return ERROR_INTERNET_SECURITY_CHANNEL_ERROR;
    case CURLE_UNSUPPORTED_PROTOCOL:
      return ERROR_INTERNET_UNRECOGNIZED_SCHEME;
    case CURLE_URL_MALFORMAT:
      return ERROR_INTERNET_INVALID_URL;
    case CURLE_OUT_OF_MEMORY:
      return ERROR_NOT_ENOUGH_MEMORY;
    default:
      return ERROR_INTERNET_EXTENDED_ERROR;
  }
}

RequestOutcome RunConnect(ConnectionObject& connection, DWORD_PTR context) {
  RequestOutcome outcome;
  TransferContext transfer;
  transfer.connection = &connection;
  transfer.context = context;
  transfer.reportReplies = true;
  CURLcode code = CURLE_OK;
  long status = 0;
  long verify = 0;
  switch (connection.address.scheme) {
    case Scheme::kFtp:
    case Scheme::kFtps: {
      std::lock_guard<std::mutex> lock(connection.requestMutex);
      if (connection.easy == nullptr) connection.easy = curl_easy_init();
      if (connection.easy == nullptr) {
        outcome.error = ERROR_NOT_ENOUGH_MEMORY;
        return outcome;
      }
    }
      if (DWORD refused = ApplyCommonOptions(connection.easy, connection, &transfer)) {
        DetachCallbacks(connection.easy);
        outcome.error = refused;
        return outcome;
      }
      curl_easy_setopt(connection.easy, CURLOPT_URL, (connection.address.base + "/").c_str());
      curl_easy_setopt(connection.easy, CURLOPT_NOBODY, 1L);
      code = Perform(connection, connection.easy);
      verify = CertificateVerdict(connection.easy, transfer.reason);
      DetachCallbacks(connection.easy);
      break;
    case Scheme::kHttps: {
      // The connection is made by a HEAD request of the address on the
      // connection's own handles, which keep it open for the transfers that
      // follow (one TLS handshake for all of them). It carries no login, and
      // whatever the server answers, the connection stands.
      {
        std::lock_guard<std::mutex> lock(connection.requestMutex);
        if (connection.easy == nullptr) connection.easy = curl_easy_init();
        if (connection.easy == nullptr) {
          outcome.error = ERROR_NOT_ENOUGH_MEMORY;
          return outcome;
        }
      }
      ApplyCommonOptions(connection.easy, connection, &transfer);
      curl_easy_setopt(connection.easy, CURLOPT_USERNAME, nullptr);
      curl_easy_setopt(connection.easy, CURLOPT_PASSWORD, nullptr);
      curl_easy_setopt(connection.easy, CURLOPT_URL, connection.address.base.c_str());
      curl_easy_setopt(connection.easy, CURLOPT_NOBODY, 1L);
      code = Perform(connection, connection.easy);
      verify = CertificateVerdict(connection.easy, transfer.reason);
      DetachCallbacks(connection.easy);
      break;
    }
    case Scheme::kFile: {
      std::string directory =
          LocalPathOfFileUrl(connection.address.base.substr(std::string("file://").size()));
      // A folder that is not there does not come back on a second try: its
      // absence is final, as a missing file's is.
      struct stat info;
      if (::stat(directory.c_str(), &info) != 0) {
        outcome.error = errno == ENOENT || errno == ENOTDIR ? ERROR_PATH_NOT_FOUND
                                                            : ERROR_INTERNET_CANNOT_CONNECT;
        return outcome;
      }
      if (!S_ISDIR(info.st_mode)) {
        outcome.error = ERROR_PATH_NOT_FOUND;
        return outcome;
      }
      break;
    }
  }
  if (code != CURLE_OK) {
    outcome.error = WindowsErrorFor(code, status, 0, verify);
    return outcome;
  }
  outcome.result = reinterpret_cast<DWORD_PTR>(connection.handle);
  return outcome;
}

RequestOutcome RunGetFile(ConnectionObject& connection, const std::string& remotePath,
                          const std::string& localPath, bool ascii, DWORD_PTR context) {
  RequestOutcome outcome;
  TransferContext transfer;
  transfer.connection = &connection;
  transfer.context = context;
  transfer.https = connection.address.scheme == Scheme::kHttps;
  transfer.sniffing = transfer.https;

  // Written beside the target and renamed at the end, so that a transfer cut
  // short never leaves a partial file under the final name. The partial file
  // is always a new file of our own: a stale one (or a link planted under
  // its name) is removed, never followed.
  std::string partial = localPath + ".part";
  if (::unlink(partial.c_str()) != 0 && errno != ENOENT) {
    outcome.error = WindowsErrorForErrno(errno);
    return outcome;
  }
  transfer.fd = ::open(partial.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (transfer.fd < 0) {
    outcome.error = WindowsErrorForErrno(errno);
    return outcome;
  }

  if (connection.easy == nullptr) connection.easy = curl_easy_init();
  CURL* easy = connection.easy;
  transfer.easy = easy;
  CURLcode code = CURLE_OUT_OF_MEMORY;
  long status = 0;
  long verify = 0;
  if (easy != nullptr) {
    std::string url = RemoteUrl(connection.address, remotePath.c_str());
    if (DWORD refused = ApplyCommonOptions(easy, connection, &transfer)) {
      transfer.ownError = refused;
      code = CURLE_LOGIN_DENIED;
    } else {
      curl_easy_setopt(easy, CURLOPT_NOBODY, 0L);
      curl_easy_setopt(easy, CURLOPT_TRANSFERTEXT, ascii ? 1L : 0L);
      curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, OnData);
      curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer);
      if (transfer.https) {
        code = PerformHttps(connection, easy, url, &transfer);
      } else {
        curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
        code = Perform(connection, easy);
      }
      if (transfer.https && HeaderOverLimit(code, transfer.reason, transfer.bodyStarted))
        transfer.ownError = ERROR_HTTP_INVALID_HEADER;
    }
    status = HttpStatus(easy);
    verify = CertificateVerdict(easy, transfer.reason);
    DetachCallbacks(easy);
  }
  // A body shorter than the check's window is decided on what came.
  if (code == CURLE_OK && transfer.sniffing && !ReleaseHeld(&transfer, true))
    code = CURLE_WRITE_ERROR;
  if (::close(transfer.fd) != 0 && code == CURLE_OK) {
    code = CURLE_WRITE_ERROR;
    transfer.writeErrno = errno;
  }
  if (code == CURLE_OK && ReplaceFileByRename(partial.c_str(), localPath.c_str()) != 0) {
    outcome.error = WindowsErrorForErrno(errno);
    ::unlink(partial.c_str());
    return outcome;
  }
  if (code != CURLE_OK) {
    ::unlink(partial.c_str());
    if (transfer.webPage) {
      outcome.error = ERROR_HTTP_INVALID_SERVER_RESPONSE;
    } else if (transfer.ownError != 0) {
      outcome.error = transfer.ownError;
    } else {
      outcome.error = WindowsErrorFor(code, status, transfer.writeErrno, verify);
    }
    return outcome;
  }
  outcome.result = 1;
  return outcome;
}

RequestOutcome RunFindFile(ConnectionObject& connection, const std::string& remotePath,
                           long long* size, DWORD_PTR context) {
  RequestOutcome outcome;
  TransferContext transfer;
  transfer.connection = &connection;
  transfer.context = context;
  transfer.https = connection.address.scheme == Scheme::kHttps;
  *size = -1;
  if (connection.easy == nullptr) connection.easy = curl_easy_init();
  CURL* easy = connection.easy;
  if (easy == nullptr) {
    outcome.error = ERROR_NOT_ENOUGH_MEMORY;
    return outcome;
  }
  CURLcode code = CURLE_LOGIN_DENIED;
  if (DWORD refused = ApplyCommonOptions(easy, connection, &transfer)) {
    transfer.ownError = refused;
  } else {
    // libcurl's file:// and FTP requests without a body stat the file and
    // send SIZE; an HTTPS one is a HEAD.
    curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, DiscardData);
    std::string url = RemoteUrl(connection.address, remotePath.c_str());
    if (transfer.https) {
      code = PerformHttps(connection, easy, url, &transfer);
    } else {
      curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
      code = Perform(connection, easy);
    }
  }
  curl_off_t length = -1;
  curl_easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
  char* type = nullptr;
  curl_easy_getinfo(easy, CURLINFO_CONTENT_TYPE, &type);
  const bool webPage = transfer.https && code == CURLE_OK && type != nullptr &&
                        StartsWithNoCase(type, "text/html");
  const long status = HttpStatus(easy);
  const long verify = CertificateVerdict(easy, transfer.reason);
  DetachCallbacks(easy);
  curl_easy_setopt(easy, CURLOPT_NOBODY, 0L);
  if (webPage) {
    outcome.error = ERROR_HTTP_INVALID_SERVER_RESPONSE;
  } else if (code != CURLE_OK) {
    outcome.error = transfer.ownError != 0 ? transfer.ownError
                                            : WindowsErrorFor(code, status, 0, verify);
    if (outcome.error == ERROR_INTERNET_ITEM_NOT_FOUND) outcome.error = ERROR_NO_MORE_FILES;
  } else {
    *size = length;
    outcome.result = 1;
  }
  return outcome;
}

}  // namespace stanvex::wininet
