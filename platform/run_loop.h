// Event sources that plug-in editors register with the host (descriptors to
// watch, periodic timers). They are serviced from pumpMessages(), never block
// it, and run on the main thread, like everything else an editor does. Main
// thread.
#pragma once

#include <cstdint>

namespace corvel {

using DescriptorReady = void (*)(void* owner, int fd);
using TimerFired = void (*)(void* owner);

// `onReady` runs once per pump while `fd` is readable.
void watchDescriptor(int fd, void* owner, DescriptorReady onReady);
// Forgets every descriptor `owner` registered.
void unwatchDescriptors(void* owner);
// `onFire` runs every `periodMs` milliseconds (at most once per pump).
void startTimer(uint32_t periodMs, void* owner, TimerFired onFire);
// Forgets every timer `owner` registered.
void stopTimers(void* owner);
// Runs what is due. Callbacks may register and unregister sources.
void serviceRunLoop();

}  // namespace corvel
