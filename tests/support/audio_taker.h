// A parent's audio thread: takes every block while the test thread waits on
// a control exchange, as a host that waits for its acknowledgement serves
// nothing else. Remembers the first left sample of the newest block. Its
// thread is stopped and joined with the object.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

#include "corvel/client_block.h"
#include "client/wait_until.h"

namespace corvel {

class AudioTaker {
 public:
  explicit AudioTaker(ClientBlock& block)
      : thread([this, &block](std::stop_token stop) {
          AudioBlock audio;
          while (!stop.stop_requested()) {
            if (!block.readBlock(kMaxBlockFrames, audio, std::chrono::milliseconds(20))) continue;
            firstLeft = audio.left[0];
            ++taken;
          }
        }) {}

  // True once `count` more blocks have been taken. Test thread.
  bool waitForMore(uint32_t count, Timeout timeout) const {
    const uint32_t target = taken + count;
    return waitUntil([&] { return taken >= target; }, timeout);
  }
  // True once the newest block starts with `level`. Test thread.
  bool waitForLevel(float level, Timeout timeout) const {
    return waitUntil([&] { return firstLeft == level; }, timeout);
  }

 private:
  std::atomic<uint32_t> taken{0};
  std::atomic<float> firstLeft{0.0f};
  std::jthread thread;  // last: stopped and joined before the counters go
};

}  // namespace corvel
