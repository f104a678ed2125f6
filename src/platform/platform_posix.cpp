// POSIX implementation of the platform interface: the system's table of
// methods and the few functions that differ by system.
#include "platform/methods.h"
#include "platform/platform.h"

#if !defined(_WIN32)

#include <dirent.h>
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

namespace stanvex::platform {

char PathSeparator() { return '/'; }

bool IsPathSeparator(char c) { return c == '/'; }

bool SameFileName(const char* a, const char* b) { return std::strcmp(a, b) == 0; }

bool SameDirectory(const char* a, const char* b) {
  return IsDirectory(a) && IsDirectory(b) && SameFile(a, b);
}

std::FILE* CreateOwnerOnlyFile(const char* path) {
  std::FILE* file = CreateNewFile(path);
  if (file == nullptr) return nullptr;
  // The file is still empty: no reader can have seen anything in it. A
  // device named as the path (/dev/null) is left as it is, and refused.
  struct stat st;
  const bool regular = ::lstat(path, &st) == 0 && S_ISREG(st.st_mode);
  if (!regular || ::chmod(path, S_IRUSR | S_IWUSR) != 0) {
    const int error = regular ? errno : EINVAL;
    std::fclose(file);
    if (regular) ::unlink(path);
    errno = error;
    return nullptr;
  }
  return file;
}

void MapLibraryName(const char* windowsName, char* out, size_t size) {
  if (size == 0) return;
  std::string name(windowsName);
  size_t slash = name.find_last_of("/\\");
  if (slash != std::string::npos) name = name.substr(slash + 1);
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (name.size() > 4 && name.compare(name.size() - 4, 4, ".dll") == 0) {
    name = "lib" + name.substr(0, name.size() - 4) + ".so";
  }
  std::snprintf(out, size, "%s", name.c_str());
}

namespace {

// The folder of the module (shared library or program) holding this code, as
// an absolute path: a relative name from the loader would change meaning
// with the current directory.
std::string ModuleDirectory() {
  Dl_info info;
  std::string path;
  if (::dladdr(reinterpret_cast<void*>(&LibraryDirectory), &info) != 0 && info.dli_fname != nullptr)
    path = info.dli_fname;
  char resolved[PATH_MAX];
  if (path.empty() || path.find('/') == std::string::npos ||
      ::realpath(path.c_str(), resolved) == nullptr) {
    // The main program is named as it was started; the kernel knows its path.
    ssize_t n = ::readlink("/proc/self/exe", resolved, sizeof resolved - 1);
    if (n <= 0) return std::string();
    resolved[n] = '\0';
  }
  path = resolved;
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// Computed when the module is loaded, before the host can change the
// current directory.
const std::string module_directory = ModuleDirectory();

}  // namespace

const char* LibraryDirectory() { return module_directory.c_str(); }

const char* WriteErrorReason(int systemError) {
  switch (systemError) {
    case ENOSPC:
    case EDQUOT:
      return "disk full";
    case EROFS:
      return "read-only file system";
    case EACCES:
    case EPERM:
      return "read-only for this user (permission denied)";
    default:
      return std::strerror(systemError);
  }
}

int DiskFullError() { return ENOSPC; }
int NotFoundError() { return ENOENT; }
int InputOutputError() { return EIO; }
int AccessDeniedError() { return EACCES; }
int AlreadyExistsError() { return EEXIST; }
int CrossDeviceError() { return EXDEV; }

namespace {

// ---- the streams over descriptors ----------------------------------------
// Each call of the C library's buffer code becomes a call of the installed
// table. The cookie holds the descriptor and the stream's buffer of 64 KiB
// (the C library sizes a buffer it allocates itself as it likes).

constexpr size_t kStreamBufferSize = 64 * 1024;

struct StreamCookie {
  int file;
  char buffer[kStreamBufferSize];
};

ssize_t StreamRead(void* cookie, char* buffer, size_t size) {
  long n = InstalledRead(static_cast<StreamCookie*>(cookie)->file, buffer, size);
  return n < 0 ? -1 : static_cast<ssize_t>(n);
}

// The C library takes 0 for a failed write (never a negative count).
ssize_t StreamWrite(void* cookie, const char* data, size_t size) {
  const int file = static_cast<StreamCookie*>(cookie)->file;
  size_t done = 0;
  while (done < size) {
    long n = InstalledWrite(file, data + done, size - done);
    if (n <= 0) return 0;
    done += static_cast<size_t>(n);
  }
  return static_cast<ssize_t>(done);
}

int StreamSeek(void* cookie, off64_t* offset, int whence) {
  int64_t at = InstalledSeek(static_cast<StreamCookie*>(cookie)->file,
                             static_cast<int64_t>(*offset), whence);
  if (at < 0) return -1;
  *offset = static_cast<off64_t>(at);
  return 0;
}

// Called by fclose after its last write-out: the buffer is no longer used.
int StreamClose(void* cookie) {
  auto* stream = static_cast<StreamCookie*>(cookie);
  const int result = InstalledClose(stream->file);
  delete stream;
  return result;
}

// ---- the system's methods -----------------------------------------------

int SystemOpenRead(const char* path) { return ::open(path, O_RDONLY | O_CLOEXEC); }

// Removes a stale entry of path's name, then creates path exclusively without
// following a link.
int SystemCreateNew(const char* path) {
  struct stat st;
  if (::lstat(path, &st) == 0 && !S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) {
    // A device or pipe named as the output ("/dev/null") is written into,
    // never removed; a directory makes the open fail.
    return ::open(path, O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
  }
  // unlink removes a link itself, never the file it points to.
  ::unlink(path);
  return ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
}

long SystemRead(int file, void* buffer, size_t size) {
  for (;;) {
    ssize_t n = ::read(file, buffer, size);
    if (n >= 0 || errno != EINTR) return static_cast<long>(n);
  }
}

long SystemWrite(int file, const void* data, size_t size) {
  for (;;) {
    ssize_t n = ::write(file, data, size);
    if (n >= 0 || errno != EINTR) return static_cast<long>(n);
  }
}

int64_t SystemSeek(int file, int64_t offset, int whence) {
  return static_cast<int64_t>(::lseek(file, static_cast<off_t>(offset), whence));
}

int SystemClose(int file) { return ::close(file); }

bool SystemRename(const char* source, const char* target, bool replace) {
  // rename replaces a link under the target's name itself.
  if (replace) return ::rename(source, target) == 0;
  // A hard link fails when any entry of the target's name exists.
  if (::link(source, target) != 0) return false;
  ::unlink(source);
  return true;
}

bool SystemRemove(const char* path) { return ::unlink(path) == 0; }

bool SystemStatus(const char* path, bool followLinks, FileStatus* status) {
  struct stat st;
  if ((followLinks ? ::stat(path, &st) : ::lstat(path, &st)) != 0) return false;
  status->kind = S_ISREG(st.st_mode)   ? FileKind::kFile
                 : S_ISDIR(st.st_mode) ? FileKind::kDirectory
                 : S_ISLNK(st.st_mode) ? FileKind::kLink
                                       : FileKind::kOther;
  status->size = static_cast<int64_t>(st.st_size);
  status->volume = static_cast<uint64_t>(st.st_dev);
  status->index = static_cast<uint64_t>(st.st_ino);
  return true;
}

bool SystemListDirectory(const char* path, DirectoryEntryFunction each, void* context) {
  DIR* dir = ::opendir(path);
  if (dir == nullptr) return false;
  while (const dirent* entry = ::readdir(dir)) {
    const char* name = entry->d_name;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
    const std::string child = std::string(path) + "/" + name;
    struct stat st;
    each(context, name, ::lstat(child.c_str(), &st) == 0 && S_ISDIR(st.st_mode));
  }
  ::closedir(dir);
  return true;
}

bool SystemMakeDirectory(const char* path) { return ::mkdir(path, 0755) == 0; }

bool SystemRemoveDirectory(const char* path) { return ::rmdir(path) == 0; }

bool SystemMakeTempDirectory(const char* prefix, char* out, size_t size) {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr && base[0] != '\0' ? base : "/tmp") + "/" +
                        prefix + "XXXXXX";
  if (pattern.size() >= size) return false;
  std::snprintf(out, size, "%s", pattern.c_str());
  return ::mkdtemp(out) != nullptr;
}

bool SystemGetCurrentDir(char* buffer, size_t size) { return ::getcwd(buffer, size) != nullptr; }

bool SystemSetCurrentDir(const char* path) { return ::chdir(path) == 0; }

void* SystemLoadLibrary(const char* windowsName) {
  char mapped[256];
  MapLibraryName(windowsName, mapped, sizeof mapped);
  const char* dir = LibraryDirectory();
  if (dir[0] != '\0') {
    std::string beside = std::string(dir) + "/" + mapped;
    if (void* handle = ::dlopen(beside.c_str(), RTLD_NOW | RTLD_LOCAL)) return handle;
  }
  return ::dlopen(mapped, RTLD_NOW | RTLD_LOCAL);
}

void* SystemFindFunction(void* library, const char* decoratedName) {
  char plain[256];
  UndecorateName(decoratedName, plain, sizeof plain);
  return ::dlsym(library, plain);
}

void SystemFreeLibrary(void* library) { ::dlclose(library); }

uint32_t SystemTickCount() {
  struct timespec ts;
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms);
}

void SystemSleep(uint32_t milliseconds) {
  struct timespec ts;
  ts.tv_sec = milliseconds / 1000;
  ts.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
  while (::nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

int SystemLastError() { return errno; }

void SystemSetLastError(int error) { errno = error; }

bool SystemIsTerminal(int fd) { return ::isatty(fd) == 1; }

bool SystemReadHiddenLine(const char* prompt, char* out, size_t size) {
  if (::isatty(0) != 1) return false;
  out[0] = '\0';
  termios saved;
  if (::tcgetattr(0, &saved) != 0) return false;
  termios quiet = saved;
  quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
  quiet.c_lflag |= ECHONL;
  // Echo goes off before the prompt shows, and without flushing: a password
  // typed as soon as the prompt appears is neither echoed nor thrown away.
  if (::tcsetattr(0, TCSANOW, &quiet) != 0) return false;
  std::fputs(prompt, stderr);
  std::fflush(stderr);
  std::string line;
  char c;
  bool ended = false;
  while (::read(0, &c, 1) == 1) {
    if (c == '\n') {
      ended = true;
      break;
    }
    line += c;
  }
  ::tcsetattr(0, TCSANOW, &saved);
  if (!ended && line.empty()) return false;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  std::snprintf(out, size, "%s", line.c_str());
  return true;
}

// Our own internet library drops a gateway that does not resolve by itself.
bool SystemGatewayHostResolves(const char*) { return true; }

constexpr Methods kSystemMethods = {
    kMethodsVersion,
    SystemOpenRead,
    SystemCreateNew,
    SystemRead,
    SystemWrite,
    SystemSeek,
    SystemClose,
    SystemRename,
    SystemRemove,
    SystemStatus,
    SystemListDirectory,
    SystemMakeDirectory,
    SystemRemoveDirectory,
    SystemMakeTempDirectory,
    SystemGetCurrentDir,
    SystemSetCurrentDir,
    SystemLoadLibrary,
    SystemFindFunction,
    SystemFreeLibrary,
    SystemTickCount,
    SystemSleep,
    SystemLastError,
    SystemSetLastError,
    SystemIsTerminal,
    SystemReadHiddenLine,
    SystemGatewayHostResolves,
};

}  // namespace

const Methods& SystemMethods() { return kSystemMethods; }

std::FILE* StreamOver(int file, bool forWriting) {
  const cookie_io_functions_t functions = {StreamRead, StreamWrite, StreamSeek, StreamClose};
  auto* cookie = new (std::nothrow) StreamCookie;
  if (cookie == nullptr) return nullptr;
  cookie->file = file;
  std::FILE* stream = ::fopencookie(cookie, forWriting ? "wb" : "rb", functions);
  if (stream == nullptr) {
    delete cookie;
    return nullptr;
  }
  std::setvbuf(stream, cookie->buffer, _IOFBF, sizeof cookie->buffer);
  return stream;
}

}  // namespace stanvex::platform

#endif  // !_WIN32
