// The main thread's window-system messages. Until the host has a window
// system connection there is nothing to drain. Main thread.
#pragma once

namespace corvel {

// Dispatches every pending message without blocking.
void pumpMessages();

}  // namespace corvel
