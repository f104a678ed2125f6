// The table of system calls behind the platform interface.
//
// Every function of platform.h that touches the operating system goes
// through the installed table; the system's own table is installed at start.
// A test installs a table of its own to watch or fail calls: it copies the
// table that InstallMethods returns, replaces the entries it wants to wrap,
// and forwards from them to the copied ones.
//
// Files in the table are descriptors of the C run time (on Windows those of
// _open and _open_osfhandle). The streams of platform.h (OpenForReading,
// CreateNewFile) are made over them; on POSIX every read, write, seek and
// close of such a stream calls the table's entry, so a table that fails its
// Nth write fails the Nth buffer the stream writes out. (The Windows C run
// time moves a stream's bytes itself: there a wrapper fails a file's writes
// by the descriptor it returns, one open for reading only.)
//
// Versions: a table states the version it was written for; entries added in
// later versions are then taken from the system's table, and so is every
// entry a table leaves null.
//
// Threads: InstallMethods is called while no request runs (the entries are
// read from the request's thread and from the internet library's thread).
#ifndef STANVEX_PLATFORM_METHODS_H
#define STANVEX_PLATFORM_METHODS_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "platform/platform.h"

namespace stanvex::platform {

constexpr int kMethodsVersion = 1;

// What a path names, as FileStatus reports it.
enum class FileKind { kMissing, kFile, kDirectory, kLink, kOther };

struct FileStatus {
  FileKind kind;
  int64_t size;  // bytes of a file
  // Which file it is: device and inode on POSIX, volume and file index on
  // Windows. Two paths with equal pairs are one file.
  uint64_t volume;
  uint64_t index;
};

struct Methods {
  int version;  // kMethodsVersion of the code that filled the table

  // Files. Descriptors or -1; counts of bytes or -1; 0 or -1. A failure
  // leaves its cause as the last system error.
  int (*openRead)(const char* path);   // an existing file, for reading
  int (*createNew)(const char* path);  // as CreateNewFile (platform.h) makes it
  long (*read)(int file, void* buffer, size_t size);
  long (*write)(int file, const void* data, size_t size);
  int64_t (*seek)(int file, int64_t offset, int whence);  // SEEK_SET/CUR/END
  int (*close)(int file);

  // Names. True on success. rename with replace false fails when any entry
  // of target's name exists; with replace true a link under the target's
  // name is replaced itself.
  bool (*rename)(const char* source, const char* target, bool replace);
  bool (*remove)(const char* path);  // a file or link (a read-only one too)
  // lstat: a link is reported as kLink; true when path exists.
  bool (*status)(const char* path, bool followLinks, FileStatus* status);
  bool (*listDirectory)(const char* path, DirectoryEntryFunction each, void* context);
  bool (*makeDirectory)(const char* path);  // one level; false when it exists
  bool (*removeDirectory)(const char* path);  // an empty one
  bool (*makeTempDirectory)(const char* prefix, char* out, size_t size);

  // The process current directory (as GetCurrentDir/SetCurrentDir).
  bool (*getCurrentDir)(char* buffer, size_t size);
  bool (*setCurrentDir)(const char* path);

  // Libraries (as LoadLibraryByName, FindFunction, FreeLibrary).
  void* (*loadLibrary)(const char* windowsName);
  void* (*findFunction)(void* library, const char* decoratedName);
  void (*freeLibrary)(void* library);

  // Time.
  uint32_t (*tickCount)();
  void (*sleep)(uint32_t milliseconds);

  // The last system error of the calling thread, read and set.
  int (*lastError)();
  void (*setLastError)(int error);

  // Terminal and names (as IsTerminal, ReadHiddenLine, GatewayHostResolves).
  bool (*isTerminal)(int fd);
  bool (*readHiddenLine)(const char* prompt, char* out, size_t size);
  bool (*gatewayHostResolves)(const char* host);
};

// The system's own table: every entry filled.
const Methods& SystemMethods();

// Installs methods (null: the system's own) and returns the table installed
// before, which stays valid: a wrapper forwards to it. methods must stay
// valid until another table replaces it.
const Methods* InstallMethods(const Methods* methods);

// System error codes, for a wrapper's made-up failures and the checks of
// the platform's own code.
int DiskFullError();       // ENOSPC / ERROR_DISK_FULL
int NotFoundError();       // ENOENT / ERROR_FILE_NOT_FOUND
int InputOutputError();    // EIO / ERROR_READ_FAULT
int AccessDeniedError();   // EACCES / ERROR_ACCESS_DENIED
int AlreadyExistsError();  // EEXIST / ERROR_FILE_EXISTS
int CrossDeviceError();    // EXDEV / ERROR_NOT_SAME_DEVICE

// A stream of the C library over file, a descriptor of the table, for
// binary writing (forWriting) or reading; std::fclose closes the descriptor
// too. On POSIX the stream reads, writes, seeks and closes through the
// installed table's entries; the Windows C run time moves the bytes itself.
// Null when it cannot be made (file then stays open).
std::FILE* StreamOver(int file, bool forWriting);

// The installed table's file entries, as the streams of StreamOver call them.
long InstalledRead(int file, void* buffer, size_t size);
long InstalledWrite(int file, const void* data, size_t size);
int64_t InstalledSeek(int file, int64_t offset, int whence);
int InstalledClose(int file);

}  // namespace stanvex::platform

#endif  // STANVEX_PLATFORM_METHODS_H
