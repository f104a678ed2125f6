// What one request's steps work with, made by its export and passed down:
// the folder its files are made in, the frame's status sender, the internet
// library binding its downloads use and the stop count. The steps
// take these from the context, not from the library's globals; what the C
// interface itself keeps (the registered callback, the last error, the
// loaded catalogue, the stop count another thread raises) stays global.
//
// Ownership: the export owns everything the context points at, for the
// whole request. Threads: the requesting thread only.
#ifndef STANVEX_BASE_REQUEST_CONTEXT_H
#define STANVEX_BASE_REQUEST_CONTEXT_H

#include <atomic>
#include <cstdint>

#include "base/status_channel.h"

namespace stanvex {

struct InternetBinding;  // transfer/internet_binding.h

struct RequestContext {
  // The working folder (a kDirectorySize buffer); a step may strip its
  // trailing separator.
  char* workingFolder;
  // The frame's status sender (the host's callback read at every send).
  StatusChannel* frame;
  // The binding the downloads use and bind.
  InternetBinding* internet;
  // The stop count (StopFtpProcessing raises it from any thread).
  const std::atomic<int32_t>* stop;
};

}  // namespace stanvex

#endif  // STANVEX_BASE_REQUEST_CONTEXT_H
