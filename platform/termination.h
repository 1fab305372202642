// Requests to end the process from outside (SIGTERM, SIGINT, SIGHUP on
// POSIX, console events on Windows), turned into a flag so the host can shut
// down in order and remove its block instead of dying with it mapped.
#pragma once

#include <string>

namespace corvel {

// How long a request may go unanswered before the watchdog ends the process.
inline constexpr unsigned kTerminationGraceMilliseconds = 2000;

enum class WatchdogStatus { kStarted, kNotStarted };

// Also keeps a closed output pipe from killing the host mid-line. Main
// thread, first thing, once.
void watchTerminationRequests();
// Any thread.
bool terminationRequested();

// From now on a request that has not ended the process within the grace
// time ends it from a thread of its own, safe while the main thread is
// stuck in plug-in code: it removes `fileToRemove` (a block's removal file,
// as shm_removal_file gives it; empty: none), writes `line` to standard
// output and exits with `exitCode`, taking no lock and allocating nothing.
// Main thread, once, after watchTerminationRequests.
WatchdogStatus startTerminationWatchdog(const std::string& line, int exitCode, const std::string& fileToRemove);

}  // namespace corvel
