#include "ftp/internet_binding.h"

namespace stanvex {

InternetBinding Internet;
TransferState Transfer;

int BindInternetLibrary(const char* name, InternetBinding* binding) {
  if (binding->module != nullptr && binding->InternetSetStatusCallback != nullptr) return 0;
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

void TransferSend(int32_t code, const char* text, int32_t value1, double real) {
  StatusChannel* channel = Transfer.channel.load();
  if (channel != nullptr) channel->Send(code, text, value1, 0, 0, 0, real);
}

void TransferError(const char* heading) {
  StatusChannel* channel = Transfer.channel.load();
  if (channel != nullptr) channel->Error(heading);
}

}  // namespace stanvex
