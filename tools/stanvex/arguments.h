// Checks of the values a user types: times, the interval, the files a
// command reads and writes, and the FTP password. Each refuses what the library could not use with a
// message naming the value (thrown as CommandFailure).
#ifndef STANVEX_TOOLS_ARGUMENTS_H
#define STANVEX_TOOLS_ARGUMENTS_H

#include <string>

namespace stanvex::cli {

// The finest resampling interval accepted, seconds. Finer ones make files of
// gigabytes from an hour of data.
constexpr double kFinestInterval = 0.05;

// GPS seconds from "YYYY-MM-DD", "YYYY-MM-DD HH:MM[:SS]" (or with a 'T') or
// a number of GPS seconds. Refuses dates that do not exist, numbers that are
// not finite, times before the GPS epoch and times beyond what 32-bit GPS
// seconds hold (2048-01-24 03:14:07 GPS).
double ParseTime(const std::string& text);

// Refuses an interval that is not finite, not positive or finer than
// kFinestInterval; what names the value in the message ("--interval").
void CheckInterval(double seconds, const std::string& what);

// Refuses an output that is the input itself (the same file under another
// path, a link or a hard link too), before anything is written: writing it
// would destroy the input. The message names both.
void RefuseSameFile(const std::string& input, const std::string& output);

// Where a password may come from, most explicit first.
struct PasswordSources {
  std::string user;          // --user ("" for anonymous)
  bool given = false;        // --password was on the command line
  std::string password;      // its value
  std::string file;          // --password-file ("" when not given)
  bool token = false;        // the service takes a bearer token: no user name needed
};

// The password to log in with: --password, else the first line of
// --password-file, else, when a user is named, the variable STANVEX_PASSWORD
// or, when standard input is a terminal, one typed there without echo. A
// bearer token (token) is taken from the variable without a user name, and
// is not asked for on the terminal (the host's netrc entry may hold it).
// *present is false when there is none (anonymous login or none asked).
std::string ResolvePassword(const PasswordSources& sources, bool* present);

}  // namespace stanvex::cli

#endif  // STANVEX_TOOLS_ARGUMENTS_H
