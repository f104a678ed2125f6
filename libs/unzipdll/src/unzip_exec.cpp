// The two entry points of the zip extraction library, over minizip.
#include <unzip.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "member_names.h"
#include "unzipdll_api.h"
#include "platform/platform.h"

namespace {

constexpr int32_t kVersion = 100;
constexpr size_t kMaxMemberName = 1024;
constexpr size_t kCopyChunk = 1u << 16;

namespace platform = stanvex::platform;

class Extraction {
 public:
  explicit Extraction(const UnzipCommand& command) : command_(command) {}
  // Returns the UnzDllExec result.
  int32_t Run();

 private:
  bool Wanted(const char* name) const;
  // Extracts the current member; returns an UnzipMessageCode.
  int32_t ExtractMember(unzFile zip, const char* name, const unz_file_info64& info);
  void Report(int32_t code, const char* name, const char* what);

  const UnzipCommand& command_;
};

void Extraction::Report(int32_t code, const char* name, const char* what) {
  if (command_.messageCallback == nullptr) return;
  UnzipMessageBlock message{};
  message.errorCode = code;
  std::snprintf(message.text, sizeof message.text, "%s: %s", name, what);
  command_.messageCallback(&message);
}

bool Extraction::Wanted(const char* name) const {
  if (command_.fileSpecCount == 0) return true;
  for (int32_t i = 0; i < command_.fileSpecCount; ++i) {
    const char* spec = command_.fileSpecs[i];
    if (spec == nullptr) continue;
    // A specification lives in a buffer of kUnzipFileSpecSize bytes; read no further.
    char bounded[kUnzipFileSpecSize];
    std::memcpy(bounded, spec, strnlen(spec, sizeof bounded - 1));
    bounded[strnlen(spec, sizeof bounded - 1)] = '\0';
    if (unzipdll::MatchesFileSpec(bounded, name)) return true;
  }
  return false;
}

// Creates every directory on the way to name ("a/b/c" makes "a" and "a/b";
// "a/b/" makes both). False when one cannot be made, or when one exists as a
// link: the member would be written wherever the link points.
bool MakeParentDirectories(const char* name) {
  std::string path;
  for (const char* p = name; *p != '\0'; ++p) {
    if ((*p == '/' || *p == '\\') && !path.empty()) {
      if (!platform::MakeDirectoryNotLink(path.c_str())) return false;
    }
    path += (*p == '/' || *p == '\\') ? platform::PathSeparator() : *p;
  }
  return true;
}

std::string LocalName(const char* name) {
  std::string local(name);
  for (char& c : local)
    if (c == '/' || c == '\\') c = platform::PathSeparator();
  return local;
}

int32_t Extraction::ExtractMember(unzFile zip, const char* name, const unz_file_info64& info) {
  if (!unzipdll::IsSafeMemberName(name)) return UNZIP_MESSAGE_UNSAFE_NAME;
  const size_t length = std::strlen(name);
  const bool is_directory = name[length - 1] == '/' || name[length - 1] == '\\';
  if (!MakeParentDirectories(name)) return UNZIP_MESSAGE_WRITE;
  if (is_directory) return UNZIP_MESSAGE_OK;
  if ((info.flag & 1u) != 0) return UNZIP_MESSAGE_OPEN;  // encrypted: no password is given
  if (unzOpenCurrentFile(zip) != UNZ_OK) return UNZIP_MESSAGE_OPEN;

  const std::string local = LocalName(name);
  std::FILE* out = platform::CreateNewFile(local.c_str());
  if (out == nullptr) {
    unzCloseCurrentFile(zip);
    return UNZIP_MESSAGE_WRITE;
  }
  std::unique_ptr<char[]> buffer(new char[kCopyChunk]);
  int32_t result = UNZIP_MESSAGE_OK;
  uLong crc = crc32(0L, Z_NULL, 0);
  uint64_t size = 0;
  for (;;) {
    const int got = unzReadCurrentFile(zip, buffer.get(), static_cast<unsigned>(kCopyChunk));
    if (got == 0) break;
    if (got < 0) {
      result = UNZIP_MESSAGE_DATA;
      break;
    }
    crc = crc32(crc, reinterpret_cast<const Bytef*>(buffer.get()), static_cast<uInt>(got));
    size += static_cast<uint64_t>(got);
    if (std::fwrite(buffer.get(), 1, static_cast<size_t>(got), out) != static_cast<size_t>(got)) {
      result = UNZIP_MESSAGE_WRITE;
      break;
    }
  }
  // minizip checks the CRC at closing only when the member's whole stated
  // size was read; a damaged deflate stream that ends early would pass. Both
  // the size and the CRC of what was written are compared here, always.
  const int closed = unzCloseCurrentFile(zip);
  if (result == UNZIP_MESSAGE_OK &&
      (closed != UNZ_OK || size != info.uncompressed_size || crc != info.crc))
    result = UNZIP_MESSAGE_DATA;
  if (std::fclose(out) != 0 && result == UNZIP_MESSAGE_OK) result = UNZIP_MESSAGE_WRITE;
  if (result != UNZIP_MESSAGE_OK) platform::DeleteFile(local.c_str());
  return result;
}

int32_t Extraction::Run() {
  if (command_.archive == nullptr || command_.fileSpecCount < 0 ||
      command_.fileSpecCount > kUnzipMaxFileSpecs)
    return -1;
  unzFile zip = unzOpen64(command_.archive);
  if (zip == nullptr) {
    Report(UNZIP_MESSAGE_ARCHIVE, command_.archive, "cannot be opened as a zip archive");
    return -1;
  }
  int32_t failed = 0;
  int status = unzGoToFirstFile(zip);
  while (status == UNZ_OK) {
    unz_file_info64 info;
    char name[kMaxMemberName];
    if (unzGetCurrentFileInfo64(zip, &info, name, sizeof name, nullptr, 0, nullptr, 0) != UNZ_OK) {
      status = UNZ_BADZIPFILE;
      break;
    }
    int32_t code = UNZIP_MESSAGE_OK;
    if (info.size_filename == 0 || info.size_filename >= sizeof name) {
      name[sizeof name - 1] = '\0';
      code = UNZIP_MESSAGE_NAME;
    } else if (Wanted(name)) {
      code = ExtractMember(zip, name, info);
    } else {
      status = unzGoToNextFile(zip);
      continue;
    }
    if (code != UNZIP_MESSAGE_OK) ++failed;
    Report(code, name, code == UNZIP_MESSAGE_OK ? "extracted" : "not extracted");
    status = unzGoToNextFile(zip);
  }
  unzClose(zip);
  if (status != UNZ_END_OF_LIST_OF_FILE) {
    Report(UNZIP_MESSAGE_ARCHIVE, command_.archive, "the archive is damaged");
    return -1;
  }
  return failed;
}

}  // namespace

extern "C" UNZIPDLL_API int32_t UNZIPDLL_CALL GetUnzDllVersion() { return kVersion; }

extern "C" UNZIPDLL_API int32_t UNZIPDLL_CALL UnzDllExec(UnzipCommand* command) {
  if (command == nullptr) return -1;
  Extraction extraction(*command);
  return extraction.Run();
}
