// What process tests need from the system they run on. Test thread.
#pragma once

#include <string>
#include <vector>

#include "client/child_process.h"

namespace corvel {

// A new empty folder in the system's temporary folder; empty on failure.
std::string makeTemporaryFolder(const std::string& prefix);

// Names of the shared-memory blocks that exist, sorted. Where a block goes
// with the last process that maps it, none can be left behind and the list
// is empty.
std::vector<std::string> sharedMemoryNames();

// Removes what a host killed before its clean-up leaves of its block.
void removeLeftoverBlock(const std::string& name);

// A process that runs for a minute unless killed, to stand in for a parent.
ChildProcess::Launch longRunningProcess();

}  // namespace corvel
