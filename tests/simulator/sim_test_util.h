// Helpers of the simulator tests: running installed programs, unpacking and
// reading RINEX text.
#ifndef STANVEX_TESTS_SIM_TEST_UTIL_H
#define STANVEX_TESTS_SIM_TEST_UTIL_H

#include <zlib.h>

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

// The unpacked content of a gzip file, "" when it cannot be read.
inline std::string Gunzip(const std::string& path) {
  gzFile file = gzopen(path.c_str(), "rb");
  if (!file) return std::string();
  std::string text;
  char buffer[65536];
  int n = 0;
  while ((n = gzread(file, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(n));
  gzclose(file);
  return text;
}

inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::stringstream in(text);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

}  // namespace stanvex::testing

#endif  // STANVEX_TESTS_SIM_TEST_UTIL_H
