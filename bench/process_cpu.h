// Processor time of whole processes, for benches that compare a hosted
// plug-in with one run in-process. Linux (/proc and the process clock).
// Bench thread.
#pragma once

#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>

namespace corvel {

// Time another process's live threads have run so far, in seconds, to the
// nanosecond (the scheduler's own account; a thread that has ended no
// longer counts). Clock ticks would hide what a short run costs.
inline double cpuSeconds(unsigned long pid) {
  double nanoseconds = 0;
  std::error_code ignored;
  for (const auto& task : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", ignored)) {
    std::ifstream schedstat(task.path() / "schedstat");
    double onCpu = 0;
    if (schedstat >> onCpu) nanoseconds += onCpu;
  }
  return nanoseconds * 1e-9;
}

// User plus system time of this process, every thread included, in seconds.
inline double ownCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

}  // namespace corvel
