#include "platform/parent_watch.h"

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace corvel {
namespace {

TEST(ParentWatch, ALivingProcessIsAliveAndItsZombieIsGone) {
  int toChild[2];
  ASSERT_EQ(pipe(toChild), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(toChild[1]);
    char byte;
    (void)!read(toChild[0], &byte, 1);
    _exit(0);
  }
  ParentWatch watch(static_cast<uint32_t>(child));
  EXPECT_TRUE(watch.parentAlive());
  close(toChild[1]);  // lets the child exit; it stays a zombie until reaped
  siginfo_t info{};
  ASSERT_EQ(waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOWAIT), 0);
  EXPECT_FALSE(watch.parentAlive());
  waitpid(child, nullptr, 0);
  EXPECT_FALSE(watch.parentAlive());
  close(toChild[0]);
}

}  // namespace
}  // namespace corvel
