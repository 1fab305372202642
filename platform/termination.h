// Requests to end the process from outside (SIGTERM, SIGINT, SIGHUP on
// POSIX), turned into a flag so the host can shut down in order and remove
// its block instead of dying with it mapped. Main thread installs; any
// thread reads.
#pragma once

namespace corvel {

// Also keeps a closed output pipe from killing the host mid-line.
void watchTerminationRequests();
bool terminationRequested();

}  // namespace corvel
