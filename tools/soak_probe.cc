#include "tools/soak_probe.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace corvel {
namespace {

std::string procPath(unsigned long pid, const char* entry) { return "/proc/" + std::to_string(pid) + "/" + entry; }

int64_t residentKiB(unsigned long pid) {
  std::ifstream status(procPath(pid, "status"));
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) != 0) continue;
    int64_t kib = 0;
    std::istringstream(line.substr(6)) >> kib;
    return kib;
  }
  return 0;
}

int64_t openDescriptors(unsigned long pid) {
  std::error_code error;
  int64_t count = 0;
  for (std::filesystem::directory_iterator it(procPath(pid, "fd"), error), end; !error && it != end;
       it.increment(error))
    ++count;
  return count;
}

}  // namespace

ResourceSample probeResources(unsigned long pid) { return ResourceSample{residentKiB(pid), openDescriptors(pid)}; }

bool runsUnderAddressSanitizer(unsigned long pid) {
  std::ifstream maps(procPath(pid, "maps"));
  for (std::string line; std::getline(maps, line);)
    if (line.find("libasan") != std::string::npos) return true;
  return false;
}

}  // namespace corvel
