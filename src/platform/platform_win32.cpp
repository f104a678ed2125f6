// Windows implementation of the platform interface: Win32 calls with ANSI
// paths, backslash separators and file names compared without regard to
// case; the system's table of methods and the few functions that differ by
// system.
#include "platform/methods.h"
#include "platform/platform.h"

#if defined(_WIN32)

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace stanvex::platform {

char PathSeparator() { return '\\'; }

bool IsPathSeparator(char c) { return c == '\\' || c == '/'; }

bool SameFileName(const char* a, const char* b) { return ::lstrcmpiA(a, b) == 0; }

namespace {

// The full path of a directory text without a trailing separator, with '/'
// turned into '\\'; false when it cannot be resolved or does not fit.
bool FullDirectoryPath(const char* path, char* out, DWORD size) {
  DWORD length = ::GetFullPathNameA(path, size, out, nullptr);
  if (length == 0 || length >= size) return false;
  for (DWORD i = 0; i < length; ++i) {
    if (out[i] == '/') out[i] = '\\';
  }
  // "C:\" keeps its separator; "C:\dir\" loses it.
  while (length > 3 && out[length - 1] == '\\') out[--length] = '\0';
  return true;
}

}  // namespace

bool SameDirectory(const char* a, const char* b) {
  if (!IsDirectory(a) || !IsDirectory(b)) return false;
  char fullA[MAX_PATH * 2];
  char fullB[MAX_PATH * 2];
  if (!FullDirectoryPath(a, fullA, sizeof fullA) || !FullDirectoryPath(b, fullB, sizeof fullB))
    return false;
  return ::lstrcmpiA(fullA, fullB) == 0;
}

std::FILE* CreateOwnerOnlyFile(const char* path) { return CreateNewFile(path); }

// Windows loads libraries by their own names: nothing to map.
void MapLibraryName(const char* windowsName, char* out, size_t size) {
  if (size == 0) return;
  std::snprintf(out, size, "%s", windowsName);
}

const char* LibraryDirectory() {
  static std::string directory = [] {
    HMODULE module = nullptr;
    if (!::GetModuleHandleExA(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            reinterpret_cast<LPCSTR>(&LibraryDirectory), &module))
      return std::string();
    char path[MAX_PATH * 2];
    DWORD length = ::GetModuleFileNameA(module, path, sizeof path);
    if (length == 0 || length >= sizeof path) return std::string();
    std::string full(path, length);
    size_t slash = full.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : full.substr(0, slash);
  }();
  return directory.c_str();
}

const char* WriteErrorReason(int systemError) {
  switch (static_cast<DWORD>(systemError)) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return "disk full";
    case ERROR_WRITE_PROTECT:
      return "read-only file system";
    case ERROR_ACCESS_DENIED:
      return "read-only for this user (permission denied)";
    default:
      break;
  }
  // The system's text for any other error, without its line end; one
  // buffer per thread, as the result is read at once.
  thread_local char text[256];
  DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, static_cast<DWORD>(systemError), 0, text, sizeof text,
                                  nullptr);
  while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r' ||
                        text[length - 1] == '.' || text[length - 1] == ' '))
    text[--length] = '\0';
  if (length == 0) std::snprintf(text, sizeof text, "system error %d", systemError);
  return text;
}

int DiskFullError() { return ERROR_DISK_FULL; }
int NotFoundError() { return ERROR_FILE_NOT_FOUND; }
int InputOutputError() { return ERROR_READ_FAULT; }
int AccessDeniedError() { return ERROR_ACCESS_DENIED; }
int AlreadyExistsError() { return ERROR_FILE_EXISTS; }
int CrossDeviceError() { return ERROR_NOT_SAME_DEVICE; }

namespace {

// The C run time's descriptors report their failures in errno; the system's
// code, when the call that failed set one, is in GetLastError as well.
void KeepCrtError() {
  if (::GetLastError() == ERROR_SUCCESS)
    ::SetLastError(errno == ENOSPC ? ERROR_DISK_FULL
                   : errno == ENOENT ? ERROR_FILE_NOT_FOUND
                   : errno == EACCES ? ERROR_ACCESS_DENIED
                                     : ERROR_INVALID_HANDLE);
}

// A read-only file is deleted too, as unlink does on POSIX: the library only
// deletes its own work files.
bool SystemRemove(const char* path) {
  if (::DeleteFileA(path) != 0) return true;
  DWORD attributes = ::GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_READONLY))
    return false;
  ::SetFileAttributesA(path, attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
  return ::DeleteFileA(path) != 0;
}

int SystemOpenRead(const char* path) {
  ::SetLastError(ERROR_SUCCESS);
  int fd = ::_open(path, _O_RDONLY | _O_BINARY | _O_NOINHERIT);
  if (fd < 0) KeepCrtError();
  return fd;
}

int SystemCreateNew(const char* path) {
  // DeleteFileA removes a link itself; CREATE_NEW then fails on any entry of
  // the name, a link planted meanwhile included.
  SystemRemove(path);
  HANDLE handle = ::CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return -1;
  int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY);
  if (fd < 0) {
    ::CloseHandle(handle);
    ::DeleteFileA(path);
  }
  return fd;
}

long SystemRead(int file, void* buffer, size_t size) {
  ::SetLastError(ERROR_SUCCESS);
  const unsigned chunk = size > 0x40000000u ? 0x40000000u : static_cast<unsigned>(size);
  int n = ::_read(file, buffer, chunk);
  if (n < 0) KeepCrtError();
  return n;
}

long SystemWrite(int file, const void* data, size_t size) {
  ::SetLastError(ERROR_SUCCESS);
  const unsigned chunk = size > 0x40000000u ? 0x40000000u : static_cast<unsigned>(size);
  int n = ::_write(file, data, chunk);
  if (n < 0) KeepCrtError();
  return n;
}

int64_t SystemSeek(int file, int64_t offset, int whence) {
  return ::_lseeki64(file, offset, whence);
}

int SystemClose(int file) { return ::_close(file); }

bool SystemRename(const char* source, const char* target, bool replace) {
  DWORD flags = MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH |
                (replace ? MOVEFILE_REPLACE_EXISTING : 0);
  return ::MoveFileExA(source, target, flags) != 0;
}

// The volume and file index of an existing file or directory (followed when
// a link); zeros when it cannot be opened.
void FileIdentity(const char* path, FileStatus* status) {
  // FILE_FLAG_BACKUP_SEMANTICS lets a directory be opened too.
  HANDLE handle = ::CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return;
  BY_HANDLE_FILE_INFORMATION info;
  if (::GetFileInformationByHandle(handle, &info)) {
    status->volume = info.dwVolumeSerialNumber;
    status->index = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  }
  ::CloseHandle(handle);
}

bool SystemStatus(const char* path, bool followLinks, FileStatus* status) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!::GetFileAttributesExA(path, GetFileExInfoStandard, &data)) return false;
  const DWORD attributes = data.dwFileAttributes;
  // Symbolic links and junctions are reparse points.
  if (!followLinks && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
    status->kind = FileKind::kLink;
  else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    status->kind = FileKind::kDirectory;
  else
    status->kind = FileKind::kFile;
  status->size = (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  if (followLinks) FileIdentity(path, status);
  return true;
}

bool SystemListDirectory(const char* path, DirectoryEntryFunction each, void* context) {
  const std::string pattern = std::string(path) + "\\*";
  WIN32_FIND_DATAA found;
  HANDLE search = ::FindFirstFileA(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return ::GetLastError() == ERROR_FILE_NOT_FOUND;
  do {
    const char* name = found.cFileName;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
    const DWORD attributes = found.dwFileAttributes;
    each(context, name,
         (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
             (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0);
  } while (::FindNextFileA(search, &found));
  ::FindClose(search);
  return true;
}

bool SystemMakeDirectory(const char* path) { return ::CreateDirectoryA(path, nullptr) != 0; }

bool SystemRemoveDirectory(const char* path) { return ::RemoveDirectoryA(path) != 0; }

bool SystemGetCurrentDir(char* buffer, size_t size) {
  DWORD length = ::GetCurrentDirectoryA(static_cast<DWORD>(size), buffer);
  return length != 0 && length < size;
}

bool SystemSetCurrentDir(const char* path) { return ::SetCurrentDirectoryA(path) != 0; }

void* SystemLoadLibrary(const char* windowsName) {
  // A companion beside stanvex.dll wins over one elsewhere on the search path.
  const char* dir = LibraryDirectory();
  if (dir[0] != '\0' && std::strpbrk(windowsName, "\\/:") == nullptr) {
    std::string beside = std::string(dir) + "\\" + windowsName;
    const DWORD attributes = ::GetFileAttributesA(beside.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      if (HMODULE handle = ::LoadLibraryA(beside.c_str())) return handle;
    }
  }
  return ::LoadLibraryA(windowsName);
}

// Windows export tables carry the decorated names: look them up as given.
void* SystemFindFunction(void* library, const char* decoratedName) {
  return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(library), decoratedName));
}

void SystemFreeLibrary(void* library) { ::FreeLibrary(static_cast<HMODULE>(library)); }

uint32_t SystemTickCount() { return static_cast<uint32_t>(::GetTickCount()); }

void SystemSleep(uint32_t milliseconds) { ::Sleep(milliseconds); }

int SystemLastError() { return static_cast<int>(::GetLastError()); }

void SystemSetLastError(int error) { ::SetLastError(static_cast<DWORD>(error)); }

bool SystemIsTerminal(int fd) { return ::_isatty(fd) != 0; }

bool SystemReadHiddenLine(const char* prompt, char* out, size_t size) {
  if (::_isatty(0) == 0) return false;
  out[0] = '\0';
  HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
  DWORD saved = 0;
  if (!::GetConsoleMode(input, &saved)) return false;
  std::fputs(prompt, stderr);
  std::fflush(stderr);
  ::SetConsoleMode(input, saved & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
  std::string line;
  char c;
  DWORD got = 0;
  bool ended = false;
  while (::ReadFile(input, &c, 1, &got, nullptr) && got == 1) {
    if (c == '\n') {
      ended = true;
      break;
    }
    line += c;
  }
  ::SetConsoleMode(input, saved);
  std::fputs("\n", stderr);
  if (!ended && line.empty()) return false;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  std::snprintf(out, size, "%s", line.c_str());
  return true;
}

bool SystemMakeTempDirectory(const char* prefix, char* out, size_t size) {
  char base[MAX_PATH + 1];
  DWORD length = ::GetTempPathA(sizeof base, base);
  if (length == 0 || length >= sizeof base) return false;
  // GetTempFileNameA makes a unique empty file; replace it by a directory of
  // the same name, retrying when another process takes the name meanwhile.
  for (int attempt = 0; attempt < 16; ++attempt) {
    char name[MAX_PATH + 1];
    if (::GetTempFileNameA(base, prefix, 0, name) == 0) return false;
    ::DeleteFileA(name);
    if (::CreateDirectoryA(name, nullptr)) {
      if (std::strlen(name) >= size) {
        ::RemoveDirectoryA(name);
        return false;
      }
      std::snprintf(out, size, "%s", name);
      return true;
    }
    if (::GetLastError() != ERROR_ALREADY_EXISTS) return false;
  }
  return false;
}

bool SystemGatewayHostResolves(const char* host) {
  WSADATA data;
  if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) return false;
  addrinfo hints;
  std::memset(&hints, 0, sizeof hints);
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  bool resolves = ::getaddrinfo(host, nullptr, &hints, &found) == 0 && found != nullptr;
  if (found != nullptr) ::freeaddrinfo(found);
  ::WSACleanup();
  return resolves;
}

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
  return ::_fdopen(file, forWriting ? "wb" : "rb");
}

}  // namespace stanvex::platform

#endif  // _WIN32
