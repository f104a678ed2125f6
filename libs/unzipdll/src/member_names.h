// Checks on the member names stored in a zip archive.
#ifndef STANVEX_UNZIPDLL_MEMBER_NAMES_H
#define STANVEX_UNZIPDLL_MEMBER_NAMES_H

namespace unzipdll {

// True when name stays inside the extraction directory: not empty, not
// absolute ("/x", "\x", "C:x"), and no component ".." (either separator
// counts, so an archive made on any system is judged alike).
bool IsSafeMemberName(const char* name);

// True when name matches pattern: '*' any run of characters, '?' one
// character, anything else itself. "*.*" matches every name, with or without
// a dot, as it does on Windows.
bool MatchesFileSpec(const char* pattern, const char* name);

}  // namespace unzipdll

#endif  // STANVEX_UNZIPDLL_MEMBER_NAMES_H
