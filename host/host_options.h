// The host's command line. Main thread.
#pragma once

#include <cstdint>
#include <string>

#include "corvel/shm_block.h"

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


enum class OptionsStatus {
  kValid,
  kMissingName,           // --shm or --path missing or empty
  kBlockSizeOutOfRange,   // --block outside 1 to kMaxBlockFrames
  kSampleRateOutOfRange,  // --sr not finite, or outside kMinSampleRate to kMaxSampleRate
};

struct ParsedOptions {
  OptionsStatus status = OptionsStatus::kValid;
  HostOptions options;
  std::string refusal;  // the line that explains a status other than kValid
};

// Options are matched exactly; one that takes a value consumes the next
// argument whatever it is, and is ignored when it stands last. Unknown
// arguments are ignored, repeats override, unparsable numbers give 0.
// A block size is read as a wide integer, so a huge value cannot wrap into
// range; values the host cannot serve are refused, names missing first.
ParsedOptions parseHostOptions(int argc, const char* const* argv);

}  // namespace corvel
