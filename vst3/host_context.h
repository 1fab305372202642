// The host context handed to a plug-in's initialize: the SDK's host application, which
// also offers the host's run loop, where plug-ins that open windows look for it.
// Main thread.
#pragma once

#include "public.sdk/source/vst/hosting/hostclasses.h"
#include "vst3/host_run_loop.h"

namespace corvel {

class HostContext : public Steinberg::Vst::HostApplication {
 public:
  Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;

  // The run loop when `iid` asks for it and this platform has one, for the context
  // and for the editor frame alike; kNoInterface otherwise.
  Steinberg::tresult queryRunLoop(const Steinberg::TUID iid, void** obj);

#if SMTG_OS_LINUX
  HostRunLoop runLoop;
#endif
};

}  // namespace corvel
