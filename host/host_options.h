// The host's command line. Main thread.
#pragma once

#include <cstdint>
#include <string>

namespace corvel {

struct HostOptions {
  std::string shmName;
  std::string pluginPath;
  std::string presetFile;
  double sampleRate = 44100.0;
  uint32_t blockSize = 256;
  uint32_t parentPid = 0;  // 0: no parent watch
  bool openExisting = false;
  bool vst2 = false;
  uint32_t channel = 0;  // labels log lines; never a MIDI channel
  int32_t rtPriority = 0;        // SCHED_FIFO priority of the main thread; 0: none
  uint32_t spinMicroseconds = 0;  // watch a field this long before sleeping on it
};

inline constexpr char kUsageLine[] =
    "usage: corvel --shm <name> --path <vst> [--vst2] [--channel n] [--sr rate] [--block n] [--parent pid] "
    "[--open]\n";

// Options are matched exactly; one that takes a value consumes the next
// argument whatever it is, and is ignored when it stands last. Unknown
// arguments are ignored, repeats override, unparsable numbers give 0.
HostOptions parseHostOptions(int argc, const char* const* argv);

}  // namespace corvel
