// Logins from the user's netrc file, for hosts that were given no account.
//
// The file is the conventional one of FTP clients and curl: whitespace
// separated tokens, "machine NAME" opening an entry that "login", "password"
// and "account" fill, "macdef NAME" followed by lines up to an empty line,
// and "default" for any host. A token may be written in double quotes with
// \" and \\ escapes. A line whose first non-blank character is '#' is a
// comment (a '#' further on is part of a token, as in a password "a#b").
// "default" entries are skipped: a login is only ever sent to a host the
// file names.
//
// A keyword whose value is missing or is itself a keyword (unquoted) makes
// its own entry unusable; the keyword is then read as a keyword, so the words
// after it never fill that entry with another entry's login. So does a value
// whose quote is still open at the end of its line, or that holds a control
// character.
#ifndef STANVEX_WININET_NETRC_H
#define STANVEX_WININET_NETRC_H

#include <cstddef>
#include <string>

namespace stanvex::wininet {

struct NetrcLogin {
  std::string login;
  std::string password;
};

enum class NetrcLookup {
  kNoEntry,        // no usable entry of the host: no login from the file
  kFound,          // *login filled
  kUnusableEntry,  // the host's entry has a keyword without its value
  kFileTooLarge,   // the file is over kMaxNetrcBytes and was not read
};

// Files over this size are not read (and say so: kFileTooLarge).
constexpr size_t kMaxNetrcBytes = 1 << 20;

// True when text holds a byte below 0x20 or DEL: such a login or token
// would break the request line or header it goes into.
bool HasControlCharacter(const std::string& text);

// Looks host up (without regard to case) in text[0, length): the first
// "machine" entry of that name that has a login or a password fills *login
// (an entry of a bearer token may have a password alone). An unusable
// entry of that name met before it ends the search.
NetrcLookup FindNetrcLogin(const char* text, size_t length, const std::string& host,
                           NetrcLogin* login);

// The netrc file's path: the NETRC variable when set, else ~/.netrc
// (%USERPROFILE%\_netrc on Windows); "" when there is no home.
std::string NetrcPath();

// Looks host up in the netrc file. kNoEntry also when there is no file or
// no home.
NetrcLookup LookupNetrc(const std::string& host, NetrcLogin* login);

}  // namespace stanvex::wininet

#endif  // STANVEX_WININET_NETRC_H
