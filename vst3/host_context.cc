#include "vst3/host_context.h"

namespace corvel {

using namespace Steinberg;

tresult PLUGIN_API HostContext::queryInterface(const TUID iid, void** obj) {
  if (obj && queryRunLoop(iid, obj) == kResultOk) return kResultOk;
  return HostApplication::queryInterface(iid, obj);
}

tresult HostContext::queryRunLoop([[maybe_unused]] const TUID iid, void** obj) {
#if SMTG_OS_LINUX
  if (FUnknownPrivate::iidEqual(iid, Linux::IRunLoop::iid)) {
    runLoop.addRef();
    *obj = static_cast<Linux::IRunLoop*>(&runLoop);
    return kResultOk;
  }
#endif
  *obj = nullptr;
  return kNoInterface;
}

}  // namespace corvel
