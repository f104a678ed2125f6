#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#if !defined(_WIN32)
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace stanvex::testing {

ScratchDir::ScratchDir() {
  std::string pattern = (fs::temp_directory_path() / "stanvex-test-XXXXXX").string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
#if defined(_WIN32)
  static int counter = 0;
  path_ = (fs::temp_directory_path() / ("stanvex-test-" + std::to_string(::_getpid()) + "-" +
                                         std::to_string(counter++)))
              .string();
  fs::create_directories(path_);
#else
  char* made = ::mkdtemp(buffer.data());
  if (made == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = made;
#endif
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::remove_all(path_, ignored);
}

std::string ScratchDir::File(const std::string& name) const { return (fs::path(path_) / name).string(); }

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

bool Exists(const std::string& path) { return fs::exists(path); }

std::string SharedData(const std::string& relative) {
  return (fs::path(STANVEX_TEST_DATA) / relative).string();
}

bool HaveSharedData() { return fs::is_directory(STANVEX_TEST_DATA); }

std::string OutDir() { return STANVEX_OUT_DIR; }
std::string SourceDir() { return STANVEX_SOURCE_DIR; }

CurrentDirGuard::CurrentDirGuard() : saved_(fs::current_path().string()) {}
CurrentDirGuard::~CurrentDirGuard() {
  std::error_code ignored;
  fs::current_path(saved_, ignored);
}

#if !defined(_WIN32)
std::map<int, std::string> OpenDescriptors() {
  std::map<int, std::string> open;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator("/proc/self/fd", error)) {
    std::error_code ignored;
    open[std::stoi(entry.path().filename().string())] =
        fs::read_symlink(entry.path(), ignored).string();
  }
  // The iterator's own descriptor was open while it listed the folder.
  const std::string listing = "/proc/" + std::to_string(::getpid()) + "/fd";
  for (auto it = open.begin(); it != open.end(); ++it)
    if (it->second == listing) {
      open.erase(it);
      break;
    }
  return open;
}

std::string DescribeDescriptors(const std::map<int, std::string>& open) {
  std::string text;
  for (const auto& [fd, target] : open) text += " " + std::to_string(fd) + "->" + target;
  return text;
}
#endif

}  // namespace stanvex::testing
