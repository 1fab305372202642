// The thread that counts the block's heartbeat every 100 ms. It touches
// nothing but that one field, and is stopped before the block is unmapped.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace corvel {

class Heartbeat {
 public:
  ~Heartbeat() { stop(); }

  // Main thread. False when the thread could not be started.
  bool start(uint32_t& field);
  // Main thread. Returns once the thread has ended; harmless when not running.
  void stop();

 private:
  void beat(uint32_t& field);

  std::thread thread;
  std::mutex mutex;
  std::condition_variable wake;
  bool stopping = false;
};

}  // namespace corvel
