// The host windows that exist, for the pump to route their events. Internal
// to platform/. Main thread.
#pragma once

#include <X11/Xlib.h>

#include "platform/host_window.h"

namespace corvel::x11 {

// Null for a window that is not a live host window.
WindowEventHandler handlerOf(Window window);
void forgetHostWindow(Window window);
// After the connection is lost: every window is reported destroyed.
void destroyAllHostWindows();

}  // namespace corvel::x11
