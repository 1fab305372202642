// The plug-in's editor inside the host's window. Opening and sizing run under
// the crash-reporting guard, because that is where plug-ins most often fault
// (no display, a toolkit that fails); idle and close only log.
#include <cstdint>

#include "instrument/log.h"
#include "platform/fault_guard.h"
#include "platform/native_window.h"
#include "vst2/vst2_crash_report.h"
#include "vst2/vst2_loaded_effect.h"

namespace corvel {
namespace {

using namespace vst2;

// What guardedDispatch returns after a caught fault; plug-ins that return it
// themselves are treated the same.
constexpr intptr_t kDispatchFailed = -1;

}  // namespace

bool Vst2Instrument::openGUI(WindowHandle parent) { return attachView(parent); }

bool Vst2Instrument::hasEditor() {
  const AEffect* loadedEffect = effect();
  return loaded && loadedEffect && (loadedEffect->flags & effFlagsHasEditor);
}

bool Vst2Instrument::isGUIOpen() { return editorOpen; }

bool Vst2Instrument::attachView(WindowHandle parent) {
  AEffect* loadedEffect = effect();
  if (!loadedEffect || editorOpen) return editorOpen;
  if (!(loadedEffect->flags & effFlagsHasEditor)) return false;
  if (!parent || !isLiveWindow(parent)) {
    log::err("[Vst2Instrument] attachView: bad parent hwnd ch=", channel);
    return false;
  }
  log::err("[Vst2Instrument] attachView CALLING effEditOpen ch=", channel, " parent=0x",
           log::Hex{reinterpret_cast<uintptr_t>(parent)});
  const intptr_t rc =
      guardedDispatch(loadedEffect, effEditOpen, 0, 0, parent, 0.0f, "effEditOpen", channel);
  log::err("[Vst2Instrument] attachView effEditOpen returned rc=", rc, " ch=", channel);
  if (rc == kDispatchFailed) return false;
  log::out("[Vst2Instrument] editOpen OK ch=", channel);
  sizeParentToEditor(parent);
  editorParent = parent;
  editorOpen = true;
  log::out("[Vst2Instrument] GUI attached ch=", channel);
  return true;
}

void Vst2Instrument::sizeParentToEditor(WindowHandle parent) {
  ERect* rect = nullptr;
  const intptr_t rc =
      guardedDispatch(effect(), effEditGetRect, 0, 0, &rect, 0.0f, "effEditGetRect", channel);
  if (rc == 0 || rc == kDispatchFailed || !rect) return;
  const int width = rect->right - rect->left;
  const int height = rect->bottom - rect->top;
  log::out("[Vst2Instrument] editor size ", width, "x", height, " ch=", channel);
  if (width >= 1 && height >= 1) setWindowOuterSize(parent, width, height);
}

void Vst2Instrument::resizeEditorParent(int32_t width, intptr_t height) {
  if (std::this_thread::get_id() != ownerThread) return;
  if (!editorOpen || width < 1 || height < 1 || height > INT32_MAX) return;
  setWindowOuterSize(editorParent, width, static_cast<int>(height));
}

void Vst2Instrument::sendEditorGuarded(int32_t opcode, const char* failureLine) {
  if (!runGuarded([&] { dispatch(opcode); })) log::err(failureLine, channel);
}

void Vst2Instrument::closeGUI() {
  const bool wasOpen = effect() && editorOpen;
  if (wasOpen) sendEditorGuarded(effEditClose, "[Vst2Instrument] closeGUI EXCEPTION ch=");
  editorOpen = false;
  editorParent = nullptr;
  if (wasOpen) log::out("[Vst2Instrument] GUI closed ch=", channel);
}

void Vst2Instrument::guiIdle() {
  if (effect() && editorOpen) sendEditorGuarded(effEditIdle, "[Vst2Instrument] guiIdle EXCEPTION ch=");
}

}  // namespace corvel
