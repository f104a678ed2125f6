// UnzipLibrary: the binding of the zip extraction library, loaded at run time
// by its Windows name, with one extraction of a whole archive.
//
// Threads: an UnzipLibrary is used by one thread at a time; ExtractAll changes
// the process current directory for the length of the call.
#ifndef STANVEX_EXTRACT_UNZIP_LIBRARY_H
#define STANVEX_EXTRACT_UNZIP_LIBRARY_H

#include <cstdint>

#include "base/result.h"
#include "platform/loaded_library.h"
#include "unzipdll_api.h"

namespace stanvex {

constexpr const char* kUnzipLibraryName = "UNZIPDLL.DLL";

class UnzipLibrary {
 public:
  // Why the last operation failed; set only on failure.
  enum State { kNotLoaded = 1, kEntryPointMissing = 2, kVersionWithoutLibrary = 3 };

  // libraryName: the Windows name to load (tests give another library).
  explicit UnzipLibrary(const char* libraryName = kUnzipLibraryName) : name_(libraryName) {}
  UnzipLibrary(const UnzipLibrary&) = delete;
  UnzipLibrary& operator=(const UnzipLibrary&) = delete;
  // Unloads the library if it is loaded.
  virtual ~UnzipLibrary();

  // Loads the library and its two entry points (success also when already
  // loaded). Fails with "Error Initalizing UnZip.  Might be missing
  // UNZDLL.DLL" and state() 1 (cannot load) or 2 (an entry point is missing;
  // nothing stays loaded).
  Result LoadUnzipLibrary();
  // Releases the library when it is loaded; cannot fail.
  Result UnloadUnzipLibrary();
  // Puts GetUnzDllVersion() into version; fails with state() 3 (version 0)
  // when the library is not loaded.
  Result GetUnzipVersion(int32_t* version);
  // Extracts every member of archive into directory. The current directory is
  // the one before the call afterwards, whatever happened. Fails with "Error
  // UnZip was unable unzip the file " + archive when the library could not
  // extract every member (a damaged or unsafe member, an archive it cannot
  // read), when it is not loaded, or when directory cannot be entered. A
  // relative archive path is taken from the current directory at the call.
  Result ExtractAll(const char* archive, const char* directory);

  // The message callback handed to the library: accepts every message,
  // shows nothing, returns 0.
  static int32_t UNZIPDLL_CALL UnzipMessage(UnzipMessageBlock* message);

  bool IsLoaded() const { return library_.IsOpen(); }
  int state() const { return state_; }

  // The library's entry points; both are required.
  struct EntryPoints {
    int32_t(UNZIPDLL_CALL* getVersion)();
    int32_t(UNZIPDLL_CALL* exec)(UnzipCommand*);
  };
  static const platform::EntryPoint kEntryPoints[2];

 private:
  const char* name_;
  int state_ = 0;
  platform::LoadedLibrary library_;  // open only with every entry point found
  EntryPoints entries_{};
};

}  // namespace stanvex

#endif  // STANVEX_EXTRACT_UNZIP_LIBRARY_H
