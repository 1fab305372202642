// The run loop a Linux VST 3 editor needs from its host: it registers its X connection
// and its redraw timers here and is called back from the host's message pump. Each
// registration is forwarded to the platform run loop and holds a reference to its
// handler until it is unregistered or the run loop goes, which happens before the
// plug-in's module is unloaded. Main thread.
#pragma once

#include <vector>

#include "pluginterfaces/base/smartpointer.h"
#include "pluginterfaces/gui/iplugview.h"

// Only Linux editors ask for one: elsewhere they run on the window messages the
// host's pump dispatches.
#if SMTG_OS_LINUX
namespace corvel {

class HostRunLoop : public Steinberg::Linux::IRunLoop {
 public:
  HostRunLoop() = default;
  HostRunLoop(const HostRunLoop&) = delete;
  HostRunLoop& operator=(const HostRunLoop&) = delete;
  // Unregisters whatever the plug-in left registered.
  ~HostRunLoop();

  Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;
  // Embedded in its owner, never counted or freed through these.
  Steinberg::uint32 PLUGIN_API addRef() override;
  Steinberg::uint32 PLUGIN_API release() override;

  Steinberg::tresult PLUGIN_API registerEventHandler(Steinberg::Linux::IEventHandler* handler,
                                                     Steinberg::Linux::FileDescriptor fd) override;
  Steinberg::tresult PLUGIN_API unregisterEventHandler(Steinberg::Linux::IEventHandler* handler) override;
  Steinberg::tresult PLUGIN_API registerTimer(Steinberg::Linux::ITimerHandler* handler,
                                              Steinberg::Linux::TimerInterval milliseconds) override;
  Steinberg::tresult PLUGIN_API unregisterTimer(Steinberg::Linux::ITimerHandler* handler) override;

  // Registrations still held, for tests and teardown checks.
  size_t registrations() const;

 private:
  // One entry per registration; a handler registered twice is held twice.
  std::vector<Steinberg::IPtr<Steinberg::Linux::IEventHandler>> eventHandlers;
  std::vector<Steinberg::IPtr<Steinberg::Linux::ITimerHandler>> timerHandlers;
};

}  // namespace corvel
#endif  // SMTG_OS_LINUX
