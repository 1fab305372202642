// Announcing a store to the other side of the shared block, and waiting on
// a field with an optional spin first, for a host or parent that trades a
// processor core for the lowest latency. Any thread.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

#include "platform/shm.h"

namespace corvel {

// Stores `value` into `field` with release order, then wakes `side` at it:
// how one side announces a change the other may be sleeping on.
// [audio] no allocation, no lock.
inline void storeAndWake(ShmHandle* handle, WakeSide side, uint32_t& field, uint32_t value) {
  std::atomic_ref<uint32_t>(field).store(value, std::memory_order_release);
  shm_wake(handle, side, field);
}

// Watches `field` for up to `spin` (never longer than `timeout`) and, if it
// still holds `seen`, sleeps in shm_wait for the rest of `timeout`. The
// watch yields the processor on every look: two sides spinning on one core
// would otherwise each spin out their budget while the other cannot run.
// [audio] no allocation, no lock.
inline void awaitChange(ShmHandle* handle, WakeSide side, const uint32_t& field, uint32_t seen,
                        std::chrono::microseconds timeout, std::chrono::microseconds spin) {
  using Clock = std::chrono::steady_clock;
  const std::atomic_ref<uint32_t> watched(const_cast<uint32_t&>(field));
  if (spin.count() > 0) {
    const auto start = Clock::now();
    const auto spinEnd = start + std::min(spin, timeout);
    while (watched.load(std::memory_order_acquire) == seen && Clock::now() < spinEnd) std::this_thread::yield();
    if (watched.load(std::memory_order_acquire) != seen) return;
    timeout -= std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start);
    if (timeout.count() <= 0) return;
  }
  shm_wait(handle, side, field, seen, timeout);
}

}  // namespace corvel
