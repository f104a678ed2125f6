// The operating system behind one small interface. This header and its one
// implementation file per platform are the only places that know which system
// the library runs on. Every function here that touches the system calls
// the installed table of methods.h, which tests wrap to fail calls.
#ifndef STANVEX_PLATFORM_PLATFORM_H
#define STANVEX_PLATFORM_PLATFORM_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

#if defined(_WIN32)
// <windows.h> turns CopyFile, MoveFile and DeleteFile into macros. Include it
// once here and drop those three, so the names below mean the same in every
// file whichever of the two headers it includes first.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <winsock2.h>
#include <windows.h>
#undef CopyFile
#undef MoveFile
#undef DeleteFile
#endif

namespace stanvex::platform {

// The separator of this platform's paths: '\\' on Windows, '/' elsewhere.
char PathSeparator();

// True when c separates path components here ('\\' or '/' on Windows, '/' elsewhere).
bool IsPathSeparator(char c);

// Compares two file names as this platform's file system does: without regard
// to case on Windows, byte for byte elsewhere. Returns true when equal.
bool SameFileName(const char* a, const char* b);

// True when a and b name the same existing directory (same device and inode on
// POSIX; the same full path without regard to case on Windows).
bool SameDirectory(const char* a, const char* b);

// True when a and b both exist and are one file, whatever the names: the
// same path spelt otherwise, a link to it, a hard link (same device and
// inode on POSIX; same volume and file index on Windows).
bool SameFile(const char* a, const char* b);

bool FileExists(const char* path);
bool IsDirectory(const char* path);

// Copies source to target. With replace false the copy fails when target
// exists. The target is written to a temporary name beside it (target +
// ".part", created as CreateNewFile does) and renamed, so a failed copy never
// leaves a partial target and a link under either name is never followed. Returns true on success.
bool CopyFile(const char* source, const char* target, bool replace);

// Renames source to target, replacing target (a link under the target's
// name is replaced itself, never the file it points to). True on success.
bool MoveFile(const char* source, const char* target);

// Renames source to target only when no entry of the target's name exists
// (a link, even a broken one, counts). True on success.
bool RenameNoReplace(const char* source, const char* target);

// Opens an existing file for binary reading, or null with the system error.
// Close it with std::fclose.
std::FILE* OpenForReading(const char* path);

// Creates path as a new empty file and returns it open for binary writing,
// or null with the system error. A stale file or link of that name is
// removed first (a link itself, never its target; a device such as
// /dev/null is opened as it is, never removed); the file is then created
// exclusively and never through a link (O_CREAT|O_EXCL|O_NOFOLLOW on POSIX,
// CREATE_NEW on Windows), so a link planted under the name, or one planted
// between the removal and the creation, cannot redirect the write. Close it
// with std::fclose, whose result tells whether the last data reached the file.
std::FILE* CreateNewFile(const char* path);

// As CreateNewFile, for a file that holds a secret (a password): on POSIX its
// mode is narrowed to 0600 (owner only) before anything is written; on
// Windows it takes its folder's access, as any new file does.
std::FILE* CreateOwnerOnlyFile(const char* path);

// Copies source into a new file target created as CreateNewFile does. A
// failed copy removes target. True on success.
bool CopyToNewFile(const char* source, const char* target);

// Deletes a file. True on success (false also when it did not exist).
bool DeleteFile(const char* path);

// Size of a file in bytes, or -1 when it cannot be read.
int64_t FileSize(const char* path);

// The process current directory into buffer (size bytes with its NUL).
// False when it does not fit or cannot be read; buffer then holds "".
bool GetCurrentDir(char* buffer, size_t size);

// Makes path the process current directory. True on success.
bool SetCurrentDir(const char* path);

// Called by ListDirectory for each entry (never "." or ".."): its name, and
// whether it is a directory itself (a link to one is not).
using DirectoryEntryFunction = void (*)(void* context, const char* name, bool isDirectory);

// Calls each(context, name, isDirectory) for every entry of the directory
// path. False when it cannot be read.
bool ListDirectory(const char* path, DirectoryEntryFunction each, void* context);

// Removes path with everything below it. A link inside is removed itself,
// never followed. True when nothing of that name is left.
bool RemoveTree(const char* path);

// Creates a directory (one level). True when it exists afterwards.
bool MakeDirectory(const char* path);

// As MakeDirectory, but an existing entry counts only when it is a directory
// itself: a link (or a Windows junction) of that name makes it fail, so a
// path built below it cannot lead out of the folder it was meant to stay in.
bool MakeDirectoryNotLink(const char* path);

// A loaded dynamic library, or null.
using LibraryHandle = void*;

// Loads a library by its Windows name ("RIN2OBN.DLL"). On POSIX the name maps
// to lib<name>.so in lower case, looked up first in the directory that holds
// the stanvex library itself, then on the default search path. Null on
// failure.
LibraryHandle LoadLibraryByName(const char* windowsName);

// Looks up a function by its decorated Windows name ("_ConvertFile@12"). On
// POSIX the decoration is removed ("ConvertFile"). Null when missing.
void* FindFunction(LibraryHandle library, const char* decoratedName);

void FreeLibrary(LibraryHandle library);

// The POSIX file name a Windows library name maps to ("RIN2OBN.DLL" ->
// "librin2obn.so"); exposed for tests. Writes at most size bytes.
void MapLibraryName(const char* windowsName, char* out, size_t size);

// The plain name of a decorated function name ("_Fn@12" -> "Fn").
void UndecorateName(const char* decorated, char* out, size_t size);

// Milliseconds from an arbitrary start; wraps at 2^32.
uint32_t TickCount();

void SleepMilliseconds(uint32_t milliseconds);

// The last system error code of the calling thread (errno / GetLastError).
int LastSystemError();
void SetLastSystemError(int error);

// Why a write failed, from its system error, as a message names it: "disk
// full", "read-only file system", "read-only for this user (permission
// denied)", or the system's own text for any other error.
const char* WriteErrorReason(int systemError);

// True when the standard stream fd (1 out, 2 error) is a terminal.
bool IsTerminal(int fd);

// Writes prompt to standard error and reads one line from the terminal on
// standard input without echoing it (a password). At most size-1 bytes are
// kept; the line end is not. False when standard input is not a terminal or
// cannot be read.
bool ReadHiddenLine(const char* prompt, char* out, size_t size);

// Makes a new private directory under the system's temporary folder whose
// name starts with prefix; writes its path into out. False on failure.
bool MakeTempDirectory(const char* prefix, char* out, size_t size);

// The directory holding the stanvex library (with no trailing separator),
// or "" when unknown.
const char* LibraryDirectory();

// True when the gateway host name can be used for a session. On Windows the
// system's resolver is asked, since the system's internet library fails every
// connection through a gateway that does not resolve. Elsewhere always true:
// our own internet library drops such a gateway by itself.
bool GatewayHostResolves(const char* host);

}  // namespace stanvex::platform

#endif  // STANVEX_PLATFORM_PLATFORM_H
