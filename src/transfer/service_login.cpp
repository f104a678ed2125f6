#include "transfer/service_login.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "base/text.h"
#include "catalogue/catalogue.h"
#include "transfer/transfer_errors.h"

namespace stanvex {
namespace {

bool IsHttps(const char* address) {
  static const char kScheme[] = "https://";
  for (size_t i = 0; kScheme[i] != '\0'; ++i)
    if (address[i] == '\0' ||
        std::tolower(static_cast<unsigned char>(address[i])) != kScheme[i])
      return false;
  return true;
}

}  // namespace

// EarthScope's command-line tool (package earthscope-cli, command es) logs in
// with "es login" and prints the access token with "es user get-access-token",
// refreshing it when it is near its end (https://pypi.org/project/earthscope-cli,
// https://docs.earthscope.org/projects/CLI/en/stable/content/user.html).
const char kTokenAdvice[] =
    "give a valid bearer token as the password (stanvex: --password-file or STANVEX_PASSWORD; "
    "or the password of the host's netrc entry). EarthScope's tokens come from its es command "
    "(pip install earthscope-cli): es login, then es user get-access-token; tokens expire, run "
    "it again for a new one";

AddressLogin LoginForAddress(const ServiceRecord* service, int32_t index, const char* user,
                             const char* password) {
  AddressLogin login;
  if (!ServiceUsesBearerToken(service)) {
    if (index == 0) {
      login.user = user;
      login.password = password;
    }
    return login;
  }
  // Every address of a service of tokens is flagged: over HTTPS the library
  // sends the token (the request's, else the host's netrc entry) to that
  // host alone; over any other scheme it logs in anonymously and never takes
  // the netrc entry, whose password is the token.
  login.flags = STANVEX_FLAG_BEARER_TOKEN;
  const char* address = ServiceAddress(service, index);
  const bool https = address != nullptr && IsHttps(address);
  if (index == 0 && https) login.password = password;  // a token needs no user name
  login.tokenWithheld = index == 0 && !https && password != nullptr;
  return login;
}

void WithheldTokenText(const ServiceRecord* service, const char* address, char* out,
                       size_t size) {
  char shown[kTextSize];
  AddressWithoutLogin(address, shown, sizeof shown);
  char id[sizeof service->ServId + 1] = {};
  std::memcpy(id, service->ServId, strnlen(service->ServId, sizeof service->ServId));
  std::snprintf(out, size, "The token of service %s goes over HTTPS only: it is not sent to %s",
                id, shown);
}

}  // namespace stanvex
