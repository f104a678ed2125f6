#include "companions.h"

#include <cstdio>
#include <fstream>
#include <sstream>

#include "command.h"
#include "platform/platform.h"

namespace stanvex::cli {

const char* const kCompanionExtensions[2] = {".nvb", ".sta"};

std::string CompanionOf(const std::string& path, const char* extension) {
  const size_t slash = path.find_last_of("/\\");
  const size_t dot = path.find_last_of('.');
  const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  return (hasExtension ? path.substr(0, dot) : path) + extension;
}

void WriteCompanions(const std::vector<std::string>& inputs, const std::string& output) {
  for (const char* extension : kCompanionExtensions) {
    std::vector<std::string> present;
    for (const std::string& input : inputs) {
      const std::string companion = CompanionOf(input, extension);
      if (platform::FileExists(companion.c_str())) present.push_back(companion);
    }
    const std::string target = CompanionOf(output, extension);
    if (present.empty()) continue;
    if (present.size() == 1) {
      if (!platform::SameFileName(present[0].c_str(), target.c_str()) &&
          !platform::CopyFile(present[0].c_str(), target.c_str(), true))
        throw CommandFailure{"cannot write " + target};
      continue;
    }
    // Joined in memory first: the target may be one of the inputs.
    std::string joined;
    for (const std::string& companion : present) {
      std::ifstream file(companion, std::ios::binary);
      std::ostringstream text;
      text << file.rdbuf();
      joined += text.str();
      if (!joined.empty() && joined.back() != '\n') joined += "\r\n";
    }
    // Written under a temporary name created exclusively and never through a
    // link, then renamed over the target: a failed write leaves the target
    // as it was.
    const std::string temporary = target + ".part";
    std::FILE* out = platform::CreateNewFile(temporary.c_str());
    bool written = out != nullptr;
    if (out != nullptr) {
      written = std::fwrite(joined.data(), 1, joined.size(), out) == joined.size();
      written = std::fclose(out) == 0 && written;
    }
    if (!written || !platform::MoveFile(temporary.c_str(), target.c_str())) {
      if (out != nullptr) platform::DeleteFile(temporary.c_str());
      throw CommandFailure{"cannot write " + target};
    }
  }
}

}  // namespace stanvex::cli
