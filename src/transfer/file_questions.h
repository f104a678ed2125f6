// Asking servers whether files exist, many questions side by side: the
// questions of one address and login share a few connections, each driven
// by a thread of its own through a session without a status handler
// (requests on it run on the calling thread and return their outcome).
//
// Threads: AskSideBySide is called from one thread, which starts and joins
// the others; the questions are written by those threads only while it runs.
#ifndef STANVEX_TRANSFER_FILE_QUESTIONS_H
#define STANVEX_TRANSFER_FILE_QUESTIONS_H

#include <cstdint>
#include <string>
#include <vector>

#include "base/result.h"
#include "transfer/internet_binding.h"
#include "transfer/service_login.h"

namespace stanvex {

// Connections opened to one address and login at most.
constexpr int32_t kConnectionsPerAddress = 4;

struct FileQuestion {
  // Asked: the paths (alternatives of one file, in order) at address with
  // login (its texts the caller's, alive while asking).
  std::string address;
  AddressLogin login;
  std::vector<std::string> paths;

  enum class Outcome { kNotAsked, kPresent, kMissing, kFailed };
  Outcome outcome = Outcome::kNotAsked;
  std::string found;    // the path that is there
  int64_t size = -1;    // its size; -1 when the server did not tell
  uint32_t error = 0;   // kFailed: the internet library's error code (of the connection
                        // when none could be made)
};

// Asks every question through binding (bound, with FtpFindFirstFileA). A
// question's paths are asked in order until one is there; a missing one
// leads to the next, any other failure ends the question (kFailed). When no
// connection to its address can be made, a question fails with the
// connection's error. Fails only when the session cannot be opened or a
// stop was raised (FtpStopCount), which ends the questions still open.
Result AskSideBySide(const InternetBinding& binding, const std::vector<FileQuestion*>& questions);

// True for the errors that mean "not there": ERROR_NO_MORE_FILES, our
// library's ERROR_INTERNET_ITEM_NOT_FOUND, and the system's wininet's
// refusal of an FTP command (a missing file among its causes).
bool IsMissingFileError(uint32_t error, const InternetBinding& binding);

// A short reason for a failed question or connection: "token needed (es
// login, then es user get-access-token)" for a refusal of a bearer token,
// "login refused", "cannot be reached", "certificate not trusted", ...
std::string QuestionFailureText(uint32_t error, const AddressLogin& login);

}  // namespace stanvex

#endif  // STANVEX_TRANSFER_FILE_QUESTIONS_H
