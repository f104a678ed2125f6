// Looks a host up in an arbitrary netrc text. The input is laid out as
//   1 byte    length of the host name (at most 63)
//   n bytes   the host name
//   the rest  the netrc text (not terminated)
#include <cstddef>
#include <cstdint>
#include <string>

#include "netrc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  size_t host_length = data[0] & 63u;
  if (size < 1 + host_length) return 0;
  std::string host(reinterpret_cast<const char*>(data + 1), host_length);
  const char* text = reinterpret_cast<const char*>(data + 1 + host_length);
  stanvex::wininet::NetrcLogin login;
  if (stanvex::wininet::FindNetrcLogin(text, size - 1 - host_length, host, &login) ==
      stanvex::wininet::NetrcLookup::kFound) {
    // A login found is a copy of bytes of the text.
    if (login.login.size() > size || login.password.size() > size) __builtin_trap();
  }
  return 0;
}
