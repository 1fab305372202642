#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/module_path.h"

namespace corvel {

std::string thisModuleFolder() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<const void*>(&thisModuleFolder), &info) == 0 || !info.dli_fname) return {};
  const std::string file = info.dli_fname;
  const size_t slash = file.rfind('/');
  return slash == std::string::npos ? std::string() : file.substr(0, slash);
}

std::string executableFileName(const std::string& stem) { return stem; }

std::string findOnSearchPath(const std::string& file) {
  const char* path = std::getenv("PATH");
  if (!path) return {};
  const std::string folders = path;
  for (size_t start = 0; start <= folders.size();) {
    size_t end = folders.find(':', start);
    if (end == std::string::npos) end = folders.size();
    // An empty entry is the current folder.
    const std::string folder = end > start ? folders.substr(start, end - start) : ".";
    const std::string candidate = folder + "/" + file;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return {};
}

}  // namespace corvel
