// Where the tools find the corvel executable by default: in their own folder
// (the tools are built for Linux only). Main thread.
#pragma once

#include <unistd.h>

#include <string>

namespace corvel {

// `name` in the folder of the running executable; `name` alone when that is unknown.
inline std::string besideThisTool(const char* name) {
  char self[4096];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return name;
  std::string path(self, static_cast<size_t>(n));
  return path.substr(0, path.rfind('/') + 1) + name;
}

}  // namespace corvel
