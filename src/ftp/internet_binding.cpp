#include "ftp/internet_binding.h"

#include <cctype>
#include <cstring>

namespace stanvex {

InternetBinding Internet;
TransferState Transfer;

int BindInternetLibrary(const char* name, InternetBinding* binding) {
  if (binding->module != nullptr && binding->InternetSetStatusCallback != nullptr) return 0;
  CopyText(binding->name, sizeof binding->name, name);
  platform::LibraryHandle module = platform::LoadLibraryByName(name);
  if (module == nullptr) {
    SetLastErrorText("Error loading library %s", name);
    return -1;
  }
  static const char* const kEntryPoints[] = {"InternetOpenA", "InternetConnectA", "FtpGetFileA",
                                             "InternetCloseHandle", "InternetSetStatusCallback"};
  void* found[5] = {};
  for (int i = 0; i < 5; ++i) {
    found[i] = platform::FindFunction(module, kEntryPoints[i]);
    if (found[i] == nullptr) {
      SetLastErrorText("Error opening function %s in %s", kEntryPoints[i], name);
      platform::FreeLibrary(module);
      *binding = InternetBinding{};
      return i + 1;
    }
  }
  binding->module = module;
  binding->InternetOpenA = reinterpret_cast<InternetOpenA_fn>(found[0]);
  binding->InternetConnectA = reinterpret_cast<InternetConnectA_fn>(found[1]);
  binding->FtpGetFileA = reinterpret_cast<FtpGetFileA_fn>(found[2]);
  binding->InternetCloseHandle = reinterpret_cast<InternetCloseHandle_fn>(found[3]);
  binding->InternetSetStatusCallback = reinterpret_cast<InternetSetStatusCallback_fn>(found[4]);
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

int BindInternetLibraryFor(const char* address) {
  const char* name = InternetLibraryFor(address);
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
