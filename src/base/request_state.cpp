#include "base/request_state.h"

#include <cstdio>

#include "base/last_error.h"
#include "base/status_channel.h"

namespace stanvex {

char WorkingDirectory[kDirectorySize];
char SavedDirectory[kDirectorySize];
Serv_Sta* LoadedCatalogue = nullptr;
bool CatalogueLoaded = false;
std::atomic<int32_t> FtpStopCount{0};

namespace {

std::atomic<bool> request_running{false};
// Empty while the thread's last request was not refused.
thread_local char refused_text[kTextSize];

}  // namespace

RequestClaim::RequestClaim(const char* request) noexcept {
  bool expected = false;
  // Acquire/release: a request sees everything the one before it wrote,
  // whichever thread ran that one.
  held_ = request_running.compare_exchange_strong(expected, true, std::memory_order_acquire);
  if (held_)
    refused_text[0] = '\0';
  else
    std::snprintf(refused_text, sizeof refused_text,
                  "Error %s refused: a request is already running", request);
}

RequestClaim::~RequestClaim() {
  if (!held_) return;
  // A call refused from this request's own callbacks is over with it: the
  // thread reads this request's outcome from now on.
  refused_text[0] = '\0';
  request_running.store(false, std::memory_order_release);
}

const char* RefusedRequestText() { return refused_text[0] != '\0' ? refused_text : nullptr; }

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
