// POSIX implementation of the platform interface.
#include "platform/platform.h"

#if !defined(_WIN32)

#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <limits.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace stanvex::platform {

char PathSeparator() { return '/'; }

bool IsPathSeparator(char c) { return c == '/'; }

bool SameFileName(const char* a, const char* b) { return std::strcmp(a, b) == 0; }

bool SameDirectory(const char* a, const char* b) {
  struct stat sa, sb;
  if (::stat(a, &sa) != 0 || ::stat(b, &sb) != 0) return false;
  return S_ISDIR(sa.st_mode) && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool SameFile(const char* a, const char* b) {
  struct stat sa, sb;
  if (a == nullptr || b == nullptr || ::stat(a, &sa) != 0 || ::stat(b, &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool FileExists(const char* path) {
  struct stat st;
  return ::stat(path, &st) == 0 && S_ISREG(st.st_mode);
}

bool IsDirectory(const char* path) {
  struct stat st;
  return ::stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

namespace {

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// Copies the bytes of in to out; false on any read or write error.
bool CopyContent(int in, int out) {
  char buffer[64 * 1024];
  for (;;) {
    ssize_t n = ::read(in, buffer, sizeof buffer);
    if (n == 0) return true;
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (!WriteAll(out, buffer, static_cast<size_t>(n))) return false;
  }
}

}  // namespace

namespace {

// Removes a stale entry of path's name, then creates path exclusively without
// following a link: a descriptor open for writing, or -1 with errno.
int OpenNewFile(const char* path) {
  if (InjectedWriteFailure(path)) {
    errno = ENOSPC;
    return -1;
  }
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

}  // namespace

std::FILE* CreateNewFile(const char* path) {
  int fd = OpenNewFile(path);
  if (fd < 0) return nullptr;
  std::FILE* file = ::fdopen(fd, "wb");
  if (file == nullptr) {
    int saved = errno;
    ::close(fd);
    ::unlink(path);
    errno = saved;
    return nullptr;
  }
  return InjectedContentFailure(path) ? RefuseWrites(file, path) : file;
}

bool CopyToNewFile(const char* source, const char* target) {
  int in = ::open(source, O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  int out = OpenNewFile(target);
  if (out < 0) {
    int saved = errno;
    ::close(in);
    errno = saved;
    return false;
  }
  bool ok = InjectedContentFailure(target) ? (errno = ENOSPC, false) : CopyContent(in, out);
  int saved = errno;
  ::close(in);
  if (::close(out) != 0 && ok) {
    ok = false;
    saved = errno;
  }
  if (!ok) ::unlink(target);
  errno = saved;
  return ok;
}

bool CopyFile(const char* source, const char* target, bool replace) {
  if (!replace && ::access(target, F_OK) == 0) {
    errno = EEXIST;
    return false;
  }
  std::string temp = std::string(target) + ".part";
  if (!CopyToNewFile(source, temp.c_str())) return false;
  bool ok;
  if (InjectedWriteFailure(target)) {
    ok = false;
    errno = ENOSPC;
  } else if (replace) {
    // rename replaces a link under the target's name itself.
    ok = ::rename(temp.c_str(), target) == 0;
  } else {
    // link() fails when the target appeared meanwhile: no silent overwrite.
    ok = ::link(temp.c_str(), target) == 0;
  }
  int saved = errno;
  ::unlink(temp.c_str());
  errno = saved;
  return ok;
}

bool MoveFile(const char* source, const char* target) {
  if (InjectedWriteFailure(target)) {
    errno = ENOSPC;
    return false;
  }
  if (::rename(source, target) == 0) return true;
  if (errno != EXDEV) return false;
  if (!CopyFile(source, target, true)) return false;
  return ::unlink(source) == 0;
}

bool RenameNoReplace(const char* source, const char* target) {
  if (InjectedWriteFailure(target)) {
    errno = ENOSPC;
    return false;
  }
  // A hard link fails when any entry of the target's name exists.
  if (::link(source, target) != 0) return false;
  ::unlink(source);
  return true;
}

bool DeleteFile(const char* path) { return ::unlink(path) == 0; }

int64_t FileSize(const char* path) {
  struct stat st;
  if (::stat(path, &st) != 0) return -1;
  return static_cast<int64_t>(st.st_size);
}

bool GetCurrentDir(char* buffer, size_t size) {
  if (size == 0) return false;
  if (::getcwd(buffer, size) != nullptr) return true;
  buffer[0] = '\0';
  return false;
}

bool SetCurrentDir(const char* path) { return path != nullptr && ::chdir(path) == 0; }

bool MakeDirectory(const char* path) {
  if (::mkdir(path, 0755) == 0) return true;
  return errno == EEXIST && IsDirectory(path);
}

bool MakeDirectoryNotLink(const char* path) {
  if (::mkdir(path, 0755) == 0) return true;
  struct stat st;
  return errno == EEXIST && ::lstat(path, &st) == 0 && S_ISDIR(st.st_mode);
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

LibraryHandle LoadLibraryByName(const char* windowsName) {
  char mapped[256];
  MapLibraryName(windowsName, mapped, sizeof mapped);
  const char* dir = LibraryDirectory();
  if (dir[0] != '\0') {
    std::string beside = std::string(dir) + "/" + mapped;
    if (void* handle = ::dlopen(beside.c_str(), RTLD_NOW | RTLD_LOCAL)) return handle;
  }
  return ::dlopen(mapped, RTLD_NOW | RTLD_LOCAL);
}

void* FindFunction(LibraryHandle library, const char* decoratedName) {
  if (library == nullptr) return nullptr;
  char plain[256];
  UndecorateName(decoratedName, plain, sizeof plain);
  return ::dlsym(library, plain);
}

void FreeLibrary(LibraryHandle library) {
  if (library != nullptr) ::dlclose(library);
}

uint32_t TickCount() {
  struct timespec ts;
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms);
}

void SleepMilliseconds(uint32_t milliseconds) {
  struct timespec ts;
  ts.tv_sec = milliseconds / 1000;
  ts.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
  while (::nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

int LastSystemError() { return errno; }

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

bool IsTerminal(int fd) { return ::isatty(fd) == 1; }

bool ReadHiddenLine(const char* prompt, char* out, size_t size) {
  if (size == 0 || ::isatty(0) != 1) return false;
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
  ssize_t got;
  while ((got = ::read(0, &c, 1)) == 1) {
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

bool MakeTempDirectory(const char* prefix, char* out, size_t size) {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr && base[0] != '\0' ? base : "/tmp") + "/" +
                        prefix + "XXXXXX";
  if (pattern.size() >= size) return false;
  std::snprintf(out, size, "%s", pattern.c_str());
  return ::mkdtemp(out) != nullptr;
}

bool GatewayHostResolves(const char* host) { return host != nullptr && host[0] != '\0'; }

}  // namespace stanvex::platform

#endif  // !_WIN32
