#include "platform/fault_guard.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <stdexcept>
#include <thread>

namespace corvel {
namespace {

__attribute__((no_sanitize("address", "undefined"))) void writeThroughNull() {
  volatile int* volatile target = nullptr;
  *target = 1;
}

__attribute__((no_sanitize("undefined"))) void divideByZero() {
  volatile int numerator = 7;
  volatile int zero = 0;
  volatile int result = numerator / zero;
  (void)result;
}

TEST(FaultGuard, NormalCallRunsAndSucceeds) {
  int calls = 0;
  EXPECT_TRUE(runGuarded([&] { ++calls; }));
  EXPECT_EQ(calls, 1);
}

TEST(FaultGuard, ContainsFaultsAndExceptionsRepeatedly) {
  for (int round = 0; round < 2; ++round) {
    EXPECT_FALSE(runGuarded([] { writeThroughNull(); }));
    EXPECT_FALSE(runGuarded([] { divideByZero(); }));
    EXPECT_FALSE(runGuarded([] { __builtin_trap(); }));
    EXPECT_FALSE(runGuarded([] { std::abort(); }));
    EXPECT_FALSE(runGuarded([] { throw std::runtime_error("plug-in"); }));
    EXPECT_FALSE(runGuarded([] { throw 42; }));
  }
}

TEST(FaultGuard, InnerGuardReturnsToItsOwnCaller) {
  bool innerResult = true;
  EXPECT_TRUE(runGuarded([&] { innerResult = runGuarded([] { writeThroughNull(); }); }));
  EXPECT_FALSE(innerResult);
}

TEST(FaultGuard, EachThreadGuardsItsOwnCalls) {
  bool otherResult = true;
  std::thread other([&] { otherResult = runGuarded([] { writeThroughNull(); }); });
  other.join();
  EXPECT_FALSE(otherResult);
  EXPECT_FALSE(runGuarded([] { writeThroughNull(); }));
}

TEST(FaultGuard, PreviousHandlersAreBackAfterwards) {
  struct sigaction before{}, after{};
  sigaction(SIGSEGV, nullptr, &before);
  runGuarded([] { writeThroughNull(); });
  sigaction(SIGSEGV, nullptr, &after);
  EXPECT_EQ(before.sa_sigaction, after.sa_sigaction);
}

}  // namespace
}  // namespace corvel
