// Loading plug-in libraries and looking up their exports. Any thread.
#pragma once

#include <cstdint>
#include <string>

namespace corvel {

using LibraryHandle = void*;

// Null on failure; lastLoadError() then tells why.
LibraryHandle loadLibrary(const std::string& path);
// Null if `library` does not export `name`.
void* findSymbol(LibraryHandle library, const char* name);
void freeLibrary(LibraryHandle library);
// The system's error number of this thread's last failed load; 0 if none is known.
uint32_t lastLoadError();
// Whether `path` is currently loaded in this process (does not load it).
bool libraryIsLoaded(const std::string& path);
// File path of the loaded module holding `address`; empty if none does.
std::string moduleFileOf(const void* address);

}  // namespace corvel
