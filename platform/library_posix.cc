#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>

#include "platform/library.h"

namespace corvel {
namespace {

thread_local uint32_t lastError = 0;

}  // namespace

LibraryHandle loadLibrary(const std::string& path) {
  errno = 0;
  dlerror();
  LibraryHandle library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library) return library;
  // dlopen keeps its reason in text and may leave errno cleared; asking for
  // the file itself recovers the number for missing or unreadable files.
  lastError = static_cast<uint32_t>(errno);
  if (lastError == 0 && access(path.c_str(), R_OK) != 0) lastError = static_cast<uint32_t>(errno);
  return nullptr;
}

void* findSymbol(LibraryHandle library, const char* name) {
  if (!library || !name) return nullptr;
  return dlsym(library, name);
}

void freeLibrary(LibraryHandle library) {
  if (library) dlclose(library);
}

uint32_t lastLoadError() { return lastError; }

bool libraryIsLoaded(const std::string& path) {
  LibraryHandle library = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (!library) return false;
  dlclose(library);
  return true;
}

std::string moduleFileOf(const void* address) {
  Dl_info info{};
  if (!address || dladdr(address, &info) == 0 || !info.dli_fname) return {};
  return info.dli_fname;
}

}  // namespace corvel
