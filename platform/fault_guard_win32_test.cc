// What only the Windows guard does: the fault's own record, stack overflow,
// the abort handler, and memory probes without touching the memory.
#include <windows.h>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <string>

#include "platform/fault_guard.h"
#include "platform/library.h"
#include "platform/test_faults.h"

namespace corvel {
namespace {

__attribute__((noinline)) int recurseForever(int depth) {
  volatile char frame[512];
  frame[0] = static_cast<char>(depth);
  if (frame[0] == 0 && depth > 0x7fffff00) return 0;  // never: keeps the compiler from calling it infinite
  return recurseForever(depth + 1) + frame[0];
}

std::string fileNameOf(const std::string& path) { return path.substr(path.find_last_of("\\/") + 1); }

TEST(FaultGuardWin32, RecordsTheFaultWhereItHappened) {
  FaultContext fault{};
  EXPECT_FALSE(runGuarded([] { writeThroughNull(); }, &fault));
  EXPECT_EQ(fault.code, kFaultAccessViolation);
  ASSERT_NE(fault.address, nullptr);
  EXPECT_EQ(fault.rip, reinterpret_cast<uint64_t>(fault.address));
  EXPECT_EQ(fileNameOf(moduleFileOf(fault.address)), "platform_library_test.exe");
  EXPECT_NE(fault.rsp, 0u);
  EXPECT_EQ(fault.stackWordCount, FaultContext::kStackWords) << "a thread's stack reaches well above its top";

  EXPECT_FALSE(runGuarded([] { divideByZero(); }, &fault));
  EXPECT_EQ(fault.code, kFaultIntegerDivide);
  EXPECT_FALSE(runGuarded([] { __builtin_trap(); }, &fault));
  EXPECT_EQ(fault.code, kFaultIllegalInstruction);
  EXPECT_FALSE(runGuarded([] { throw 1; }, &fault));
  EXPECT_EQ(fault.code, kFaultCppException);
}

TEST(FaultGuardWin32, ContainsStackOverflowMoreThanOnce) {
  for (int round = 0; round < 2; ++round) {
    FaultContext fault{};
    EXPECT_FALSE(runGuarded([] { recurseForever(0); }, &fault)) << round;
    EXPECT_EQ(fault.code, 0xC00000FDu) << round;
  }
}

TEST(FaultGuardWin32, AbortIsContainedAndItsHandlerPutBack) {
  const auto before = std::signal(SIGABRT, SIG_DFL);
  FaultContext fault{};
  EXPECT_FALSE(runGuarded([] { std::abort(); }, &fault));
  EXPECT_EQ(fault.code, kFaultAbort);
  EXPECT_EQ(std::signal(SIGABRT, before), SIG_DFL);
}

TEST(FaultGuardWin32, ReadMemoryProbesBeforeItCopies) {
  const uint64_t value = 0x1122334455667788;
  uint64_t copy = 0;
  EXPECT_TRUE(readMemory(&value, &copy, sizeof copy));
  EXPECT_EQ(copy, value);
  EXPECT_FALSE(readMemory(nullptr, &copy, sizeof copy));
  void* reserved = VirtualAlloc(nullptr, 65536, MEM_RESERVE, PAGE_NOACCESS);
  ASSERT_NE(reserved, nullptr);
  EXPECT_FALSE(readMemory(reserved, &copy, sizeof copy));
  VirtualFree(reserved, 0, MEM_RELEASE);
}

}  // namespace
}  // namespace corvel
