// The login each address of a service is given: the request's login goes to
// the service's first address only (mirrors and other organisations'
// servers log in anonymously), and a service whose logins are bearer tokens
// ("auth: bearer") sends its token over HTTPS only.
#ifndef STANVEX_TRANSFER_SERVICE_LOGIN_H
#define STANVEX_TRANSFER_SERVICE_LOGIN_H

#include <cstddef>
#include <cstdint>

#include "stanvex.h"
#include "wininet_api.h"

namespace stanvex {

struct AddressLogin {
  const char* user = nullptr;      // null: anonymous
  const char* password = nullptr;  // null: anonymous, or with a bearer flag the netrc token
  DWORD flags = 0;                 // InternetConnectA's: STANVEX_FLAG_BEARER_TOKEN or 0
  // A token was given for this address, which is not https://: it is not
  // sent (the caller says so; WithheldTokenText).
  bool tokenWithheld = false;
};

// The login for address index of service (an element of the loaded
// catalogue) from the request's user and password (null for none). The
// texts returned are the caller's own.
AddressLogin LoginForAddress(const ServiceRecord* service, int32_t index, const char* user,
                             const char* password);

// "The token of service ID goes over HTTPS only: it is not sent to ADDRESS"
// (the address without any login written into it), into out.
void WithheldTokenText(const ServiceRecord* service, const char* address, char* out, size_t size);

// The advice that ends the text of a server that wants a token: where one
// comes from and how it is given.
extern const char kTokenAdvice[];

}  // namespace stanvex

#endif  // STANVEX_TRANSFER_SERVICE_LOGIN_H
