// Helpers of the simulator tests: running installed programs and reading
// RINEX text.
#ifndef STANVEX_TESTS_SIM_TEST_UTIL_H
#define STANVEX_TESTS_SIM_TEST_UTIL_H

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace stanvex::testing {

// Full path of an installed program found on PATH, or "".
inline std::string FindProgram(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path ? path : "/usr/bin:/bin");
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    const std::string candidate = dir + "/" + name;
    if (std::system(("test -x '" + candidate + "'").c_str()) == 0) return candidate;
  }
  return std::string();
}

// Runs a shell command; true when it exits with 0.
inline bool Run(const std::string& command) { return std::system(command.c_str()) == 0; }

inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::stringstream in(text);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

}  // namespace stanvex::testing

#endif  // STANVEX_TESTS_SIM_TEST_UTIL_H
