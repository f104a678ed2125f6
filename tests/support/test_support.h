// Helpers shared by the test programs: scratch directories, whole-file I/O and
// the location of the real data the tests read (tests/data).
#ifndef STANVEX_TESTS_TEST_SUPPORT_H
#define STANVEX_TESTS_TEST_SUPPORT_H

#include <map>
#include <string>
#include <vector>

namespace stanvex::testing {

// A fresh empty directory under the system temporary folder, removed with its
// contents when the object goes out of scope.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& path() const { return path_; }
  // path() + separator + name
  std::string File(const std::string& name) const;

 private:
  std::string path_;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);
bool Exists(const std::string& path);

// Path of a file of the real data in tests/data ("crinex/wsra0010.21d").
std::string SharedData(const std::string& relative);
// True when the tests/data folder is there; a test that needs it asserts this,
// since the data ship with the sources.
bool HaveSharedData();

#if !defined(_WIN32)
// This process's open descriptors and what each refers to, and the same as
// one line for a failure message (" 3->socket:[123] 4->/tmp/a").
std::map<int, std::string> OpenDescriptors();
std::string DescribeDescriptors(const std::map<int, std::string>& open);
#endif

// Folder holding the built programs and libraries.
std::string OutDir();
std::string SourceDir();

// Restores the process current directory when it goes out of scope.
class CurrentDirGuard {
 public:
  CurrentDirGuard();
  ~CurrentDirGuard();

 private:
  std::string saved_;
};

}  // namespace stanvex::testing

#endif  // STANVEX_TESTS_TEST_SUPPORT_H
