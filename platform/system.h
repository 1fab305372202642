// Process-wide services the start-up asks for. Each is the counterpart of a
// desktop-system service; where this platform has none, it does nothing.
// Main thread.
#pragma once

#include <cstdint>
#include <string>

namespace corvel {

// Keeps the system from showing error dialogs for this process.
void suppressErrorBoxes();

// Joins and leaves the main thread's single-threaded component apartment.
void enterApartment();
void leaveApartment();

// Makes the short sleeps of the service loop wake up on time, and undoes it.
void beginFineTimer();
void endFineTimer();

uint32_t currentProcessId();

// Asks for real-time scheduling of the calling thread at `priority` (1-99)
// and locks the process's memory as it is touched, so that neither another
// process nor paging can stall a block. Empty when granted, otherwise what
// the system refused and why.
std::string requestRealtime(int32_t priority);

// Sleeps `milliseconds`; 0 gives the rest of the time slice away. Any thread.
void sleepMilliseconds(uint32_t milliseconds);

}  // namespace corvel
