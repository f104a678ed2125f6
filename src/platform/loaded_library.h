// LoadedLibrary: one companion library loaded at run time, released when the
// handle goes; and the table of a companion's entry points, found by name.
//
// Every binding of a companion library does the same three steps: load it by
// its Windows name, look each entry point up into a struct of function
// pointers, and treat a missing one as a clean failure. A companion declares
// its struct and one EntryPoint table beside it; FindEntryPoints fills it.
//
// Threads: a LoadedLibrary is used by one thread at a time.
#ifndef STANVEX_PLATFORM_LOADED_LIBRARY_H
#define STANVEX_PLATFORM_LOADED_LIBRARY_H

#include <cstddef>
#include <type_traits>

#include "platform/platform.h"

namespace stanvex::platform {

// Move-only owner of a loaded library. A default one holds nothing.
class LoadedLibrary {
 public:
  LoadedLibrary() = default;
  // Loads windowsName as LoadLibraryByName does; the result holds nothing
  // when the library cannot be loaded.
  static LoadedLibrary Open(const char* windowsName);
  ~LoadedLibrary() { Close(); }
  LoadedLibrary(LoadedLibrary&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }
  LoadedLibrary& operator=(LoadedLibrary&& other) noexcept;
  LoadedLibrary(const LoadedLibrary&) = delete;
  LoadedLibrary& operator=(const LoadedLibrary&) = delete;

  bool IsOpen() const { return handle_ != nullptr; }
  // The address of decoratedName (as FindFunction), or null when missing or
  // when nothing is loaded.
  void* Find(const char* decoratedName) const;
  // Releases the library now; the handle then holds nothing. Every function
  // found in it is invalid afterwards.
  void Close();
  // Gives up ownership: the library stays loaded for the life of the process
  // (for bindings that live as long as the process). Returns its handle.
  LibraryHandle KeepLoaded();

 private:
  explicit LoadedLibrary(LibraryHandle handle) : handle_(handle) {}
  LibraryHandle handle_ = nullptr;
};

// One entry of a companion's table: the decorated name of an entry point and
// where its address goes in the companion's struct of function pointers
// (offsetof the member). A required entry point that is missing fails the
// binding; an optional one is left null for the caller to test.
struct EntryPoint {
  const char* decoratedName;
  size_t slotOffset;
  bool required;
};

// Looks every entry of entries[0..count) up in library and writes its
// address, or null, into the slot of table. Returns the index of the first
// required entry point that is missing, or -1 when every required one is
// found. The slots of entries after a missing one are still filled.
int FindEntryPoints(const LoadedLibrary& library, void* table, const EntryPoint* entries,
                    size_t count);

template <typename Table, size_t N>
int FindEntryPoints(const LoadedLibrary& library, Table& table, const EntryPoint (&entries)[N]) {
  static_assert(std::is_standard_layout<Table>::value, "slots are found by their offset");
  return FindEntryPoints(library, &table, entries, N);
}

}  // namespace stanvex::platform

#endif  // STANVEX_PLATFORM_LOADED_LIBRARY_H
