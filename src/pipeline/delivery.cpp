#include "pipeline/delivery.h"

#include <cstdio>
#include <cstring>

#include "api/library_state.h"
#include "api/paths.h"
#include "platform/platform.h"

namespace stanvex {

namespace {

constexpr int kAlternateNames = 26;
constexpr size_t kNameScanLimit = 254;
constexpr int kFileCount = 3;
const char* const kExtensions[kFileCount] = {".obn", ".nvb", ".sta"};
const char kMoveFailure[] =
    "Error unable to move files to destination directory. Files are still in the temp directory";

// One file of a delivery: where it lies in the working directory, the name it
// is delivered under, the name it is copied to first in the destination, and
// the name an existing file of the delivered name is kept under until the
// delivery is complete.
struct DeliveryFile {
  char source[kPathSize];
  char target[kPathSize];
  char staged[kPathSize];
  char setAside[kPathSize];
  bool isStaged;
  bool isSetAside;
  bool isPlaced;
};

struct Delivery {
  DeliveryFile files[kFileCount];
};

// target and source of the OBN file. -1 with the reason in LastErrorText.
int PreparePaths(char* name, const char* destination, DeliveryFile* obn) {
  ReplaceExtension(name, ".obn");
  if (!IsPlainFileName(name)) {
    SetLastErrorText("%s (%s is not a plain file name)", kMoveFailure, name);
    return -1;
  }
  // JoinPath may add a separator to its directory, so both are copies.
  char destination_copy[kPathSize];
  char work_copy[kPathSize];
  CopyText(destination_copy, sizeof destination_copy, destination);
  CopyText(work_copy, sizeof work_copy, WorkingDirectory);
  CopyText(obn->target, sizeof obn->target, name);
  CopyText(obn->source, sizeof obn->source, name);
  if (JoinPath(destination_copy, obn->target) != 0) return -1;
  if (JoinPath(work_copy, obn->source) != 0) return -1;
  return 0;
}

// Fills the three files from the OBN file's source and target. False when a
// temporary name does not fit its buffer.
bool NameFiles(const DeliveryFile& obn, Delivery* delivery) {
  for (int i = 0; i < kFileCount; ++i) {
    DeliveryFile& file = delivery->files[i];
    file = DeliveryFile{};
    CopyText(file.source, sizeof file.source, obn.source);
    CopyText(file.target, sizeof file.target, obn.target);
    ReplaceExtension(file.source, kExtensions[i]);
    ReplaceExtension(file.target, kExtensions[i]);
    // Formatted from a copy: the compiler cannot tell the target apart from
    // the names written beside it in the same record.
    char target[sizeof file.target];
    CopyText(target, sizeof target, file.target);
    int staged = std::snprintf(file.staged, sizeof file.staged, "%s.part", target);
    int aside = std::snprintf(file.setAside, sizeof file.setAside, "%s.old.part", target);
    if (staged < 0 || aside < 0 || static_cast<size_t>(aside) >= sizeof file.setAside) {
      SetLastErrorText("%s (the path %s is too long)", kMoveFailure, file.target);
      return false;
    }
  }
  return true;
}

// Takes back whatever the delivery did in the destination; the working
// directory still holds all three files. False when an earlier file could
// not be put back under its name.
bool Undo(Delivery* delivery, char* unrestored, size_t size) {
  bool restored = true;
  for (int i = kFileCount - 1; i >= 0; --i) {
    DeliveryFile& file = delivery->files[i];
    if (file.isPlaced) platform::DeleteFile(file.target);
    if (file.isStaged && !file.isPlaced) platform::DeleteFile(file.staged);
    if (file.isSetAside && !platform::MoveFile(file.setAside, file.target)) {
      restored = false;
      CopyText(unrestored, size, file.setAside);
    }
  }
  return restored;
}

// Reports a failed delivery after undoing it. reason names what failed.
int Fail(Delivery* delivery, const char* reason, const char* path) {
  char unrestored[kPathSize] = "";
  if (Undo(delivery, unrestored, sizeof unrestored)) {
    SetLastErrorText("%s %s (%s: %s)", kMoveFailure, WorkingDirectory, reason, path);
  } else {
    SetLastErrorText("%s %s (%s: %s; an earlier file of the destination is kept as %s)",
                     kMoveFailure, WorkingDirectory, reason, path, unrestored);
  }
  return -1;
}

// Places all three files under their targets, or none: each is copied to its
// temporary name in the destination, existing files of the delivered names
// are set aside, then the copies are renamed into place. Any failure undoes
// every step, so that the destination is as it was and the working directory
// keeps the three files. The OBN file of an append never replaces a file.
int Deliver(Delivery* delivery, bool appendObn, char* deliveredPath) {
  for (DeliveryFile& file : delivery->files) {
    if (!platform::FileExists(file.source)) return Fail(delivery, "missing", file.source);
    if (!platform::CopyToNewFile(file.source, file.staged))
      return Fail(delivery, "unable to write", file.staged);
    file.isStaged = true;
  }
  for (DeliveryFile& file : delivery->files) {
    if (!platform::FileExists(file.target)) continue;
    if (!platform::MoveFile(file.target, file.setAside))
      return Fail(delivery, "unable to rename", file.target);
    file.isSetAside = true;
  }
  for (int i = 0; i < kFileCount; ++i) {
    DeliveryFile& file = delivery->files[i];
    bool placed = i == 0 && appendObn ? platform::RenameNoReplace(file.staged, file.target)
                                      : platform::MoveFile(file.staged, file.target);
    if (!placed) return Fail(delivery, "unable to rename", file.staged);
    file.isPlaced = true;
  }
  for (DeliveryFile& file : delivery->files) {
    if (file.isSetAside) platform::DeleteFile(file.setAside);
    platform::DeleteFile(file.source);
  }
  if (deliveredPath != nullptr) CopyText(deliveredPath, kPathSize, delivery->files[0].target);
  return 0;
}

}  // namespace

int DeliverCopyOver(char* name, const char* destination, char* deliveredPath) {
  DeliveryFile obn{};
  if (PreparePaths(name, destination, &obn) != 0) return -1;
  Delivery delivery;
  if (!NameFiles(obn, &delivery)) return -1;
  return Deliver(&delivery, false, deliveredPath);
}

int DeliverAppend(char* name, const char* destination, char* deliveredPath) {
  DeliveryFile obn{};
  if (PreparePaths(name, destination, &obn) != 0) return -1;
  bool found = false;
  for (int attempt = 0; attempt < kAlternateNames && !found; ++attempt) {
    found = !platform::FileExists(obn.target);
    if (!found) MakeAlternateName(obn.target, attempt);
  }
  if (!found) {
    SetLastErrorText(
        "Error unable to move files to destination directory. No free file name for %s", name);
    return -1;
  }
  Delivery delivery;
  if (!NameFiles(obn, &delivery)) return -1;
  return Deliver(&delivery, true, deliveredPath);
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
