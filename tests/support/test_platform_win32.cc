#include <windows.h>

#include <atomic>
#include <filesystem>

#include "tests/support/test_platform.h"

namespace corvel {

std::string makeTemporaryFolder(const std::string& prefix) {
  static std::atomic<unsigned> counter{0};
  const std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                       (prefix + std::to_string(GetCurrentProcessId()) + "-" +
                                        std::to_string(counter++));
  std::error_code failed;
  return std::filesystem::create_directory(folder, failed) ? folder.string() : std::string();
}

std::vector<std::string> sharedMemoryNames() { return {}; }

void removeLeftoverBlock(const std::string&) {}

// Windows ships no sleep command; the system's ping waits one second per echo.
ChildProcess::Launch longRunningProcess() {
  char system[MAX_PATH];
  const UINT length = GetSystemDirectoryA(system, sizeof system);
  return {std::string(system, length) + "\\ping.exe", {"-n", "60", "127.0.0.1"}, {}};
}

}  // namespace corvel
