// The host's top-level editor window. Main thread.
#pragma once

namespace corvel {

// A hidden 800x600 top-level window, or null where no window system is
// reachable (no display): the host then runs without an editor.
void* createHostWindow();
// Shows the window and lifts it above every other window.
void bringHostWindowToFront(void* window);
void hideHostWindow(void* window);

}  // namespace corvel
