#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/parent_watch.h"

namespace corvel {
namespace {

// This test program again, listing its tests and exiting.
PROCESS_INFORMATION startShortLivedChild() {
  char program[MAX_PATH];
  GetModuleFileNameA(nullptr, program, sizeof program);
  std::string commandLine = std::string("\"") + program + "\" --gtest_list_tests";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child{};
  EXPECT_TRUE(CreateProcessA(program, commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                             nullptr, &startup, &child));
  return child;
}

TEST(ParentWatch, ALivingProcessIsAlive) {
  ParentWatch watch(GetCurrentProcessId());
  EXPECT_TRUE(watch.watching());
  EXPECT_TRUE(watch.parentAlive());
}

// The process object outlives the process while a handle holds it, as a
// zombie does on POSIX; it still counts as gone.
TEST(ParentWatch, AnEndedProcessIsGoneWhileItsObjectLives) {
  const PROCESS_INFORMATION child = startShortLivedChild();
  ASSERT_NE(child.hProcess, nullptr);
  ParentWatch watch(child.dwProcessId);
  ASSERT_EQ(WaitForSingleObject(child.hProcess, 10000), WAIT_OBJECT_0);
  EXPECT_FALSE(watch.parentAlive());
  CloseHandle(child.hThread);
  CloseHandle(child.hProcess);
  EXPECT_FALSE(watch.parentAlive());
}

}  // namespace
}  // namespace corvel
