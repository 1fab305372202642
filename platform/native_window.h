// What an adapter may do with the native window the host hands it for a
// plug-in editor (an X11 window id here, an HWND on Windows). Main thread.
#pragma once

namespace corvel {

// The platform type a VST 3 view is attached with.
const char* editorPlatformType();
// Whether `window` names a window that still exists.
bool isLiveWindow(void* window);
// Sizes the window so that its client area is width x height.
void setWindowClientSize(void* window, int width, int height);
// Sets the window's outer size, frame included where the platform has one.
void setWindowOuterSize(void* window, int width, int height);

}  // namespace corvel
