#include "platform/loaded_library.h"

#include <cstring>

namespace stanvex::platform {

static_assert(sizeof(void (*)()) == sizeof(void*), "a slot holds an object pointer's bytes");

LoadedLibrary LoadedLibrary::Open(const char* windowsName) {
  return LoadedLibrary(LoadLibraryByName(windowsName));
}

LoadedLibrary& LoadedLibrary::operator=(LoadedLibrary&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = other.handle_;
    other.handle_ = nullptr;
  }
  return *this;
}

void* LoadedLibrary::Find(const char* decoratedName) const {
  return handle_ != nullptr ? FindFunction(handle_, decoratedName) : nullptr;
}

void LoadedLibrary::Close() {
  if (handle_ != nullptr) FreeLibrary(handle_);
  handle_ = nullptr;
}

LibraryHandle LoadedLibrary::KeepLoaded() {
  LibraryHandle handle = handle_;
  handle_ = nullptr;
  return handle;
}

int FindEntryPoints(const LoadedLibrary& library, void* table, const EntryPoint* entries,
                    size_t count) {
  int firstMissing = -1;
  for (size_t i = 0; i < count; ++i) {
    void* address = library.Find(entries[i].decoratedName);
    // A slot is a function pointer of the same size as an object pointer on
    // every system the library runs on; the copy is how such an address is
    // handed to a function pointer without breaking aliasing rules.
    std::memcpy(static_cast<char*>(table) + entries[i].slotOffset, &address, sizeof address);
    if (address == nullptr && entries[i].required && firstMissing < 0)
      firstMissing = static_cast<int>(i);
  }
  return firstMissing;
}

}  // namespace stanvex::platform
