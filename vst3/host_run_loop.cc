#include "vst3/host_run_loop.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <iterator>
#include <limits>
#include <utility>

#include "platform/run_loop.h"

namespace corvel {

using namespace Steinberg;
using Linux::IEventHandler;
using Linux::ITimerHandler;

namespace {

// A handler may unregister itself, and so drop our reference, while it runs.
void descriptorReady(void* owner, int fd) {
  IPtr<IEventHandler> running(static_cast<IEventHandler*>(owner));
  running->onFDIsSet(fd);
}

void timerFired(void* owner) {
  IPtr<ITimerHandler> running(static_cast<ITimerHandler*>(owner));
  running->onTimer();
}

// Our references go only after the list is consistent again: the last release may run
// a destructor that calls back into the run loop.
template <typename Handler>
bool forget(std::vector<IPtr<Handler>>& held, Handler* handler) {
  const auto matching = [handler](const IPtr<Handler>& entry) { return entry.get() == handler; };
  const auto first = std::stable_partition(held.begin(), held.end(), std::not_fn(matching));
  std::vector<IPtr<Handler>> dropped(std::make_move_iterator(first), std::make_move_iterator(held.end()));
  held.erase(first, held.end());
  return !dropped.empty();
}

}  // namespace

HostRunLoop::~HostRunLoop() {
  for (const auto& handler : eventHandlers) unwatchDescriptors(handler.get());
  for (const auto& handler : timerHandlers) stopTimers(handler.get());
  const auto events = std::move(eventHandlers);
  const auto timers = std::move(timerHandlers);
}

tresult PLUGIN_API HostRunLoop::queryInterface(const TUID iid, void** obj) {
  QUERY_INTERFACE(iid, obj, FUnknown::iid, Linux::IRunLoop)
  QUERY_INTERFACE(iid, obj, Linux::IRunLoop::iid, Linux::IRunLoop)
  *obj = nullptr;
  return kNoInterface;
}

uint32 PLUGIN_API HostRunLoop::addRef() { return 1; }
uint32 PLUGIN_API HostRunLoop::release() { return 1; }

tresult PLUGIN_API HostRunLoop::registerEventHandler(IEventHandler* handler, Linux::FileDescriptor fd) {
  if (!handler || fd < 0) return kInvalidArgument;
  eventHandlers.emplace_back(handler);
  watchDescriptor(fd, handler, descriptorReady);
  return kResultOk;
}

tresult PLUGIN_API HostRunLoop::unregisterEventHandler(IEventHandler* handler) {
  if (!handler) return kInvalidArgument;
  unwatchDescriptors(handler);
  return forget(eventHandlers, handler) ? kResultOk : kInvalidArgument;
}

tresult PLUGIN_API HostRunLoop::registerTimer(ITimerHandler* handler, Linux::TimerInterval milliseconds) {
  if (!handler) return kInvalidArgument;
  timerHandlers.emplace_back(handler);
  const auto period = std::clamp<Linux::TimerInterval>(milliseconds, 1, std::numeric_limits<uint32_t>::max());
  startTimer(static_cast<uint32_t>(period), handler, timerFired);
  return kResultOk;
}

tresult PLUGIN_API HostRunLoop::unregisterTimer(ITimerHandler* handler) {
  if (!handler) return kInvalidArgument;
  stopTimers(handler);
  return forget(timerHandlers, handler) ? kResultOk : kInvalidArgument;
}

size_t HostRunLoop::registrations() const { return eventHandlers.size() + timerHandlers.size(); }

}  // namespace corvel
