#include "vst3/host_context.h"

namespace corvel {

Steinberg::tresult PLUGIN_API HostContext::queryInterface(const Steinberg::TUID iid, void** obj) {
  if (Steinberg::FUnknownPrivate::iidEqual(iid, Steinberg::Linux::IRunLoop::iid)) {
    runLoop.addRef();
    *obj = static_cast<Steinberg::Linux::IRunLoop*>(&runLoop);
    return Steinberg::kResultOk;
  }
  return HostApplication::queryInterface(iid, obj);
}

}  // namespace corvel
