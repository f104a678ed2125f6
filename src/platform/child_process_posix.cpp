// POSIX child processes: posix_spawn (no code runs between fork and exec,
// which matters in a process with threads), a pipe read without blocking.
#include "platform/child_process.h"
#include "platform/platform.h"

#if !defined(_WIN32)

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

extern char** environ;

namespace stanvex::platform {
namespace {

int DecodeStatus(int raw) {
  if (WIFEXITED(raw)) return WEXITSTATUS(raw);
  if (WIFSIGNALED(raw)) return 128 + WTERMSIG(raw);
  return 1;
}

}  // namespace

ChildProcess::~ChildProcess() {
  if (running()) StopWithin(kStopGraceMilliseconds);
  if (output_ >= 0) ::close(static_cast<int>(output_));
}

bool ChildProcess::Start(const std::vector<std::string>& arguments,
                         const std::vector<std::string>& changes, std::string* error) {
  if (started_ || arguments.empty()) {
    *error = "no program to run";
    return false;
  }
  int pipe[2];
  if (::pipe2(pipe, O_CLOEXEC) != 0) {
    *error = std::string("cannot make a pipe: ") + std::strerror(errno);
    return false;
  }
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  // Our environment without the variables changed, then those set.
  std::vector<std::string> variables;
  for (char** each = environ; *each != nullptr; ++each) {
    const std::string variable = *each;
    const std::string name = variable.substr(0, variable.find('='));
    bool changed = false;
    for (const std::string& change : changes)
      changed = changed || change.substr(0, change.find('=')) == name;
    if (!changed) variables.push_back(variable);
  }
  for (const std::string& change : changes)
    if (change.find('=') != std::string::npos) variables.push_back(change);
  std::vector<char*> envp;
  for (std::string& variable : variables) envp.push_back(variable.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, pipe[1], 1);
  posix_spawn_file_actions_adddup2(&actions, pipe[1], 2);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
  // Nothing else goes to the child: descriptors that other threads opened
  // without close-on-exec (libcurl's sockets among them) would keep their
  // connections open for as long as the child runs.
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
#endif
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipe[1]);
  if (spawned != 0) {
    ::close(pipe[0]);
    *error = "cannot run " + arguments[0] + ": " + std::strerror(spawned);
    return false;
  }
  ::fcntl(pipe[0], F_SETFL, ::fcntl(pipe[0], F_GETFL) | O_NONBLOCK);
  process_ = pid;
  output_ = pipe[0];
  started_ = true;
  return true;
}

bool ChildProcess::ReadAvailable(std::string* out) {
  if (outputEnded_ || output_ < 0) return false;
  char buffer[4096];
  for (;;) {
    const ssize_t got = ::read(static_cast<int>(output_), buffer, sizeof buffer);
    if (got > 0) {
      out->append(buffer, static_cast<size_t>(got));
      continue;
    }
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
    outputEnded_ = true;
    return false;
  }
}

bool ChildProcess::Ended(int* status) {
  if (!started_) return false;
  if (!ended_) {
    int raw = 0;
    const pid_t done = ::waitpid(static_cast<pid_t>(process_), &raw, WNOHANG);
    if (done == 0) return false;
    ended_ = true;
    status_ = done > 0 ? DecodeStatus(raw) : 1;
  }
  *status = status_;
  return true;
}

void ChildProcess::Stop() {
  if (running()) ::kill(static_cast<pid_t>(process_), SIGTERM);
}

void ChildProcess::Kill() {
  if (running()) ::kill(static_cast<pid_t>(process_), SIGKILL);
}

int ChildProcess::StopWithin(uint32_t graceMilliseconds) {
  Stop();
  const uint32_t started = TickCount();
  int status = 0;
  std::string dropped;
  while (!Ended(&status) && TickCount() - started < graceMilliseconds) {
    dropped.clear();
    ReadAvailable(&dropped);
    SleepMilliseconds(20);
  }
  Kill();
  return Wait();
}

int ChildProcess::Wait() {
  if (!started_) return 1;
  if (!ended_) {
    int raw = 0;
    pid_t done;
    do {
      done = ::waitpid(static_cast<pid_t>(process_), &raw, 0);
    } while (done < 0 && errno == EINTR);
    ended_ = true;
    status_ = done > 0 ? DecodeStatus(raw) : 1;
  }
  return status_;
}

std::string OwnProgramPath() {
  char path[4096];
  const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return std::string();
  path[length] = '\0';
  return path;
}

}  // namespace stanvex::platform

#endif  // !_WIN32
