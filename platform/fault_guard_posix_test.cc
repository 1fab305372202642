#include <signal.h>

#include <gtest/gtest.h>

#include "platform/fault_guard.h"
#include "platform/test_faults.h"

namespace corvel {
namespace {

TEST(FaultGuard, PreviousHandlersAreBackAfterwards) {
  struct sigaction before{}, after{};
  sigaction(SIGSEGV, nullptr, &before);
  runGuarded([] { writeThroughNull(); });
  sigaction(SIGSEGV, nullptr, &after);
  EXPECT_EQ(before.sa_sigaction, after.sa_sigaction);
}

}  // namespace
}  // namespace corvel
