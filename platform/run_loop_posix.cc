// Descriptors are polled with a zero timeout and timers compared with the
// monotonic clock, once per pump: an editor's sources never block the pass
// that also renders audio. Removal during a callback only marks the entry;
// the lists are compacted after the dispatch, so indices stay valid.
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "platform/run_loop.h"

namespace corvel {
namespace {

using Clock = std::chrono::steady_clock;

struct Watch {
  int fd;
  void* owner;
  DescriptorReady onReady;
};

struct Timer {
  Clock::duration period;
  Clock::time_point due;
  void* owner;
  TimerFired onFire;
};

std::vector<Watch> watches;
std::vector<Timer> timers;
std::vector<pollfd> polled;
bool servicing = false;

void pollWatches() {
  polled.clear();
  for (const Watch& watch : watches) polled.push_back({watch.fd, POLLIN, 0});
  if (polled.empty() || poll(polled.data(), polled.size(), 0) <= 0) return;
  // Registrations made by a callback are polled from the next pump on.
  const size_t count = polled.size();
  for (size_t i = 0; i < count; ++i) {
    if (!(polled[i].revents & (POLLIN | POLLHUP | POLLERR)) || !watches[i].owner) continue;
    watches[i].onReady(watches[i].owner, watches[i].fd);
  }
}

void fireDueTimers() {
  const auto now = Clock::now();
  const size_t count = timers.size();
  for (size_t i = 0; i < count; ++i) {
    if (!timers[i].owner || timers[i].due > now) continue;
    timers[i].due = now + timers[i].period;
    timers[i].onFire(timers[i].owner);
  }
}

template <typename Entry>
void compact(std::vector<Entry>& entries) {
  std::erase_if(entries, [](const Entry& entry) { return entry.owner == nullptr; });
}

template <typename Entry>
void markRemoved(std::vector<Entry>& entries, void* owner) {
  for (Entry& entry : entries)
    if (entry.owner == owner) entry.owner = nullptr;
}

}  // namespace

void watchDescriptor(int fd, void* owner, DescriptorReady onReady) {
  watches.push_back({fd, owner, onReady});
}

void unwatchDescriptors(void* owner) { markRemoved(watches, owner); }

void startTimer(uint32_t periodMs, void* owner, TimerFired onFire) {
  const Clock::duration period = std::chrono::milliseconds(std::max<uint32_t>(periodMs, 1));
  timers.push_back({period, Clock::now() + period, owner, onFire});
}

void stopTimers(void* owner) { markRemoved(timers, owner); }

void serviceRunLoop() {
  // A callback that pumps messages itself must not compact the lists under
  // the dispatch that called it.
  if (servicing || (watches.empty() && timers.empty())) return;
  servicing = true;
  pollWatches();
  fireDueTimers();
  compact(watches);
  compact(timers);
  servicing = false;
}

}  // namespace corvel
