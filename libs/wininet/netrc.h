// Logins from the user's netrc file, for hosts that were given no account.
//
// The file is the conventional one of FTP clients and curl: whitespace
// separated tokens, "machine NAME" opening an entry that "login", "password"
// and "account" fill, "macdef NAME" followed by lines up to an empty line,
// and "default" for any host. A token may be written in double quotes with
// \" and \\ escapes. "default" entries are skipped: a login is only ever
// sent to a host the file names.
#ifndef STANVEX_WININET_NETRC_H
#define STANVEX_WININET_NETRC_H

#include <cstddef>
#include <string>

namespace stanvex::wininet {

struct NetrcLogin {
  std::string login;
  std::string password;
};

// Looks host up (without regard to case) in text[0, length). True and
// *login filled for the first "machine" entry of that name that has a
// login.
bool FindNetrcLogin(const char* text, size_t length, const std::string& host, NetrcLogin* login);

// The netrc file's path: the NETRC variable when set, else ~/.netrc
// (%USERPROFILE%\_netrc on Windows); "" when there is no home.
std::string NetrcPath();

// Looks host up in the netrc file (files over 1 MiB are not read). False
// when there is no file, no entry or no home.
bool LookupNetrc(const std::string& host, NetrcLogin* login);

}  // namespace stanvex::wininet

#endif  // STANVEX_WININET_NETRC_H
