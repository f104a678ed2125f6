// The program's own temporary folders: made fresh under the system's
// temporary folder, removed with their contents on every way out of the
// command that made them, unless the command decided to keep one (files that
// could not be delivered are never deleted).
#ifndef STANVEX_TOOLS_PRIVATE_FOLDER_H
#define STANVEX_TOOLS_PRIVATE_FOLDER_H

#include <string>

namespace stanvex::cli {

class PrivateFolder {
 public:
  // Makes the folder ("<temp>/<prefix>XXXXXX"); throws CommandFailure when
  // it cannot be made.
  explicit PrivateFolder(const char* prefix);
  ~PrivateFolder();
  PrivateFolder(const PrivateFolder&) = delete;
  PrivateFolder& operator=(const PrivateFolder&) = delete;

  const std::string& path() const { return path_; }
  // path() joined with name.
  std::string File(const std::string& name) const;
  // Leaves the folder in place when the object goes out of scope.
  void Keep() { keep_ = true; }

 private:
  std::string path_;
  bool keep_ = false;
};

// Copies manufact.dwn and user.dwn (those present) of the catalogue folder
// source into folder/catalogue and returns that folder. Loading a catalogue
// writes combined.dwn beside its files, and the user's folder may be
// read-only or shared, so it is never loaded in place. Throws CommandFailure
// when neither file is there or a copy fails.
std::string StageCatalogue(const std::string& source, const PrivateFolder& folder);

// True when folder holds an OBN, NVB or STA file (the data of a request
// that were not delivered).
bool HoldsObservationFiles(const std::string& folder);

// True when folder holds a file of any kind.
bool HoldsFiles(const std::string& folder);

}  // namespace stanvex::cli

#endif  // STANVEX_TOOLS_PRIVATE_FOLDER_H
