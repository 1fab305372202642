// A vectored exception handler sees a processor fault first, before any
// frame-based handler. While this thread is inside a guarded call it copies
// the fault's state and resumes the thread at the context captured when the
// call began, as if the call had returned; outside a guarded call, and for
// software exceptions (C++ throws, debug output), it lets the search go on.
// abort() raises no exception here: its SIGABRT handler takes the same way back.
#include <windows.h>

#include <malloc.h>

#include <csignal>
#include <cstring>

#include "platform/fault_guard.h"
#include "platform/guarded_body.h"

namespace corvel {
namespace {

struct Guard {
  CONTEXT resume;
  FaultContext* fault;
  volatile DWORD faultCode;
};

thread_local Guard* activeGuard = nullptr;

bool isProcessorFault(DWORD code) {
  switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_IN_PAGE_ERROR:
    case EXCEPTION_DATATYPE_MISALIGNMENT:
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_INT_OVERFLOW:
    case EXCEPTION_FLT_DENORMAL_OPERAND:
    case EXCEPTION_FLT_DIVIDE_BY_ZERO:
    case EXCEPTION_FLT_INEXACT_RESULT:
    case EXCEPTION_FLT_INVALID_OPERATION:
    case EXCEPTION_FLT_OVERFLOW:
    case EXCEPTION_FLT_STACK_CHECK:
    case EXCEPTION_FLT_UNDERFLOW:
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_PRIV_INSTRUCTION:
    case EXCEPTION_BREAKPOINT:
    case EXCEPTION_STACK_OVERFLOW:
      return true;
    default:
      return false;
  }
}

bool isReadable(const MEMORY_BASIC_INFORMATION& region) {
  constexpr DWORD kReadable = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                              PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
  return region.State == MEM_COMMIT && (region.Protect & kReadable) && !(region.Protect & PAGE_GUARD);
}

// How many of the `bytes` from `address` on can be read, asking the memory
// manager instead of touching them.
size_t readableBytes(const void* address, size_t bytes) {
  const auto start = reinterpret_cast<uintptr_t>(address);
  uintptr_t at = start;
  while (at - start < bytes) {
    MEMORY_BASIC_INFORMATION region{};
    if (!VirtualQuery(reinterpret_cast<const void*>(at), &region, sizeof region) || !isReadable(region)) break;
    at = reinterpret_cast<uintptr_t>(region.BaseAddress) + region.RegionSize;
  }
  return at - start < bytes ? at - start : bytes;
}

void recordRegisters(FaultContext& fault, const CONTEXT& context) {
  fault.rip = context.Rip;
  fault.rsp = context.Rsp;
  fault.rax = context.Rax;
  fault.rbx = context.Rbx;
  fault.rcx = context.Rcx;
  fault.rdx = context.Rdx;
  fault.rsi = context.Rsi;
  fault.rdi = context.Rdi;
  fault.r8 = context.R8;
  fault.r9 = context.R9;
  const auto* stack = reinterpret_cast<const void*>(context.Rsp);
  const size_t readable = readableBytes(stack, sizeof fault.stack);
  std::memcpy(fault.stack, stack, readable);
  fault.stackWordCount = readable / sizeof(uint64_t);
}

// From a handler that runs on the guarded thread outside exception dispatch.
[[noreturn]] void resumeAtGuard(Guard& guard, DWORD code) {
  guard.faultCode = code;
  RtlRestoreContext(&guard.resume, nullptr);
  __builtin_unreachable();
}

LONG CALLBACK onException(EXCEPTION_POINTERS* pointers) {
  Guard* guard = activeGuard;
  const DWORD code = pointers->ExceptionRecord->ExceptionCode;
  if (!guard || !isProcessorFault(code)) return EXCEPTION_CONTINUE_SEARCH;
  if (guard->fault) {
    *guard->fault = FaultContext{};
    guard->fault->code = code;
    guard->fault->address = pointers->ExceptionRecord->ExceptionAddress;
    recordRegisters(*guard->fault, *pointers->ContextRecord);
  }
  guard->faultCode = code;
  *pointers->ContextRecord = guard->resume;
  return EXCEPTION_CONTINUE_EXECUTION;
}

void onAbort(int) {
  Guard* guard = activeGuard;
  if (!guard) {
    std::signal(SIGABRT, SIG_DFL);
    std::raise(SIGABRT);
    return;
  }
  if (guard->fault) {
    *guard->fault = FaultContext{};
    guard->fault->code = kFaultAbort;
    CONTEXT here{};
    RtlCaptureContext(&here);
    recordRegisters(*guard->fault, here);
  }
  resumeAtGuard(*guard, kFaultAbort);
}

void installHandlerOnce() {
  static const PVOID handler = AddVectoredExceptionHandler(1, onException);
  (void)handler;
}

// Kept out of line so that nothing of callGuarded's frame lives in a
// register across the resume; everything read after it is volatile or in
// memory the resume does not touch.
__attribute__((noinline)) bool enterGuard(Guard& guard, void (*body)(void*), void* context) {
  guard.faultCode = 0;
  RtlCaptureContext(&guard.resume);
  if (guard.faultCode != 0) return false;
  return runBodyCatchingExceptions(body, context, guard.fault);
}

}  // namespace

bool callGuarded(void (*body)(void* context), void* context, FaultContext* fault) {
  installHandlerOnce();
  Guard guard{};
  guard.fault = fault;
  Guard* const outer = activeGuard;
  activeGuard = &guard;
  const auto previousAbort = std::signal(SIGABRT, onAbort);
  const bool completed = enterGuard(guard, body, context);
  std::signal(SIGABRT, previousAbort);
  activeGuard = outer;
  // The guard page that stopped the overflow is gone until it is put back.
  if (guard.faultCode == EXCEPTION_STACK_OVERFLOW) _resetstkoflw();
  return completed;
}

std::array<ArgumentRegister, 2> firstArguments(const FaultContext& fault) {
  return {{{"rcx", fault.rcx}, {"rdx", fault.rdx}}};
}

bool readMemory(const void* address, void* out, size_t bytes) {
  if (!address || readableBytes(address, bytes) != bytes) return false;
  std::memcpy(out, address, bytes);
  return true;
}

}  // namespace corvel
