#include "failing_files.h"

#include "platform/methods.h"
#include "platform/platform.h"

namespace stanvex::testing {
namespace {

struct State {
  std::string suffix;
  FailingFiles::Fault fault = FailingFiles::kRefuseName;
  int left = 0;
  const platform::Methods* previous = nullptr;
  platform::Methods table{};
} state;

// True (and one failure used up) when target is one of the failing names.
bool Take(const char* target) {
  const std::string name = target != nullptr ? target : "";
  if (state.left <= 0 || name.size() < state.suffix.size() ||
      name.compare(name.size() - state.suffix.size(), std::string::npos, state.suffix) != 0)
    return false;
  --state.left;
  return true;
}

int CreateNew(const char* path) {
  if (!Take(path)) return state.previous->createNew(path);
  if (state.fault == FailingFiles::kRefuseName) {
    platform::SetLastSystemError(platform::DiskFullError());
    return -1;
  }
  // The file stays, empty; its descriptor is one open for reading only, so
  // every write through it fails whoever buffers the bytes.
  int file = state.previous->createNew(path);
  if (file < 0) return file;
  state.previous->close(file);
  return state.previous->openRead(path);
}

bool Rename(const char* source, const char* target, bool replace) {
  if (state.fault == FailingFiles::kRefuseName && Take(target)) {
    platform::SetLastSystemError(platform::DiskFullError());
    return false;
  }
  return state.previous->rename(source, target, replace);
}

}  // namespace

FailingFiles::FailingFiles(const std::string& suffix, Fault fault, int count) {
  state.suffix = suffix;
  state.fault = fault;
  state.left = count;
  state.previous = platform::InstallMethods(nullptr);
  state.table = *state.previous;
  state.table.createNew = CreateNew;
  state.table.rename = Rename;
  platform::InstallMethods(&state.table);
}

FailingFiles::~FailingFiles() {
  platform::InstallMethods(state.previous);
  state.left = 0;
}

}  // namespace stanvex::testing
