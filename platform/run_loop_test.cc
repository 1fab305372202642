#include "platform/run_loop.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/test_pipe.h"

namespace corvel {
namespace {

struct Counter {
  int calls = 0;
  bool unregisterOnCall = false;
};

void countReady(void* owner, int) {
  auto* counter = static_cast<Counter*>(owner);
  ++counter->calls;
  if (counter->unregisterOnCall) unwatchDescriptors(counter);
}

void countTimer(void* owner) {
  auto* counter = static_cast<Counter*>(owner);
  ++counter->calls;
  if (counter->unregisterOnCall) stopTimers(counter);
}

TEST(RunLoop, ReadableDescriptorsAreReportedUntilUnwatched) {
  TestPipe pipe;
  Counter counter;
  watchDescriptor(pipe.fds[0], &counter, countReady);
  serviceRunLoop();
  EXPECT_EQ(counter.calls, 0) << "nothing to read yet";
  pipe.signal();
  serviceRunLoop();
  serviceRunLoop();
  EXPECT_EQ(counter.calls, 2) << "level-triggered while data waits";
  pipe.drain();
  serviceRunLoop();
  EXPECT_EQ(counter.calls, 2);
  unwatchDescriptors(&counter);
  pipe.signal();
  serviceRunLoop();
  EXPECT_EQ(counter.calls, 2);
}

TEST(RunLoop, ACallbackMayRemoveItselfAndLeavesOthersServed) {
  TestPipe pipe;
  Counter leaving{.unregisterOnCall = true};
  Counter staying;
  watchDescriptor(pipe.fds[0], &leaving, countReady);
  watchDescriptor(pipe.fds[0], &staying, countReady);
  pipe.signal();
  serviceRunLoop();
  serviceRunLoop();
  EXPECT_EQ(leaving.calls, 1);
  EXPECT_EQ(staying.calls, 2);
  unwatchDescriptors(&staying);
}

TEST(RunLoop, TimersFireOncePerDuePumpUntilStopped) {
  Counter counter;
  Counter once{.unregisterOnCall = true};
  startTimer(1, &counter, countTimer);
  startTimer(1, &once, countTimer);
  serviceRunLoop();
  EXPECT_EQ(counter.calls, 0) << "not due before its period";
  for (int pass = 0; pass < 3; ++pass) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    serviceRunLoop();
  }
  EXPECT_EQ(counter.calls, 3);
  EXPECT_EQ(once.calls, 1);
  stopTimers(&counter);
  std::this_thread::sleep_for(std::chrono::milliseconds(2));
  serviceRunLoop();
  EXPECT_EQ(counter.calls, 3);
}

}  // namespace
}  // namespace corvel
