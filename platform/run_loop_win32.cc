// Windows editors get their time from the window messages the pump
// dispatches (their own timers are WM_TIMER messages), so there are no
// sources to service here.
#include "platform/run_loop.h"

namespace corvel {

void watchDescriptor(int, void*, DescriptorReady) {}
void unwatchDescriptors(void*) {}
void startTimer(uint32_t, void*, TimerFired) {}
void stopTimers(void*) {}
void serviceRunLoop() {}

}  // namespace corvel
