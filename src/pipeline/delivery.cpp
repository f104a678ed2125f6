#include "pipeline/delivery.h"

#include <cstdio>
#include <cstring>

#include "base/paths.h"
#include "base/text.h"
#include "obsfiles/obn_file_set.h"
#include "platform/platform.h"

namespace stanvex {

namespace {

constexpr int kAlternateNames = 26;
constexpr size_t kNameScanLimit = 254;
const char kMoveFailure[] =
    "Error unable to move files to destination directory. Files are still in the temp directory";

// The three files of a delivery: where they lie in the working directory,
// the names they are delivered under, the names they are copied to first in
// the destination, and the names existing files of the delivered names are
// kept under until the delivery is complete. The flags record, per member,
// which steps are done, so that a failure can undo them.
struct Delivery {
  explicit Delivery(const char* folder) : workingFolder(folder) {}
  const char* workingFolder;
  ObnFileSet sources;
  ObnFileSet targets;
  ObnFileSet staged;
  ObnFileSet setAside;
  bool isStaged[3] = {};
  bool isSetAside[3] = {};
  bool isPlaced[3] = {};
};

int Index(ObnMember member) { return static_cast<int>(member); }

// target and source of the OBN file (kPathSize bytes each).
Result PreparePaths(char* name, const char* workingFolder, const char* destination, char* target,
                    char* source) {
  ReplaceExtension(name, ".obn");
  if (!IsPlainFileName(name))
    return Result::Failure(nullptr, "%s (%s is not a plain file name)", kMoveFailure, name);
  // JoinPath may add a separator to its directory, so both are copies.
  char destinationCopy[kPathSize];
  char workCopy[kPathSize];
  CopyText(destinationCopy, sizeof destinationCopy, destination);
  CopyText(workCopy, sizeof workCopy, workingFolder);
  CopyText(target, kPathSize, name);
  CopyText(source, kPathSize, name);
  Result joined = JoinPath(destinationCopy, target);
  if (joined.ok) joined = JoinPath(workCopy, source);
  return joined;
}

// Names the three files of each set from the OBN file's source and target.
// Fails when a name does not fit its buffer.
Result NameFiles(const char* source, const char* target, Delivery* delivery) {
  if (!delivery->sources.Assign(source).ok || !delivery->targets.Assign(target).ok ||
      !delivery->staged.AssignSuffixed(delivery->targets, ".part").ok ||
      !delivery->setAside.AssignSuffixed(delivery->targets, ".old.part").ok)
    return Result::Failure(nullptr, "%s (the path %s is too long)", kMoveFailure, target);
  return Result::Success();
}

// Takes back whatever the delivery did in the destination; the working
// directory still holds all three files. Fails when an earlier file could
// not be put back under its name, saying where it is kept.
Result Undo(Delivery* delivery) {
  Result undone = Result::Success();
  for (int i = 2; i >= 0; --i) {
    const ObnMember member = kObnMembers[i];
    if (delivery->isPlaced[i]) delivery->targets.DeleteMember(member);
    if (delivery->isStaged[i] && !delivery->isPlaced[i]) delivery->staged.DeleteMember(member);
    if (delivery->isSetAside[i] &&
        !platform::MoveFile(delivery->setAside.Name(member), delivery->targets.Name(member)))
      undone = Result::Failure(nullptr, "an earlier file of the destination is kept as %s",
                               delivery->setAside.Name(member));
  }
  return undone;
}

// The failure of a delivery, after undoing it. detail names what failed.
Result Fail(Delivery* delivery, const char* detail) {
  Result undone = Undo(delivery);
  if (undone.ok)
    return Result::Failure(nullptr, "%s %s (%s)", kMoveFailure, delivery->workingFolder, detail);
  return Result::Failure(nullptr, "%s %s (%s; %s)", kMoveFailure, delivery->workingFolder, detail,
                         undone.message);
}

Result FailMissing(Delivery* delivery, const char* path) {
  char detail[kTextSize];
  std::snprintf(detail, sizeof detail, "missing: %s", path);
  return Fail(delivery, detail);
}

// A write or rename that failed: the reason comes from its system error
// (a full disk, a read-only folder), read before anything else runs.
Result FailWrite(Delivery* delivery, const char* what, const char* path) {
  const char* reason = platform::WriteErrorReason(platform::LastSystemError());
  char detail[kTextSize];
  std::snprintf(detail, sizeof detail, "%s %s: %s", what, path, reason);
  return Fail(delivery, detail);
}

// Places all three files under their targets, or none: each is copied to its
// temporary name in the destination, existing files of the delivered names
// are set aside, then the copies are renamed into place. Any failure undoes
// every step, so that the destination is as it was and the working directory
// keeps the three files. The OBN file of an append never replaces a file.
Result Deliver(Delivery* delivery, bool appendObn, char* deliveredPath) {
  for (ObnMember member : kObnMembers) {
    if (!platform::FileExists(delivery->sources.Name(member)))
      return FailMissing(delivery, delivery->sources.Name(member));
    if (!delivery->sources.CopyMember(member, delivery->staged).ok)
      return FailWrite(delivery, "unable to write", delivery->staged.Name(member));
    delivery->isStaged[Index(member)] = true;
  }
  for (ObnMember member : kObnMembers) {
    if (!platform::FileExists(delivery->targets.Name(member))) continue;
    if (!platform::MoveFile(delivery->targets.Name(member), delivery->setAside.Name(member)))
      return FailWrite(delivery, "unable to rename", delivery->targets.Name(member));
    delivery->isSetAside[Index(member)] = true;
  }
  for (ObnMember member : kObnMembers) {
    const char* staged = delivery->staged.Name(member);
    const char* target = delivery->targets.Name(member);
    const bool placed = member == ObnMember::kObn && appendObn
                            ? platform::RenameNoReplace(staged, target)
                            : platform::MoveFile(staged, target);
    if (!placed) return FailWrite(delivery, "unable to rename", staged);
    delivery->isPlaced[Index(member)] = true;
  }
  for (ObnMember member : kObnMembers) {
    if (delivery->isSetAside[Index(member)]) delivery->setAside.DeleteMember(member);
    delivery->sources.DeleteMember(member);
  }
  if (deliveredPath != nullptr) CopyText(deliveredPath, kPathSize, delivery->targets.Obn());
  return Result::Success();
}

}  // namespace

Result DeliverCopyOver(char* name, const char* workingFolder, const char* destination,
                       char* deliveredPath) {
  char target[kPathSize], source[kPathSize];
  Result prepared = PreparePaths(name, workingFolder, destination, target, source);
  if (!prepared.ok) return prepared;
  Delivery delivery(workingFolder);
  Result named = NameFiles(source, target, &delivery);
  if (!named.ok) return named;
  return Deliver(&delivery, false, deliveredPath);
}

Result DeliverAppend(char* name, const char* workingFolder, const char* destination,
                     char* deliveredPath) {
  char target[kPathSize], source[kPathSize];
  Result prepared = PreparePaths(name, workingFolder, destination, target, source);
  if (!prepared.ok) return prepared;
  bool found = false;
  for (int attempt = 0; attempt < kAlternateNames && !found; ++attempt) {
    found = !platform::FileExists(target);
    if (!found) MakeAlternateName(target, attempt);
  }
  if (!found)
    return Result::Failure(
        nullptr, "Error unable to move files to destination directory. No free file name for %s",
        name);
  Delivery delivery(workingFolder);
  Result named = NameFiles(source, target, &delivery);
  if (!named.ok) return named;
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
