#include "transfer/internet_binding.h"

#include <cctype>
#include <cstddef>
#include <cstring>

#include "base/text.h"
#include "platform/loaded_library.h"

namespace stanvex {

InternetBinding Internet;
TransferState Transfer;

namespace {

// The five entry points, in binding order: the binding's failure names the
// first missing one; then the optional one.
const platform::EntryPoint kInternetEntryPoints[] = {
    {"InternetOpenA", offsetof(InternetBinding, InternetOpenA), true},
    {"InternetConnectA", offsetof(InternetBinding, InternetConnectA), true},
    {"FtpGetFileA", offsetof(InternetBinding, FtpGetFileA), true},
    {"InternetCloseHandle", offsetof(InternetBinding, InternetCloseHandle), true},
    {"InternetSetStatusCallback", offsetof(InternetBinding, InternetSetStatusCallback), true},
    {"FtpFindFirstFileA", offsetof(InternetBinding, FtpFindFirstFileA), false},
};

}  // namespace

Result BindInternetLibrary(const char* name, InternetBinding* binding) {
  if (binding->module != nullptr && binding->InternetSetStatusCallback != nullptr)
    return Result::Success();
  CopyText(binding->name, sizeof binding->name, name);
  platform::LoadedLibrary library = platform::LoadedLibrary::Open(name);
  if (!library.IsOpen())
    return Result::Failure(ResultKind::kNotFound, "Error loading library %s", name);
  InternetBinding found;
  const int missing = platform::FindEntryPoints(library, found, kInternetEntryPoints);
  if (missing >= 0) {
    *binding = InternetBinding{};
    // The library is released here.
    return Result::Failure(nullptr, "Error opening function %s in %s",
                           kInternetEntryPoints[missing].decoratedName, name);
  }
  CopyText(found.name, sizeof found.name, name);
  // A binding lives as long as the process: downloads copy it freely.
  found.module = library.KeepLoaded();
  *binding = found;
  return Result::Success();
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

DWORD ConnectFlagsFor(const InternetBinding& binding, DWORD flags) {
#if defined(_WIN32)
  if (std::strcmp(binding.name, kSystemInternetLibrary) == 0)
    return flags & ~static_cast<DWORD>(STANVEX_FLAG_BEARER_TOKEN);
#else
  (void)binding;
#endif
  return flags;
}

Result BindInternetLibraryFor(const char* address, InternetBinding* into) {
  return BindInternetLibraryNamed(InternetLibraryFor(address), into);
}

Result BindInternetLibraryNamed(const char* name, InternetBinding* into) {
  if (into->module != nullptr && into->InternetSetStatusCallback != nullptr &&
      std::strcmp(into->name, name) == 0)
    return Result::Success();
  // One binding per library, so that switching back and forth loads each
  // library once.
  static InternetBinding bindings[2];
  InternetBinding& binding =
      bindings[std::strcmp(name, kOwnInternetLibrary) == 0 ? 1 : 0];
  Result bound = BindInternetLibrary(name, &binding);
  if (bound.ok) *into = binding;
  return bound;
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
