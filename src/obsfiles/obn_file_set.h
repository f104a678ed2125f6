// The files of one OBN data set: the OBN file and its ephemeris (".nvb") and
// station (".sta") companions, which share its name and differ in extension
// only. Joining, splicing, resampling and delivery derive, move and remove the three
// together through this one type.
#ifndef STANVEX_OBSFILES_OBN_FILE_SET_H
#define STANVEX_OBSFILES_OBN_FILE_SET_H

#include "base/paths.h"
#include "base/result.h"

namespace stanvex {

// One file of a set.
enum class ObnMember { kObn, kNvb, kSta };
constexpr ObnMember kObnMembers[] = {ObnMember::kObn, ObnMember::kNvb, ObnMember::kSta};

// The name of obnName's companion with another extension (".nvb", ".sta"):
// obnName with its extension replaced (ReplaceExtension). out: kPathSize
// bytes. Fails with "Error file name too long " + obnName (out "") when the
// name would not fit.
Result ObnCompanionName(const char* obnName, const char* extension, char* out);

// True when a and b name the same file: the same name in the same directory
// however the directory is written ("in.obn", "./in.obn").
bool SameFilePath(const char* a, const char* b);

class ObnFileSet {
 public:
  // Names the set of obnName: the OBN member is obnName as given, the
  // companions are derived with ObnCompanionName. Fails with "Error file
  // name too long " + obnName, leaving every name "", when one does not fit
  // kPathSize bytes.
  Result Assign(const char* obnName);

  // Names each member after base's with suffix appended ("x.nvb" ->
  // "x.nvb.part"): the temporary names of a set on its way somewhere.
  // Fails as Assign does (naming base's member), leaving every name "".
  Result AssignSuffixed(const ObnFileSet& base, const char* suffix);

  const char* Name(ObnMember member) const { return names_[static_cast<int>(member)]; }
  const char* Obn() const { return Name(ObnMember::kObn); }

  // Moves this set's member to the same member of target: any file under the
  // target name is deleted first, then the file is renamed. Succeeds when
  // the file now exists under the target name only (or both names are the
  // same file, which is left alone); fails with "Error unable to move file "
  // + source + " to " + target, leaving the source where it was. The system
  // error of the failed call stays for the caller to read.
  Result MoveMember(ObnMember member, const ObnFileSet& target) const;

  // Copies this set's member into a new file under the same member's name of
  // target, as platform::CopyToNewFile does (a stale file of that name is
  // replaced, never written through a link; a failed copy leaves nothing).
  // Fails with "Error unable to copy file " + source + " to " + target; the
  // system error of the failed call stays for the caller to read.
  Result CopyMember(ObnMember member, const ObnFileSet& target) const;

  // Deletes the member's file; a missing file is no failure.
  void DeleteMember(ObnMember member) const;

 private:
  char names_[3][kPathSize] = {};
};

}  // namespace stanvex

#endif  // STANVEX_OBSFILES_OBN_FILE_SET_H
