// An internet library that lacks three of the five entry points, for the
// binding's missing-entry-point path.
#include "wininet_api.h"

extern "C" __attribute__((visibility("default"))) HINTERNET InternetOpenA(const char*, DWORD,
                                                                          const char*, const char*,
                                                                          DWORD) {
  return nullptr;
}

extern "C" __attribute__((visibility("default"))) HINTERNET InternetConnectA(
    HINTERNET, const char*, INTERNET_PORT, const char*, const char*, DWORD, DWORD, DWORD_PTR) {
  return nullptr;
}
