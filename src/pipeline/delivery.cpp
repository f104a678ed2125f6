#include "pipeline/delivery.h"

#include <cstring>

#include "api/library_state.h"
#include "api/paths.h"
#include "platform/platform.h"

namespace stanvex {

namespace {

constexpr int kAlternateNames = 26;
constexpr size_t kNameScanLimit = 254;

// The destination and source paths of one delivery.
struct DeliveryPaths {
  char target[kPathSize];
  char source[kPathSize];
};

int PreparePaths(char* name, const char* destination, DeliveryPaths* paths) {
  ReplaceExtension(name, ".obn");
  // JoinPath may add a separator to its directory, so both are copies.
  char destination_copy[kPathSize];
  char work_copy[kPathSize];
  CopyText(destination_copy, sizeof destination_copy, destination);
  CopyText(work_copy, sizeof work_copy, WorkingDirectory);
  CopyText(paths->target, sizeof paths->target, name);
  CopyText(paths->source, sizeof paths->source, name);
  if (JoinPath(destination_copy, paths->target) != 0) return -1;
  if (JoinPath(work_copy, paths->source) != 0) return -1;
  return 0;
}

// Copies source to target (replacing it), then deletes source.
bool Move(const char* source, const char* target) {
  if (!platform::CopyFile(source, target, true)) return false;
  platform::DeleteFile(source);
  return true;
}

// Moves the ".nvb" and ".sta" companions under the base name of target.
int MoveCompanions(DeliveryPaths* paths, const char* nvb_failure) {
  ReplaceExtension(paths->target, ".nvb");
  ReplaceExtension(paths->source, ".nvb");
  if (!Move(paths->source, paths->target)) {
    SetLastErrorText("%s", nvb_failure);
    return -1;
  }
  ReplaceExtension(paths->target, ".sta");
  ReplaceExtension(paths->source, ".sta");
  if (!Move(paths->source, paths->target)) {
    SetLastErrorText(
        "Error unable to .sta move file to destination directory. "
        " .obn and .nvb Files are in the destination directory");
    return -1;
  }
  return 0;
}

}  // namespace

int DeliverCopyOver(char* name, const char* destination, char* deliveredPath) {
  DeliveryPaths paths;
  if (PreparePaths(name, destination, &paths) != 0) return -1;
  if (!Move(paths.source, paths.target)) {
    SetLastErrorText(
        "Error unable to move files to destination directory. "
        "Files are still in the temp directory");
    return -1;
  }
  if (deliveredPath != nullptr) CopyText(deliveredPath, kPathSize, paths.target);
  return MoveCompanions(&paths,
                        "Error unable to move .nvb and .sta files to destination directory. "
                        ".nvb and .sta Files are still in the temp directory");
}

int DeliverAppend(char* name, const char* destination, char* deliveredPath) {
  DeliveryPaths paths;
  if (PreparePaths(name, destination, &paths) != 0) return -1;
  bool delivered = false;
  for (int attempt = 0; attempt < kAlternateNames && !delivered; ++attempt) {
    if (!platform::FileExists(paths.target) &&
        platform::CopyFile(paths.source, paths.target, false)) {
      platform::DeleteFile(paths.source);
      delivered = true;
    } else if (!platform::FileExists(paths.target)) {
      // The name is free but the copy failed: another name will not help.
      SetLastErrorText(
          "Error unable to move files to destination directory. "
          "Files are still in the temp directory");
      return -1;
    } else {
      MakeAlternateName(paths.target, attempt);
    }
  }
  if (!delivered) {
    SetLastErrorText(
        "Error unable to move files to destination directory. No free file name for %s", name);
    return -1;
  }
  if (deliveredPath != nullptr) CopyText(deliveredPath, kPathSize, paths.target);
  return MoveCompanions(&paths,
                        "Error unable to move .nvb file to destination directory. "
                        " .obn File is in the destination directory");
}

void MakeAlternateName(char* name, int attempt) {
  size_t length = strnlen(name, kNameScanLimit);
  char* dot = nullptr;
  for (size_t i = length; i > 0; --i) {
    if (name[i - 1] == '.') {
      dot = name + i - 1;
      break;
    }
  }
  if (dot == nullptr) return;
  if (attempt == 0) {
    static const char kLettered[] = "A.obn";
    // The name grows by one character at most; it must stay in its buffer.
    if (static_cast<size_t>(dot - name) + sizeof kLettered > kPathSize) return;
    std::memcpy(dot, kLettered, sizeof kLettered);
  } else if (attempt > 0 && attempt < kAlternateNames && dot > name) {
    dot[-1] = static_cast<char>('A' + attempt);
  }
}

}  // namespace stanvex
