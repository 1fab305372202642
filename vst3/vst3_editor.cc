// The editor: a view of the plug-in embedded in the host's window. Once an editor has
// been closed, the next open first replaces the plug-in by a fresh instance carrying
// the same state, so a view is only ever attached to an instance that never had one.
#include "platform/native_window.h"
#include "vst3/loaded_plugin.h"
#include "vst3/vst3_instrument.h"

namespace corvel {

using namespace Steinberg;

namespace {

// The controller's or component's own view, else the editor the controller creates.
IPtr<IPlugView> findView(LoadedPlugin& record) {
  if (FUnknownPtr<IPlugView> view(record.controller); view) return view;
  if (FUnknownPtr<IPlugView> view(record.component); view) return view;
  const auto created = owned(record.controller->createView(Vst::ViewType::kEditor));
  return FUnknownPtr<IPlugView>(created);
}

// The window's client area takes the view's size; a view without one leaves it alone.
void sizeWindowToView(IPlugView& view, WindowHandle window) {
  ViewRect size{};
  if (view.getSize(&size) != kResultOk) return;
  setWindowClientSize(window, size.getWidth(), size.getHeight());
  view.onSize(&size);
}

// The view is told it is going, so that it unregisters from the run loop and lets go of
// its window while the host window still exists.
void detach(IPlugView& view) {
  view.removed();
  view.setFrame(nullptr);
}

}  // namespace

bool Vst3Instrument::openGUI(WindowHandle parent) { return ensureFreshInstance() && attachView(parent); }

bool Vst3Instrument::ensureFreshInstance() {
  if (!plugin || !plugin->controller) return false;
  if (plugin->view && editorOpen) return true;
  if (!needsFreshInstance()) return true;
  captureState();
  if (!reloadPlugin()) return false;
  if (!plugin->controller) return false;
  restoreState();
  return true;
}

// A window that is gone is refused like a missing one: an editor would build on it.
bool Vst3Instrument::attachView(WindowHandle parent) {
  if (!plugin || !plugin->controller || !parent || !isLiveWindow(parent)) return false;
  const IPtr<IPlugView> view = findView(*plugin);
  if (!view) return false;
  view->setFrame(&plugin->plugFrame);
  view->isPlatformTypeSupported(editorPlatformType());
  if (view->attached(parent, editorPlatformType()) != kResultOk) return false;
  sizeWindowToView(*view, parent);
  if (plugin->view && plugin->view != view) detach(*plugin->view);
  plugin->view = view;
  editorOpen = true;
  editorWasOpened = true;
  return true;
}

void Vst3Instrument::closeGUI() {
  if (plugin && plugin->view) {
    detach(*plugin->view);
    plugin->view = nullptr;
  }
  editorOpen = false;
}

void Vst3Instrument::resizeGUI(int32_t width, int32_t height) {
  if (!plugin || !plugin->view) return;
  ViewRect rect{0, 0, width, height};
  plugin->view->onSize(&rect);
}

bool Vst3Instrument::hasEditor() { return true; }
bool Vst3Instrument::isGUIOpen() { return plugin && editorOpen; }
bool Vst3Instrument::needsFreshInstance() { return editorWasOpened && !editorOpen; }
// Editors get their time from the run loop the host's message pump services.
void Vst3Instrument::guiIdle() {}

}  // namespace corvel
