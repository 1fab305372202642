#include "vst3/host_plug_frame.h"

namespace corvel {

using namespace Steinberg;

void HostPlugFrame::offer(HostContext* offered) { context = offered; }

tresult PLUGIN_API HostPlugFrame::queryInterface(const TUID iid, void** obj) {
  if (!obj) return kInvalidArgument;
  if (context) return context->queryRunLoop(iid, obj);
  *obj = nullptr;
  return kNoInterface;
}

uint32 PLUGIN_API HostPlugFrame::addRef() { return 1; }
uint32 PLUGIN_API HostPlugFrame::release() { return 1; }

tresult PLUGIN_API HostPlugFrame::resizeView(IPlugView* view, ViewRect* newSize) {
  if (view && newSize) view->onSize(newSize);
  return kResultOk;
}

}  // namespace corvel
