// Programs run as child processes, their output read without waiting: how
// the command-line host runs several retrievals side by side (the library
// serves one request at a time per process). One implementation file per
// platform, as for the rest of the platform interface.
//
// Threads: use one ChildProcess from one thread.
#ifndef STANVEX_PLATFORM_CHILD_PROCESS_H
#define STANVEX_PLATFORM_CHILD_PROCESS_H

#include <cstdint>
#include <string>
#include <vector>

namespace stanvex::platform {

// How long a stopped child is given to end before it is killed.
constexpr uint32_t kStopGraceMilliseconds = 10000;

class ChildProcess {
 public:
  ChildProcess() = default;
  // A child still running is stopped and waited for (StopWithin
  // kStopGraceMilliseconds).
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Runs arguments[0] (a path) with arguments, its standard input the null
  // device and its standard output and error one pipe that this object
  // reads, in our environment changed by changes: "NAME=value" sets a
  // variable, "NAME" removes it. The child inherits no other descriptor of
  // ours. False with *error when it cannot be started.
  bool Start(const std::vector<std::string>& arguments, const std::vector<std::string>& changes,
             std::string* error);

  // Appends what the child wrote since the last call to out, without
  // waiting. False once its output has ended (it closed its end, or ended).
  bool ReadAvailable(std::string* out);

  // True when the child has ended, without waiting; *status is its exit
  // status (128 + the signal's number when a signal ended it).
  bool Ended(int* status);

  // Asks the child to stop: SIGTERM, which the host's commands take as a
  // Ctrl-C; on Windows it is ended at once (its temporary folder is then
  // the caller's to remove).
  void Stop();

  // Ends the child at once: SIGKILL, which it cannot ignore; on Windows as
  // Stop.
  void Kill();

  // Waits for the child's end and returns its exit status as Ended gives it.
  int Wait();

  // Stop, then up to graceMilliseconds for the child to end, its output
  // read and dropped meanwhile so that it cannot block on a full pipe; a
  // child still running then is killed. Returns its status as Wait does.
  int StopWithin(uint32_t graceMilliseconds);

  bool running() const { return started_ && !ended_; }

 private:
  intptr_t process_ = 0;  // pid_t or HANDLE
  intptr_t output_ = -1;  // descriptor or HANDLE of the pipe's reading end
  bool started_ = false;
  bool ended_ = false;
  bool outputEnded_ = false;
  int status_ = 0;
};

// The path of the running program.
std::string OwnProgramPath();

}  // namespace stanvex::platform

#endif  // STANVEX_PLATFORM_CHILD_PROCESS_H
