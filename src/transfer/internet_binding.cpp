#include "transfer/internet_binding.h"

#include <cctype>
#include <cstddef>
#include <cstring>

#include "base/last_error.h"
#include "base/text.h"
#include "platform/loaded_library.h"

namespace stanvex {

InternetBinding Internet;
TransferState Transfer;

namespace {

// The five entry points, in binding order: the first missing one gives the
// binding's result (its index + 1); then the optional one.
const platform::EntryPoint kInternetEntryPoints[] = {
    {"InternetOpenA", offsetof(InternetBinding, InternetOpenA), true},
    {"InternetConnectA", offsetof(InternetBinding, InternetConnectA), true},
    {"FtpGetFileA", offsetof(InternetBinding, FtpGetFileA), true},
    {"InternetCloseHandle", offsetof(InternetBinding, InternetCloseHandle), true},
    {"InternetSetStatusCallback", offsetof(InternetBinding, InternetSetStatusCallback), true},
    {"FtpFindFirstFileA", offsetof(InternetBinding, FtpFindFirstFileA), false},
};

}  // namespace

int BindInternetLibrary(const char* name, InternetBinding* binding) {
  if (binding->module != nullptr && binding->InternetSetStatusCallback != nullptr) return 0;
  CopyText(binding->name, sizeof binding->name, name);
  platform::LoadedLibrary library = platform::LoadedLibrary::Open(name);
  if (!library.IsOpen()) {
    SetLastErrorText("Error loading library %s", name);
    return -1;
  }
  InternetBinding found;
  const int missing = platform::FindEntryPoints(library, found, kInternetEntryPoints);
  if (missing >= 0) {
    SetLastErrorText("Error opening function %s in %s",
                     kInternetEntryPoints[missing].decoratedName, name);
    *binding = InternetBinding{};
    return missing + 1;  // the library is released here
  }
  CopyText(found.name, sizeof found.name, name);
  // A binding lives as long as the process: downloads copy it freely.
  found.module = library.KeepLoaded();
  *binding = found;
  return 0;
}

const char* InternetLibraryFor(const char* address) {
#if defined(_WIN32)
  static const char* const kOwnSchemes[] = {"https://", "ftps://", "file://"};
  if (address != nullptr) {
    for (const char* scheme : kOwnSchemes) {
      size_t i = 0;
      while (scheme[i] != '\0' && address[i] != '\0' &&
             std::tolower(static_cast<unsigned char>(address[i])) == scheme[i])
        ++i;
      if (scheme[i] == '\0') return kOwnInternetLibrary;
    }
  }
#else
  (void)address;
#endif
  return kSystemInternetLibrary;
}

const char* InternetLibraryForAll(const char* const* addresses, int32_t count) {
  for (int32_t i = 0; i < count; ++i) {
    if (addresses[i] != nullptr &&
        std::strcmp(InternetLibraryFor(addresses[i]), kOwnInternetLibrary) == 0)
      return kOwnInternetLibrary;
  }
  return kSystemInternetLibrary;
}

int BindInternetLibraryFor(const char* address) {
  return BindInternetLibraryNamed(InternetLibraryFor(address));
}

int BindInternetLibraryNamed(const char* name) {
  if (Internet.module != nullptr && Internet.InternetSetStatusCallback != nullptr &&
      std::strcmp(Internet.name, name) == 0)
    return 0;
  // One binding per library, so that switching back and forth loads each
  // library once.
  static InternetBinding bindings[2];
  InternetBinding& binding =
      bindings[std::strcmp(name, kOwnInternetLibrary) == 0 ? 1 : 0];
  int result = BindInternetLibrary(name, &binding);
  if (result == 0) Internet = binding;
  return result;
}

void TransferSend(int32_t code, const char* text, int32_t value1, double real) {
  StatusChannel* channel = Transfer.channel.load();
  if (channel != nullptr) channel->Send(code, text, value1, 0, 0, 0, real);
}

void TransferError(const char* heading) {
  StatusChannel* channel = Transfer.channel.load();
  if (channel != nullptr) channel->Error(heading);
}

}  // namespace stanvex
