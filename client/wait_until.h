// Polling with a deadline: the parent side waits on block fields the same
// way the host does, by re-reading them. Any thread.
#pragma once

#include <chrono>
#include <thread>

namespace corvel {

// Calls `done` until it returns true or `timeout` has passed; true when done.
// Short sleeps keep a waiting parent cheap without adding much latency.
template <class Condition>
bool waitUntil(Condition done, std::chrono::microseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return done();
    std::this_thread::sleep_for(std::chrono::microseconds(50));
  }
  return true;
}

}  // namespace corvel
