// What every platform's shared-memory layer does alike; the rest is in
// shm_posix_test.cc and shm_win32_test.cc.
#include "platform/shm.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "platform/system.h"

namespace corvel {
namespace {

using namespace std::chrono_literals;

TEST(Shm, NullHandleIsHarmless) {
  EXPECT_EQ(shm_ptr(nullptr), nullptr);
  EXPECT_EQ(shm_removal_file(nullptr), "");
  shm_close(nullptr);
}

// The same field as the host's and the parent's mappings show it.
uint32_t& fieldOf(ShmHandle* handle) { return static_cast<uint32_t*>(shm_ptr(handle))[1]; }

// A wait that missed what it waits for would sleep out its hour and the
// test's time limit with it.
TEST(ShmWake, AWaitSeesAChangeAlreadyInPlaceAndEndsOnAWakeThroughAnotherMapping) {
  const std::string name = "corvel-test-wake-" + std::to_string(currentProcessId());
  ShmHandle* host = shm_create(name, 4096);
  ShmHandle* parent = shm_open(name, 4096);
  ASSERT_NE(host, nullptr);
  ASSERT_NE(parent, nullptr);

  std::atomic_ref<uint32_t>(fieldOf(parent)).store(1);
  shm_wait(host, WakeSide::kHost, fieldOf(host), 0, 1h);

  std::atomic<bool> woken{false};
  std::thread waiter([&] {
    shm_wait(host, WakeSide::kHost, fieldOf(host), 1, 1h);
    woken = true;
  });
  // The field never changes: only the wake can end the wait.
  while (!woken) {
    shm_wake(parent, WakeSide::kHost, fieldOf(parent));
    std::this_thread::sleep_for(1ms);
  }
  waiter.join();
  shm_close(parent);
  shm_close(host);
}

}  // namespace
}  // namespace corvel
