#include "obsfiles/obn_file_set.h"

#include <cstddef>
#include <cstring>

#include "base/text.h"
#include "platform/platform.h"

namespace stanvex {

namespace {

Result NameTooLong(const char* name) {
  return Result::Failure(nullptr, "Error file name too long %s", name != nullptr ? name : "");
}

// what + from + " to " + to, composed by copying alone: the system error of
// the failed move or copy must reach the caller untouched.
Result FileFailure(const char* what, const char* from, const char* to) {
  Result failed;
  failed.ok = false;
  CopyText(failed.message, sizeof failed.message, what);
  AppendText(failed.message, sizeof failed.message, from);
  AppendText(failed.message, sizeof failed.message, " to ");
  AppendText(failed.message, sizeof failed.message, to);
  return failed;
}

}  // namespace

Result ObnCompanionName(const char* obnName, const char* extension, char* out) {
  out[0] = '\0';
  if (obnName == nullptr || extension == nullptr ||
      std::strlen(obnName) + std::strlen(extension) >= kPathSize)
    return NameTooLong(obnName);
  CopyText(out, kPathSize, obnName);
  ReplaceExtension(out, extension);
  return Result::Success();
}

Result ObnFileSet::Assign(const char* obnName) {
  char* obn = names_[static_cast<int>(ObnMember::kObn)];
  if (obnName != nullptr && std::strlen(obnName) < kPathSize &&
      ObnCompanionName(obnName, ".nvb", names_[static_cast<int>(ObnMember::kNvb)]).ok &&
      ObnCompanionName(obnName, ".sta", names_[static_cast<int>(ObnMember::kSta)]).ok) {
    CopyText(obn, kPathSize, obnName);
    return Result::Success();
  }
  for (char* name : names_) name[0] = '\0';
  return NameTooLong(obnName);
}

Result ObnFileSet::AssignSuffixed(const ObnFileSet& base, const char* suffix) {
  const size_t suffixLength = suffix != nullptr ? std::strlen(suffix) : 0;
  for (ObnMember member : kObnMembers) {
    const char* baseName = base.Name(member);
    char* name = names_[static_cast<int>(member)];
    if (std::strlen(baseName) + suffixLength >= kPathSize) {
      for (char* each : names_) each[0] = '\0';
      return NameTooLong(baseName);
    }
    CopyText(name, kPathSize, baseName);
    AppendText(name, kPathSize, suffix);
  }
  return Result::Success();
}

bool SameFilePath(const char* a, const char* b) {
  if (platform::SameFileName(a, b)) return true;
  auto split = [](const char* path, char* directory, const char*& name) {
    const char* last = nullptr;
    for (const char* p = path; *p != '\0'; ++p)
      if (platform::IsPathSeparator(*p)) last = p;
    name = last ? last + 1 : path;
    if (last == nullptr) {
      CopyText(directory, kPathSize, ".");
    } else {
      const size_t length = static_cast<size_t>(last - path) + 1;  // keeps "/" for the root
      CopyText(directory, length + 1 < kPathSize ? length + 1 : kPathSize, path);
    }
  };
  char directoryA[kPathSize], directoryB[kPathSize];
  const char* nameA;
  const char* nameB;
  split(a, directoryA, nameA);
  split(b, directoryB, nameB);
  return platform::SameFileName(nameA, nameB) && platform::SameDirectory(directoryA, directoryB);
}

Result ObnFileSet::MoveMember(ObnMember member, const ObnFileSet& target) const {
  const char* from = Name(member);
  const char* to = target.Name(member);
  bool moved;
  // Deleting the target first would delete the source itself.
  if (SameFilePath(from, to)) {
    moved = platform::FileExists(from);
  } else {
    target.DeleteMember(member);
    // A successful move (a rename, or a copy and delete across devices)
    // leaves nothing under the source name.
    moved = platform::MoveFile(from, to);
  }
  return moved ? Result::Success() : FileFailure("Error unable to move file ", from, to);
}

Result ObnFileSet::CopyMember(ObnMember member, const ObnFileSet& target) const {
  if (platform::CopyToNewFile(Name(member), target.Name(member))) return Result::Success();
  return FileFailure("Error unable to copy file ", Name(member), target.Name(member));
}

void ObnFileSet::DeleteMember(ObnMember member) const {
  if (Name(member)[0] != '\0') platform::DeleteFile(Name(member));
}

}  // namespace stanvex
