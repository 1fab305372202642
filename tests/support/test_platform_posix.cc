#include <stdlib.h>

#include <algorithm>
#include <filesystem>

#include "tests/support/test_platform.h"

namespace corvel {

std::string makeTemporaryFolder(const std::string& prefix) {
  std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "XXXXXX")).string();
  return mkdtemp(pattern.data()) ? pattern : std::string();
}

std::vector<std::string> sharedMemoryNames() {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator("/dev/shm")) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

void removeLeftoverBlock(const std::string& name) {
  std::error_code ignored;
  std::filesystem::remove("/dev/shm/" + name, ignored);
}

ChildProcess::Launch longRunningProcess() { return {"/bin/sleep", {"60"}, {}}; }

}  // namespace corvel
