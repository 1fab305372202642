#include "platform/fault_guard.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>
#include <thread>

#include "platform/test_faults.h"

namespace corvel {
namespace {

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

}  // namespace
}  // namespace corvel
