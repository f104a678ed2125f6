// Creation of a companion library's output files: a new file, never written
// through a link. The companion libraries are built apart from the core, so
// they carry this small function of their own.
#ifndef STANVEX_LIBS_COMMON_NEW_FILE_H
#define STANVEX_LIBS_COMMON_NEW_FILE_H

#include <cstdio>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace stanvex_companion {

// Creates path as a new empty file open for binary writing, or null. A stale
// entry of that name is removed first (a link is removed itself, never its
// target), then the file is created exclusively and without following a link
// (O_CREAT|O_EXCL|O_NOFOLLOW; on Windows _O_EXCL, which opens as CREATE_NEW):
// a link planted under the name cannot redirect the write.
inline std::FILE* CreateNewFile(const char* path) {
#if defined(_WIN32)
  // remove deletes a link itself; the C library opens _O_CREAT|_O_EXCL as
  // CREATE_NEW, which fails on any entry of the name.
  std::remove(path);
  int fd = ::_open(path, _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                   _S_IREAD | _S_IWRITE);
  if (fd < 0) return nullptr;
  std::FILE* file = ::_fdopen(fd, "wb");
  if (file == nullptr) {
    ::_close(fd);
    std::remove(path);
  }
  return file;
#else
  struct stat st;
  int fd;
  if (::lstat(path, &st) == 0 && !S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) {
    // A device or pipe named as the output ("/dev/null") is written into,
    // never removed; a directory makes the open fail.
    fd = ::open(path, O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
  } else {
    ::unlink(path);
    fd = ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  }
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
