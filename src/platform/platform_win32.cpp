// Windows implementation of the platform interface: Win32 calls with ANSI
// paths, backslash separators and file names compared without regard to case.
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

namespace {

// The volume and file index of an existing file or directory; false when it
// cannot be opened.
bool FileIdentity(const char* path, BY_HANDLE_FILE_INFORMATION* info) {
  // FILE_FLAG_BACKUP_SEMANTICS lets a directory be opened too.
  HANDLE handle = ::CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  const bool known = ::GetFileInformationByHandle(handle, info) != 0;
  ::CloseHandle(handle);
  return known;
}

}  // namespace

bool SameFile(const char* a, const char* b) {
  BY_HANDLE_FILE_INFORMATION ia, ib;
  if (a == nullptr || b == nullptr || !FileIdentity(a, &ia) || !FileIdentity(b, &ib)) return false;
  return ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
         ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
}

bool FileExists(const char* path) {
  DWORD attributes = ::GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool IsDirectory(const char* path) {
  DWORD attributes = ::GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::FILE* CreateNewFile(const char* path) {
  if (InjectedWriteFailure(path)) {
    ::SetLastError(ERROR_DISK_FULL);
    return nullptr;
  }
  // DeleteFile removes a link itself; CREATE_NEW then fails on any entry of
  // the name, a link planted meanwhile included.
  DeleteFile(path);
  HANDLE handle = ::CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY);
  if (fd < 0) {
    ::CloseHandle(handle);
    ::DeleteFileA(path);
    return nullptr;
  }
  std::FILE* file = ::_fdopen(fd, "wb");
  if (file == nullptr) {
    ::_close(fd);
    ::DeleteFileA(path);
    return nullptr;
  }
  return InjectedContentFailure(path) ? RefuseWrites(file, path) : file;
}

bool CopyToNewFile(const char* source, const char* target) {
  if (InjectedWriteFailure(target)) {
    ::SetLastError(ERROR_DISK_FULL);
    return false;
  }
  DeleteFile(target);
  if (InjectedContentFailure(target)) {
    // A copy that runs out of room removes what it made.
    ::SetLastError(ERROR_DISK_FULL);
    return false;
  }
  // With bFailIfExists the copy creates its target as CREATE_NEW does.
  if (::CopyFileA(source, target, TRUE)) return true;
  DWORD saved = ::GetLastError();
  if (saved != ERROR_FILE_EXISTS) ::DeleteFileA(target);
  ::SetLastError(saved);
  return false;
}

bool CopyFile(const char* source, const char* target, bool replace) {
  if (!replace && ::GetFileAttributesA(target) != INVALID_FILE_ATTRIBUTES) {
    ::SetLastError(ERROR_FILE_EXISTS);
    return false;
  }
  // Copy to a temporary name beside the target first, so that a failed copy
  // (disk full, source gone) never leaves a partial target behind.
  std::string temp = std::string(target) + ".part";
  if (!CopyToNewFile(source, temp.c_str())) return false;
  DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
  bool injected = InjectedWriteFailure(target);
  if (injected || !::MoveFileExA(temp.c_str(), target, flags)) {
    DWORD saved = injected ? ERROR_DISK_FULL : ::GetLastError();
    ::DeleteFileA(temp.c_str());
    ::SetLastError(saved);
    return false;
  }
  return true;
}

bool MoveFile(const char* source, const char* target) {
  if (InjectedWriteFailure(target)) {
    ::SetLastError(ERROR_DISK_FULL);
    return false;
  }
  return ::MoveFileExA(source, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED) != 0;
}

bool RenameNoReplace(const char* source, const char* target) {
  if (InjectedWriteFailure(target)) {
    ::SetLastError(ERROR_DISK_FULL);
    return false;
  }
  return ::MoveFileExA(source, target, 0) != 0;
}

// A read-only file is deleted too, as unlink does on POSIX: the library only
// deletes its own work files.
bool DeleteFile(const char* path) {
  if (::DeleteFileA(path) != 0) return true;
  DWORD attributes = ::GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_READONLY))
    return false;
  ::SetFileAttributesA(path, attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
  return ::DeleteFileA(path) != 0;
}

int64_t FileSize(const char* path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!::GetFileAttributesExA(path, GetFileExInfoStandard, &data)) return -1;
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return -1;
  return (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool GetCurrentDir(char* buffer, size_t size) {
  if (size == 0) return false;
  DWORD length = ::GetCurrentDirectoryA(static_cast<DWORD>(size), buffer);
  if (length != 0 && length < size) return true;
  buffer[0] = '\0';
  return false;
}

bool SetCurrentDir(const char* path) {
  return path != nullptr && ::SetCurrentDirectoryA(path) != 0;
}

bool MakeDirectory(const char* path) {
  if (::CreateDirectoryA(path, nullptr)) return true;
  return ::GetLastError() == ERROR_ALREADY_EXISTS && IsDirectory(path);
}

bool MakeDirectoryNotLink(const char* path) {
  if (::CreateDirectoryA(path, nullptr)) return true;
  if (::GetLastError() != ERROR_ALREADY_EXISTS) return false;
  // Symbolic links and junctions are reparse points.
  const DWORD attributes = ::GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
         (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

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

LibraryHandle LoadLibraryByName(const char* windowsName) {
  // A companion beside stanvex.dll wins over one elsewhere on the search path.
  const char* dir = LibraryDirectory();
  if (dir[0] != '\0' && std::strpbrk(windowsName, "\\/:") == nullptr) {
    std::string beside = std::string(dir) + "\\" + windowsName;
    if (FileExists(beside.c_str())) {
      if (HMODULE handle = ::LoadLibraryA(beside.c_str())) return handle;
    }
  }
  return ::LoadLibraryA(windowsName);
}

// Windows export tables carry the decorated names: look them up as given.
void* FindFunction(LibraryHandle library, const char* decoratedName) {
  if (library == nullptr) return nullptr;
  return reinterpret_cast<void*>(
      ::GetProcAddress(static_cast<HMODULE>(library), decoratedName));
}

void FreeLibrary(LibraryHandle library) {
  if (library != nullptr) ::FreeLibrary(static_cast<HMODULE>(library));
}

uint32_t TickCount() { return static_cast<uint32_t>(::GetTickCount()); }

void SleepMilliseconds(uint32_t milliseconds) { ::Sleep(milliseconds); }

int LastSystemError() { return static_cast<int>(::GetLastError()); }

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

bool IsTerminal(int fd) { return ::_isatty(fd) != 0; }

bool ReadHiddenLine(const char* prompt, char* out, size_t size) {
  if (size == 0 || ::_isatty(0) == 0) return false;
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

bool MakeTempDirectory(const char* prefix, char* out, size_t size) {
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

bool GatewayHostResolves(const char* host) {
  if (host == nullptr || host[0] == '\0') return false;
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

}  // namespace stanvex::platform

#endif  // _WIN32
