// The parts of the platform interface that are the same on every system:
// the installed table, and the functions built on its entries.
#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/methods.h"
#include "platform/platform.h"

namespace stanvex::platform {

void UndecorateName(const char* decorated, char* out, size_t size) {
  if (size == 0) return;
  const char* begin = decorated;
  size_t length = std::strlen(decorated);
  const char* at = std::strrchr(decorated, '@');
  if (decorated[0] == '_' && at != nullptr && at > decorated + 1) {
    begin = decorated + 1;  // "_Fn@12" -> "Fn"
    length = static_cast<size_t>(at - begin);
  }
  if (length >= size) length = size - 1;
  std::memcpy(out, begin, length);
  out[length] = '\0';
}

namespace {

// Null while the system's own table is installed.
std::atomic<const Methods*> installed{nullptr};

// The installed table's entry, or the system's where the installed table
// leaves it null or was written for no known version.
template <typename Function>
Function Entry(Function Methods::*entry) {
  const Methods* table = installed.load(std::memory_order_acquire);
  Function function = table != nullptr && table->version >= 1 ? table->*entry : nullptr;
  return function != nullptr ? function : SystemMethods().*entry;
}

// Keeps the last system error across clean-up calls that may change it.
class SavedError {
 public:
  SavedError() : error_(Entry(&Methods::lastError)()) {}
  ~SavedError() { Entry(&Methods::setLastError)(error_); }
  SavedError(const SavedError&) = delete;
  SavedError& operator=(const SavedError&) = delete;

 private:
  int error_;
};

bool StatusOf(const char* path, bool followLinks, FileStatus* status) {
  *status = FileStatus{FileKind::kMissing, 0, 0, 0};
  return path != nullptr && Entry(&Methods::status)(path, followLinks, status);
}

bool WriteAll(int file, const char* data, size_t size) {
  const auto write = Entry(&Methods::write);
  while (size > 0) {
    long n = write(file, data, size);
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// Copies the bytes of in to out; false on any read or write error.
bool CopyContent(int in, int out) {
  char buffer[64 * 1024];
  const auto read = Entry(&Methods::read);
  for (;;) {
    long n = read(in, buffer, sizeof buffer);
    if (n == 0) return true;
    if (n < 0 || !WriteAll(out, buffer, static_cast<size_t>(n))) return false;
  }
}

}  // namespace

const Methods* InstallMethods(const Methods* methods) {
  const Methods* previous = installed.exchange(methods, std::memory_order_acq_rel);
  return previous != nullptr ? previous : &SystemMethods();
}

long InstalledRead(int file, void* buffer, size_t size) {
  return Entry(&Methods::read)(file, buffer, size);
}

long InstalledWrite(int file, const void* data, size_t size) {
  return Entry(&Methods::write)(file, data, size);
}

int64_t InstalledSeek(int file, int64_t offset, int whence) {
  return Entry(&Methods::seek)(file, offset, whence);
}

int InstalledClose(int file) { return Entry(&Methods::close)(file); }

std::FILE* OpenForReading(const char* path) {
  int file = path != nullptr ? Entry(&Methods::openRead)(path) : -1;
  if (file < 0) return nullptr;
  std::FILE* stream = StreamOver(file, false);
  if (stream == nullptr) {
    SavedError saved;
    Entry(&Methods::close)(file);
  }
  return stream;
}

std::FILE* CreateNewFile(const char* path) {
  int file = path != nullptr ? Entry(&Methods::createNew)(path) : -1;
  if (file < 0) return nullptr;
  std::FILE* stream = StreamOver(file, true);
  if (stream == nullptr) {
    SavedError saved;
    Entry(&Methods::close)(file);
    Entry(&Methods::remove)(path);
  }
  return stream;
}

bool CopyToNewFile(const char* source, const char* target) {
  const auto close = Entry(&Methods::close);
  int in = Entry(&Methods::openRead)(source);
  if (in < 0) return false;
  int out = Entry(&Methods::createNew)(target);
  if (out < 0) {
    SavedError saved;
    close(in);
    return false;
  }
  bool ok = CopyContent(in, out);
  {
    SavedError saved;
    close(in);
  }
  if (ok) {
    ok = close(out) == 0;
  } else {
    SavedError saved;
    close(out);
  }
  if (!ok) {
    SavedError saved;
    Entry(&Methods::remove)(target);
  }
  return ok;
}

bool CopyFile(const char* source, const char* target, bool replace) {
  FileStatus status;
  if (!replace && StatusOf(target, false, &status)) {
    SetLastSystemError(AlreadyExistsError());
    return false;
  }
  // A temporary name beside the target first, so that a failed copy (disk
  // full, source gone) never leaves a partial target behind; the rename
  // without replace fails when the target appeared meanwhile.
  std::string temp = std::string(target) + ".part";
  if (!CopyToNewFile(source, temp.c_str())) return false;
  if (Entry(&Methods::rename)(temp.c_str(), target, replace)) return true;
  SavedError saved;
  Entry(&Methods::remove)(temp.c_str());
  return false;
}

bool MoveFile(const char* source, const char* target) {
  if (Entry(&Methods::rename)(source, target, true)) return true;
  if (LastSystemError() != CrossDeviceError()) return false;
  return CopyFile(source, target, true) && Entry(&Methods::remove)(source);
}

bool RenameNoReplace(const char* source, const char* target) {
  return Entry(&Methods::rename)(source, target, false);
}

bool DeleteFile(const char* path) { return path != nullptr && Entry(&Methods::remove)(path); }

bool FileExists(const char* path) {
  FileStatus status;
  return StatusOf(path, true, &status) && status.kind == FileKind::kFile;
}

bool IsDirectory(const char* path) {
  FileStatus status;
  return StatusOf(path, true, &status) && status.kind == FileKind::kDirectory;
}

int64_t FileSize(const char* path) {
  FileStatus status;
  if (!StatusOf(path, true, &status) || status.kind == FileKind::kDirectory) return -1;
  return status.size;
}

bool SameFile(const char* a, const char* b) {
  FileStatus sa, sb;
  if (!StatusOf(a, true, &sa) || !StatusOf(b, true, &sb)) return false;
  // An identity the system could not tell (0, 0) matches nothing.
  if (sa.volume == 0 && sa.index == 0) return false;
  return sa.volume == sb.volume && sa.index == sb.index;
}

bool GetCurrentDir(char* buffer, size_t size) {
  if (size == 0) return false;
  if (Entry(&Methods::getCurrentDir)(buffer, size)) return true;
  buffer[0] = '\0';
  return false;
}

bool SetCurrentDir(const char* path) {
  return path != nullptr && Entry(&Methods::setCurrentDir)(path);
}

bool MakeDirectory(const char* path) {
  return Entry(&Methods::makeDirectory)(path) || IsDirectory(path);
}

bool MakeDirectoryNotLink(const char* path) {
  if (Entry(&Methods::makeDirectory)(path)) return true;
  // Symbolic links, and on Windows junctions, are reported as links.
  FileStatus status;
  return StatusOf(path, false, &status) && status.kind == FileKind::kDirectory;
}

bool ListDirectory(const char* path, DirectoryEntryFunction each, void* context) {
  return path != nullptr && Entry(&Methods::listDirectory)(path, each, context);
}

bool RemoveTree(const char* path) {
  FileStatus status;
  if (!StatusOf(path, false, &status)) return true;
  if (status.kind != FileKind::kDirectory) return DeleteFile(path);
  struct Entries {
    std::string folder;
    bool removed = true;
  } entries{path};
  ListDirectory(
      path,
      [](void* context, const char* name, bool) {
        auto* e = static_cast<Entries*>(context);
        const std::string child = e->folder + PathSeparator() + name;
        if (!RemoveTree(child.c_str())) e->removed = false;
      },
      &entries);
  return Entry(&Methods::removeDirectory)(path) && entries.removed;
}

bool MakeTempDirectory(const char* prefix, char* out, size_t size) {
  return size > 0 && Entry(&Methods::makeTempDirectory)(prefix, out, size);
}

LibraryHandle LoadLibraryByName(const char* windowsName) {
  return windowsName != nullptr ? Entry(&Methods::loadLibrary)(windowsName) : nullptr;
}

void* FindFunction(LibraryHandle library, const char* decoratedName) {
  if (library == nullptr || decoratedName == nullptr) return nullptr;
  return Entry(&Methods::findFunction)(library, decoratedName);
}

void FreeLibrary(LibraryHandle library) {
  if (library != nullptr) Entry(&Methods::freeLibrary)(library);
}

uint32_t TickCount() { return Entry(&Methods::tickCount)(); }

void SleepMilliseconds(uint32_t milliseconds) { Entry(&Methods::sleep)(milliseconds); }

int LastSystemError() { return Entry(&Methods::lastError)(); }

void SetLastSystemError(int error) { Entry(&Methods::setLastError)(error); }

bool IsTerminal(int fd) { return Entry(&Methods::isTerminal)(fd); }

bool ReadHiddenLine(const char* prompt, char* out, size_t size) {
  return size > 0 && Entry(&Methods::readHiddenLine)(prompt, out, size);
}

bool GatewayHostResolves(const char* host) {
  return host != nullptr && host[0] != '\0' && Entry(&Methods::gatewayHostResolves)(host);
}

}  // namespace stanvex::platform
