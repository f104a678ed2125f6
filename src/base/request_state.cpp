#include "base/request_state.h"

#include "base/last_error.h"
#include "base/status_channel.h"

namespace stanvex {

char WorkingDirectory[kDirectorySize];
char SavedDirectory[kDirectorySize];
Serv_Sta* LoadedCatalogue = nullptr;
bool CatalogueLoaded = false;
std::atomic<int32_t> FtpStopCount{0};

void ResetLibraryStateForTesting() {
  LastErrorText[0] = '\0';
  WorkingDirectory[0] = '\0';
  SavedDirectory[0] = '\0';
  LoadedCatalogue = nullptr;
  CatalogueLoaded = false;
  RegisteredCallBack = nullptr;
  FrameStatus = nullptr;
  FtpStopCount = 0;
}

}  // namespace stanvex
