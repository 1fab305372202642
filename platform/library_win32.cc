#include <windows.h>

#include "platform/library.h"

namespace corvel {
namespace {

thread_local uint32_t lastError = 0;

}  // namespace

LibraryHandle loadLibrary(const std::string& path) {
  HMODULE library = LoadLibraryA(path.c_str());
  if (!library) lastError = static_cast<uint32_t>(GetLastError());
  return reinterpret_cast<LibraryHandle>(library);
}

void* findSymbol(LibraryHandle library, const char* name) {
  if (!library || !name) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void freeLibrary(LibraryHandle library) {
  if (library) FreeLibrary(static_cast<HMODULE>(library));
}

uint32_t lastLoadError() { return lastError; }

bool libraryIsLoaded(const std::string& path) {
  HMODULE module = nullptr;
  return GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT, path.c_str(), &module) && module;
}

std::string moduleFileOf(const void* address) {
  HMODULE module = nullptr;
  if (!address || !GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                      static_cast<const char*>(address), &module))
    return {};
  char file[MAX_PATH];
  const DWORD length = GetModuleFileNameA(module, file, sizeof file);
  return std::string(file, length);
}

}  // namespace corvel
