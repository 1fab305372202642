// The host's last words when a fault outside every guarded call ends it: one
// line on standard output, "[corvel] fatal signal S (NAME) at 0xADDR in
// MODULE ch=N", naming the library that faulted, and the removal of the
// block's name, which would otherwise outlive the process. The process then
// dies of the fault as before, so its exit status still tells which.
#pragma once

#include <cstdint>
#include <string>

namespace corvel {

// Covers every thread from now on. `blockFile` is removed at the fault
// unless it is empty (see shm_removal_file). Main thread, at start-up.
void armFatalReport(uint32_t channel, const std::string& blockFile);

}  // namespace corvel
