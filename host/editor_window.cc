#include "host/editor_window.h"

#include "host/host_log.h"
#include "platform/host_window.h"

namespace corvel {

INativeInstrument* gInstrument = nullptr;
WindowHandle gHostWindow = nullptr;

namespace {

// Editors must not take the host down from inside the window procedure.
void closeEditorQuietly() {
  if (!gInstrument) return;
  try {
    gInstrument->closeGUI();
  } catch (...) {
  }
}

}  // namespace

void hostWndProc(WindowHandle window, WindowEvent event) {
  closeEditorQuietly();
  if (gHostWindow == window) gHostWindow = nullptr;
  if (event == WindowEvent::kClose) destroyHostWindow(window);
}

void openEditorAtStartup(INativeInstrument& instrument) {
  gHostWindow = createHostWindow(hostWndProc);
  hostLine("[corvel] ownHwnd=%p openGUI...\n", gHostWindow);
  const bool opened = instrument.openGUI(gHostWindow);
  hostLine("[corvel] openGUI=%d\n", opened ? 1 : 0);
}

void openEditorOnCommand(INativeInstrument& instrument, uint32_t channel) {
  if (!gHostWindow) gHostWindow = createHostWindow(hostWndProc);
  if (!gHostWindow) return;
  if (instrument.isGUIOpen()) return;
  hostLine("[corvel] OPEN_GUI ch=%u\n", channel);
  instrument.openGUI(gHostWindow);
  bringHostWindowToFront(gHostWindow);
}

void closeEditorOnCommand(INativeInstrument& instrument) {
  instrument.closeGUI();
  if (gHostWindow) hideHostWindow(gHostWindow);
}

}  // namespace corvel
