// Runs a call into foreign code so that a processor fault (bad memory
// access, illegal instruction, division by zero, abort) or a C++ exception
// raised inside it returns here instead of ending the process. What the
// skipped frames held (locks, heap) stays held. Any thread; each thread
// guards only its own calls. The first call installs the process's fault
// handlers for good; a fault outside every guarded call goes on to the
// handler that was there before, or ends the process (see fatal_report.h).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace corvel {

// Exception codes as the desktop system of the other build names them, so
// crash reports read the same everywhere.
constexpr uint32_t kFaultAccessViolation = 0xC0000005;
constexpr uint32_t kFaultIntegerDivide = 0xC0000094;
constexpr uint32_t kFaultFloatingPoint = 0xC0000090;
constexpr uint32_t kFaultIllegalInstruction = 0xC000001D;
constexpr uint32_t kFaultBreakpoint = 0x80000003;
constexpr uint32_t kFaultAbort = 0xC0000409;
constexpr uint32_t kFaultCppException = 0xE06D7363;

// The faulting thread's state, copied at the fault itself: once the call has
// returned, the report's own frames overwrite the plug-in's stack.
struct FaultContext {
  static constexpr size_t kStackWords = 128;
  uint32_t code;
  const void* address;  // instruction that raised it; null for a C++ exception
  uint64_t rip, rsp, rax, rbx, rcx, rdx, rsi, rdi, r8, r9;
  uint64_t stack[kStackWords];  // words from rsp upwards
  size_t stackWordCount;        // how many of them were readable
};

// A register that holds one of a call's first arguments at the fault.
struct ArgumentRegister {
  const char* name;
  uint64_t value;
};

// The registers of the first two integer arguments: rdi and rsi (System V),
// rcx and rdx (Windows x64). Any thread.
std::array<ArgumentRegister, 2> firstArguments(const FaultContext& fault);

// True if `body(context)` returned normally; otherwise `fault`, when given,
// describes what happened.
bool callGuarded(void (*body)(void* context), void* context, FaultContext* fault = nullptr);

template <class Body>
bool runGuarded(Body&& body, FaultContext* fault = nullptr) {
  using Callable = std::remove_reference_t<Body>;
  return callGuarded([](void* context) { (*static_cast<Callable*>(context))(); }, &body, fault);
}

// Copies `bytes` from `address` if all of them are readable; never faults.
bool readMemory(const void* address, void* out, size_t bytes);

}  // namespace corvel
