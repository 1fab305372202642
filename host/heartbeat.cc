#include "host/heartbeat.h"

#include <chrono>
#include <system_error>

#include "corvel/shm_block.h"

namespace corvel {

bool Heartbeat::start(uint32_t& field) {
  try {
    thread = std::thread([this, &field] { beat(field); });
    return true;
  } catch (const std::system_error&) {
    return false;
  }
}

void Heartbeat::stop() {
  if (!thread.joinable()) return;
  {
    std::lock_guard lock(mutex);
    stopping = true;
  }
  wake.notify_all();
  thread.join();
}

// Heartbeat thread. The only writer of the field, so a plain
// read-modify-write is enough; the release store makes it visible promptly.
void Heartbeat::beat(uint32_t& field) {
  std::unique_lock lock(mutex);
  const auto period = std::chrono::milliseconds(100);
  auto next = std::chrono::steady_clock::now() + period;
  while (!wake.wait_until(lock, next, [this] { return stopping; })) {
    storeRelease(field, loadAcquire(field) + 1);
    next += period;
  }
}

}  // namespace corvel
