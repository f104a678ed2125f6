// Path operations on the library's fixed-size name buffers. Directory texts
// are joined with this platform's separator.
#ifndef STANVEX_BASE_PATHS_H
#define STANVEX_BASE_PATHS_H

#include <cstddef>

#include "base/result.h"

namespace stanvex {

constexpr size_t kPathSize = 256;     // name buffers given to JoinPath
constexpr size_t kMaxJoinDirectory = 239;

// directory: in/out, a writable text with room for one more character; name:
// in/out, a kPathSize buffer holding a file name (at most 127 characters are
// kept) on entry and the joined path on exit. Fails with "Path is too long "
// + directory when directory has 240 or more characters (nothing is changed
// then). A separator is appended to directory itself when it does not end
// with one. An empty directory leaves name as is.
Result JoinPath(char* directory, char* name);

// Succeeds when directory can be entered, else fails with "Error: the
// directory " + directory + " does not exist". The current directory is
// unchanged afterwards in either case.
Result CheckDirectory(const char* directory);

// Removes one trailing separator (looking at no more than 256 characters).
void StripTrailingBackslash(char* text);

// name: in/out, a kPathSize buffer. Removes leading blanks, then replaces the
// extension after the last dot of the last component by extension (which
// includes its dot), or appends extension when the last component has no dot.
void ReplaceExtension(char* name, const char* extension);

// True when name (at most size bytes looked at) can only name a file in the
// current directory: not empty, no '/', '\\' or ':', no control character,
// and not "." or "..". Names formed from catalogue values (which arrive by
// plain FTP) are checked with it before any file is made under them.
bool IsPlainFileName(const char* name, size_t size = kPathSize);

// Makes directory (not null) the WorkingDirectory where every temporary file
// of a request lives: fails with CheckDirectory's text when it cannot be
// entered, or "Error: the directory " + directory + " is too long" when it
// does not fit (WorkingDirectory is then unchanged). The export ChangeTempDir.
Result SetWorkingDirectory(const char* directory);

}  // namespace stanvex

#endif  // STANVEX_BASE_PATHS_H
