// For tests of tools whose session names the block: the /dev/shm path of the
// block a running host serves, read from its command line. Linux. Any thread.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <string>

#include "client/wait_until.h"

namespace corvel {

// The value after --shm once the process runs corvel's command line (a fresh
// child may not have replaced its image yet); "" when none came in `limit`.
inline std::string hostBlockPath(pid_t host, std::chrono::milliseconds limit) {
  std::string name;
  waitUntil(
      [&] {
        std::ifstream file("/proc/" + std::to_string(host) + "/cmdline");
        const std::string line((std::istreambuf_iterator<char>(file)), {});
        const std::string flag = std::string("--shm") + '\0';
        const size_t at = line.find(flag);
        if (at != std::string::npos) name = line.substr(at + flag.size(), line.find('\0', at + flag.size()) - at - flag.size());
        return !name.empty();
      },
      limit);
  return name.empty() ? "" : "/dev/shm/" + name;
}

}  // namespace corvel
