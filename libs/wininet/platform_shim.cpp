#include "platform_shim.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

namespace stanvex::wininet {

#if defined(_WIN32)

int ReplaceFileByRename(const char* from, const char* to) {
  if (::MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return 0;
  DWORD error = ::GetLastError();
  errno = (error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL) ? ENOSPC
          : (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) ? ENOENT
                                                                               : EACCES;
  return -1;
}

std::string LocalPathOfFileUrl(const std::string& urlPath) {
  if (urlPath.size() >= 3 && urlPath[0] == '/' &&
      std::isalpha(static_cast<unsigned char>(urlPath[1])) && urlPath[2] == ':')
    return urlPath.substr(1);
  return urlPath;
}

const char* HostsFilePath() {
  static const std::string path = [] {
    const char* root = std::getenv("SystemRoot");
    return std::string(root != nullptr ? root : "C:\\Windows") + "\\System32\\drivers\\etc\\hosts";
  }();
  return path.c_str();
}

#else

int ReplaceFileByRename(const char* from, const char* to) { return std::rename(from, to); }

std::string LocalPathOfFileUrl(const std::string& urlPath) { return urlPath; }

const char* HostsFilePath() { return "/etc/hosts"; }

#endif

}  // namespace stanvex::wininet
