#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/fault_guard.h"
#include "platform/test_faults.h"

namespace corvel {
namespace {

void exitWithFortyTwo(int) { _exit(42); }

// The guard's handlers stay installed after its first call; a fault outside
// any guarded call still reaches the handler that was there before them (a
// sanitizer's, say). Runs in a fresh process, so the guard is not yet installed.
TEST(FaultGuardDeathTest, FaultOutsideAGuardedCallGoesToThePreviousHandler) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        struct sigaction previous{};
        previous.sa_handler = exitWithFortyTwo;
        sigaction(SIGSEGV, &previous, nullptr);
        EXPECT_FALSE(runGuarded([] { writeThroughNull(); }));
        writeThroughNull();
      },
      testing::ExitedWithCode(42), "");
}

TEST(FaultGuardDeathTest, FaultOutsideAGuardedCallWithoutPreviousHandlerDiesOfItsSignal) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        signal(SIGFPE, SIG_DFL);
        EXPECT_FALSE(runGuarded([] { divideByZero(); }));
        divideByZero();
      },
      testing::KilledBySignal(SIGFPE), "");
}

}  // namespace
}  // namespace corvel
