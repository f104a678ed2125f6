// Creation of a companion library's output files: a new file, never written
// through a link. The companion libraries are built apart from the core, so
// they carry this small function of their own.
#ifndef STANVEX_LIBS_COMMON_NEW_FILE_H
#define STANVEX_LIBS_COMMON_NEW_FILE_H

#include <cstdio>

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace stanvex_companion {

// Creates path as a new empty file open for binary writing, or null. A stale
// entry of that name is removed first (a link is removed itself, never its
// target), then the file is created exclusively and without following a link
// (O_CREAT|O_EXCL|O_NOFOLLOW; CREATE_NEW on Windows): a link planted under
// the name cannot redirect the write.
inline std::FILE* CreateNewFile(const char* path) {
#if defined(_WIN32)
  ::DeleteFileA(path);
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
  }
  return file;
#else
  ::unlink(path);
  int fd = ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  std::FILE* file = ::fdopen(fd, "wb");
  if (file == nullptr) {
    ::close(fd);
    ::unlink(path);
  }
  return file;
#endif
}

}  // namespace stanvex_companion

#endif  // STANVEX_LIBS_COMMON_NEW_FILE_H
