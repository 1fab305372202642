#include "platform/run_loop.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace corvel {
namespace {

struct Pipe {
  Pipe() { EXPECT_EQ(pipe(fds), 0); }
  ~Pipe() {
    close(fds[0]);
    close(fds[1]);
  }
  void signal() { EXPECT_EQ(write(fds[1], "x", 1), 1); }
  void drain() {
    char byte;
    EXPECT_EQ(read(fds[0], &byte, 1), 1);
  }
  int fds[2];
};

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
  Pipe pipe;
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
  Pipe pipe;
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
