#include <setjmp.h>
#include <signal.h>
#include <sys/uio.h>
#include <ucontext.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <iterator>

#include "platform/fault_guard.h"
#include "platform/guarded_body.h"

namespace corvel {
namespace {

constexpr int kGuardedSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGTRAP, SIGABRT};
constexpr size_t kSignalCount = std::size(kGuardedSignals);
// A stack overflow can only be handled on a stack of its own.
constexpr size_t kAlternateStackBytes = 64 * 1024;

thread_local sigjmp_buf* jumpTarget = nullptr;
thread_local FaultContext* faultTarget = nullptr;

uint32_t codeOf(int signal, int detail) {
  switch (signal) {
    case SIGSEGV:
    case SIGBUS:
      return kFaultAccessViolation;
    case SIGFPE:
      return detail == FPE_INTDIV ? kFaultIntegerDivide : kFaultFloatingPoint;
    case SIGILL:
      return kFaultIllegalInstruction;
    case SIGTRAP:
      return kFaultBreakpoint;
    default:
      return kFaultAbort;
  }
}

// Async-signal-safe: a system call reads, so a bad address fails instead of faulting.
size_t copyReadable(const void* address, void* out, size_t bytes) {
  iovec local{out, bytes};
  iovec remote{const_cast<void*>(address), bytes};
  const ssize_t copied = process_vm_readv(getpid(), &local, 1, &remote, 1, 0);
  return copied > 0 ? static_cast<size_t>(copied) : 0;
}

void recordFault(FaultContext& fault, int signal, const siginfo_t* info, const ucontext_t* context) {
  const greg_t* registers = context->uc_mcontext.gregs;
  fault.code = codeOf(signal, info->si_code);
  fault.rip = static_cast<uint64_t>(registers[REG_RIP]);
  fault.rsp = static_cast<uint64_t>(registers[REG_RSP]);
  fault.rax = static_cast<uint64_t>(registers[REG_RAX]);
  fault.rbx = static_cast<uint64_t>(registers[REG_RBX]);
  fault.rcx = static_cast<uint64_t>(registers[REG_RCX]);
  fault.rdx = static_cast<uint64_t>(registers[REG_RDX]);
  fault.rsi = static_cast<uint64_t>(registers[REG_RSI]);
  fault.rdi = static_cast<uint64_t>(registers[REG_RDI]);
  fault.r8 = static_cast<uint64_t>(registers[REG_R8]);
  fault.r9 = static_cast<uint64_t>(registers[REG_R9]);
  fault.address = reinterpret_cast<const void*>(fault.rip);
  const size_t copied =
      copyReadable(reinterpret_cast<const void*>(fault.rsp), fault.stack, sizeof fault.stack);
  fault.stackWordCount = copied / sizeof(uint64_t);
}

void onFault(int signal, siginfo_t* info, void* context) {
  if (jumpTarget) {
    if (faultTarget) recordFault(*faultTarget, signal, info, static_cast<ucontext_t*>(context));
    siglongjmp(*jumpTarget, signal);
  }
  // Not inside a guarded call on this thread: die as the fault would have.
  ::signal(signal, SIG_DFL);
  raise(signal);
}

// Installs this thread's alternate signal stack once, unless one (a
// sanitizer's, say) is already there. The stack lives as long as the thread.
void ensureAlternateStack() {
  thread_local bool installed = false;
  if (installed) return;
  installed = true;
  stack_t current{};
  if (sigaltstack(nullptr, &current) == 0 && !(current.ss_flags & SS_DISABLE)) return;
  thread_local void* memory = std::malloc(kAlternateStackBytes);
  if (!memory) return;
  stack_t stack{};
  stack.ss_sp = memory;
  stack.ss_size = kAlternateStackBytes;
  sigaltstack(&stack, nullptr);
}

void installHandlers(struct sigaction (&previous)[kSignalCount]) {
  struct sigaction action{};
  action.sa_sigaction = onFault;
  action.sa_flags = SA_SIGINFO | SA_ONSTACK;
  sigemptyset(&action.sa_mask);
  for (size_t i = 0; i < kSignalCount; ++i) sigaction(kGuardedSignals[i], &action, &previous[i]);
}

void restoreHandlers(const struct sigaction (&previous)[kSignalCount]) {
  for (size_t i = 0; i < kSignalCount; ++i) sigaction(kGuardedSignals[i], &previous[i], nullptr);
}

// Kept apart from the sigsetjmp frame so no local of that frame is live
// across the jump.
bool runBody(void (*body)(void*), void* context, FaultContext* fault) {
  return runBodyCatchingExceptions(body, context, fault);
}

}  // namespace

bool callGuarded(void (*body)(void* context), void* context, FaultContext* fault) {
  ensureAlternateStack();
  struct sigaction previous[kSignalCount];
  installHandlers(previous);
  sigjmp_buf* volatile outerTarget = jumpTarget;
  FaultContext* volatile outerFault = faultTarget;
  sigjmp_buf target;
  volatile bool completed = false;
  // Saving the signal mask (second argument 1) unblocks the signal on the
  // way back, so a later fault is caught too.
  if (sigsetjmp(target, 1) == 0) {
    jumpTarget = &target;
    faultTarget = fault;
    completed = runBody(body, context, fault);
  }
  jumpTarget = outerTarget;
  faultTarget = outerFault;
  restoreHandlers(previous);
  return completed;
}

bool readMemory(const void* address, void* out, size_t bytes) {
  return address && copyReadable(address, out, bytes) == bytes;
}

}  // namespace corvel
