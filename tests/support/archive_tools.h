// Makes compressed files with the real tools (gzip, compress, zip, Python's
// zipfile) for the extraction tests.
#ifndef STANVEX_TESTS_SUPPORT_ARCHIVE_TOOLS_H
#define STANVEX_TESTS_SUPPORT_ARCHIVE_TOOLS_H

#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace stanvex::testing {

inline std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += (c == '\'') ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// Runs a shell command; true when it exited with 0.
inline bool RunTool(const std::string& command) { return std::system(command.c_str()) == 0; }

inline bool GzipFile(const std::string& source, const std::string& target) {
  return RunTool("gzip -c < " + Quote(source) + " > " + Quote(target));
}

inline bool CompressFile(const std::string& source, const std::string& target, int bits = 16) {
  // compress exits with 2 when the output is not smaller: still a valid file.
  const std::string command =
      "compress -f -c -b" + std::to_string(bits) + " < " + Quote(source) + " > " + Quote(target);
  const int status = std::system(command.c_str());
  return status == 0 || (WIFEXITED(status) && WEXITSTATUS(status) == 2);
}

// A zip archive with the given members (stored name, content), written by
// Python's zipfile, which keeps names exactly as given (so unsafe names can
// be made). deflate: compress the members, else store them.
inline std::string Hex(const std::string& bytes) {
  static const char* digits = "0123456789abcdef";
  std::string hex;
  for (unsigned char c : bytes) {
    hex += digits[c >> 4];
    hex += digits[c & 15];
  }
  return hex;
}

inline bool ZipMembers(const std::string& target,
                       const std::vector<std::pair<std::string, std::string>>& members,
                       bool deflate = true) {
  std::string script = "import sys, zipfile\nz = zipfile.ZipFile(sys.argv[1], 'w', zipfile." +
                       std::string(deflate ? "ZIP_DEFLATED" : "ZIP_STORED") + ")\n";
  for (const auto& [name, content] : members)
    script += "z.writestr(zipfile.ZipInfo(bytes.fromhex('" + Hex(name) +
              "').decode()), bytes.fromhex('" + Hex(content) + "'))\n";
  script += "z.close()\n";
  return RunTool("/usr/bin/python3 -c " + Quote(script) + " " + Quote(target));
}

}  // namespace stanvex::testing

#endif  // STANVEX_TESTS_SUPPORT_ARCHIVE_TOOLS_H
