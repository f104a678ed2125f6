// Windows child processes: CreateProcess with one inheritable pipe for the
// standard output and error, read when PeekNamedPipe shows data.
#include "platform/child_process.h"

#if defined(_WIN32)

#include "platform/platform.h"

#include <cstdlib>
#include <memory>

namespace stanvex::platform {
namespace {

HANDLE AsHandle(intptr_t value) { return reinterpret_cast<HANDLE>(value); }

// One argument quoted for CommandLineToArgvW's rules: blanks and quotes
// inside quotes, backslashes doubled before a quote.
std::string Quoted(const std::string& argument) {
  if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos) return argument;
  std::string quoted = "\"";
  size_t backslashes = 0;
  for (char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, '\\');
  return quoted + "\"";
}

// Changes a variable of this process for the length of the scope (the
// child inherits it): "NAME=value" sets it, "NAME" removes it; the old value
// is put back after.
class VariableForChild {
 public:
  explicit VariableForChild(const std::string& change)
      : name_(change.substr(0, change.find('='))) {
    char old[32768];
    const DWORD length = GetEnvironmentVariableA(name_.c_str(), old, sizeof old);
    had_ = length > 0 && length < sizeof old;
    if (had_) old_ = old;
    const size_t equals = change.find('=');
    SetEnvironmentVariableA(name_.c_str(),
                            equals == std::string::npos ? nullptr : change.c_str() + equals + 1);
  }
  ~VariableForChild() { SetEnvironmentVariableA(name_.c_str(), had_ ? old_.c_str() : nullptr); }
  VariableForChild(const VariableForChild&) = delete;
  VariableForChild& operator=(const VariableForChild&) = delete;

 private:
  std::string name_;
  std::string old_;
  bool had_ = false;
};

}  // namespace

ChildProcess::~ChildProcess() {
  if (running()) StopWithin(kStopGraceMilliseconds);
  if (output_ != -1) CloseHandle(AsHandle(output_));
  if (process_ != 0) CloseHandle(AsHandle(process_));
}

bool ChildProcess::Start(const std::vector<std::string>& arguments,
                         const std::vector<std::string>& changes, std::string* error) {
  if (started_ || arguments.empty()) {
    *error = "no program to run";
    return false;
  }
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE reading = nullptr, writing = nullptr;
  if (!CreatePipe(&reading, &writing, &inherit, 0)) {
    *error = "cannot make a pipe";
    return false;
  }
  SetHandleInformation(reading, HANDLE_FLAG_INHERIT, 0);
  HANDLE input = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                             OPEN_EXISTING, 0, nullptr);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input;
  startup.hStdOutput = writing;
  startup.hStdError = writing;
  std::string commandLine;
  for (const std::string& argument : arguments)
    commandLine += (commandLine.empty() ? "" : " ") + Quoted(argument);
  PROCESS_INFORMATION created{};
  BOOL ok;
  {
    std::vector<std::unique_ptr<VariableForChild>> changed;
    for (const std::string& change : changes)
      changed.push_back(std::make_unique<VariableForChild>(change));
    ok = CreateProcessA(arguments[0].c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0,
                        nullptr, nullptr, &startup, &created);
  }
  CloseHandle(writing);
  if (input != INVALID_HANDLE_VALUE) CloseHandle(input);
  if (!ok) {
    CloseHandle(reading);
    *error = "cannot run " + arguments[0];
    return false;
  }
  CloseHandle(created.hThread);
  process_ = reinterpret_cast<intptr_t>(created.hProcess);
  output_ = reinterpret_cast<intptr_t>(reading);
  started_ = true;
  return true;
}

bool ChildProcess::ReadAvailable(std::string* out) {
  if (outputEnded_ || output_ == -1) return false;
  for (;;) {
    DWORD available = 0;
    if (!PeekNamedPipe(AsHandle(output_), nullptr, 0, nullptr, &available, nullptr)) {
      outputEnded_ = true;
      return false;
    }
    if (available == 0) return true;
    char buffer[4096];
    DWORD got = 0;
    if (!ReadFile(AsHandle(output_), buffer, available < sizeof buffer ? available : sizeof buffer,
                  &got, nullptr) ||
        got == 0) {
      outputEnded_ = true;
      return false;
    }
    out->append(buffer, got);
  }
}

bool ChildProcess::Ended(int* status) {
  if (!started_) return false;
  if (!ended_) {
    if (WaitForSingleObject(AsHandle(process_), 0) != WAIT_OBJECT_0) return false;
    DWORD code = 1;
    GetExitCodeProcess(AsHandle(process_), &code);
    ended_ = true;
    status_ = static_cast<int>(code);
  }
  *status = status_;
  return true;
}

void ChildProcess::Stop() {
  if (running()) TerminateProcess(AsHandle(process_), 130);
}

// TerminateProcess ends the child at once: nothing is left to wait out.
void ChildProcess::Kill() { Stop(); }

int ChildProcess::StopWithin(uint32_t) {
  Stop();
  return Wait();
}

int ChildProcess::Wait() {
  if (!started_) return 1;
  if (!ended_) WaitForSingleObject(AsHandle(process_), INFINITE);
  int status = 1;
  Ended(&status);
  return status;
}

std::string OwnProgramPath() {
  char path[MAX_PATH * 4];
  const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  return length > 0 && length < sizeof path ? std::string(path, length) : std::string();
}

}  // namespace stanvex::platform

#endif  // _WIN32
