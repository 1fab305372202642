// The host's top-level editor window. Main thread.
#pragma once

namespace corvel {

enum class WindowEvent {
  kClose,    // the user (window manager) asks to close the window
  kDestroy,  // the window is gone, also when the window system vanished
};
using WindowEventHandler = void (*)(void* window, WindowEvent event);

// A hidden 800x600 top-level window titled "Corvel" of class "CorvelClass",
// or null where no window system is reachable: the host then runs without an
// editor. Its events reach `handler` from inside pumpMessages().
void* createHostWindow(WindowEventHandler handler);
// Destroys the window; its kDestroy event comes from inside this call, and
// no event of it follows.
void destroyHostWindow(void* window);
// Shows the window and lifts it above every other window.
void bringHostWindowToFront(void* window);
void hideHostWindow(void* window);

}  // namespace corvel
