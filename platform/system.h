// Process-wide services the start-up asks for. Each is the counterpart of a
// desktop-system service; where this platform has none, it does nothing.
// Main thread.
#pragma once

#include <cstdint>

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

// Sleeps `milliseconds`; 0 gives the rest of the time slice away. Any thread.
void sleepMilliseconds(uint32_t milliseconds);

}  // namespace corvel
