// The host's side of opening and closing the plug-in editor. Main thread.
#pragma once

#include <cstdint>

#include "instrument/native_instrument.h"
#include "platform/host_window.h"

namespace corvel {

// The active adapter and the host editor window (null while there is none),
// read by the window's close and destroy paths.
extern INativeInstrument* gInstrument;
extern WindowHandle gHostWindow;

// The host window's procedure: a close or a destruction closes the editor
// and forgets the window, so the next request creates a fresh one; a close
// also destroys the window, whose destruction then closes the editor again.
void hostWndProc(WindowHandle window, WindowEvent event);
// VST 3 start-up: opens the editor in a fresh hidden window and prints its id.
void openEditorAtStartup(INativeInstrument& instrument);
// OPEN_GUI: opens the editor, unless it is open, and raises the window.
void openEditorOnCommand(INativeInstrument& instrument, uint32_t channel);
// CLOSE_GUI: closes the editor and hides (keeps) the window.
void closeEditorOnCommand(INativeInstrument& instrument);

}  // namespace corvel
