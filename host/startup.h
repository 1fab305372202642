// The host process from entry to exit. Main thread.
#pragma once

#include "host/instrument_slot.h"

namespace corvel {

// Exit codes besides 0 (orderly shutdown).
enum ExitCode : int {
  kExitUsage = 2,         // --shm or --path missing, or --block or --sr out of range
  kExitSharedBlock = 3,   // the block could not be created or opened
  kExitLoad = 4,          // the plug-in could not be loaded
  kExitHeartbeat = 5,     // the heartbeat thread could not be started
  kExitUnanswered = 6,    // a termination request went unanswered: the watchdog ended the host
};

// Runs the host with `vst3` as the default adapter and `vst2` for --vst2;
// returns the process exit code.
int runHost(int argc, const char* const* argv, InstrumentSlot& vst3, InstrumentSlot& vst2);

}  // namespace corvel
