#include <pthread.h>
#include <setjmp.h>
#include <signal.h>
#include <sys/uio.h>
#include <ucontext.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <iterator>

#include "platform/fatal_signal.h"
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

// The handlers each of ours replaced, for faults no guarded call waits for.
struct sigaction previousActions[kSignalCount];

// What would have happened without our handler: the previous one runs, or
// the default action ends the process once this handler returns.
void passOn(int signal, siginfo_t* info, void* context) {
  for (size_t i = 0; i < kSignalCount; ++i) {
    if (kGuardedSignals[i] != signal) continue;
    const struct sigaction& previous = previousActions[i];
    if (previous.sa_flags & SA_SIGINFO) return previous.sa_sigaction(signal, info, context);
    if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN) return previous.sa_handler(signal);
  }
  struct sigaction fallback{};
  fallback.sa_handler = SIG_DFL;
  sigaction(signal, &fallback, nullptr);
  raise(signal);
}

void onFault(int signal, siginfo_t* info, void* context) {
  auto* machine = static_cast<ucontext_t*>(context);
  if (jumpTarget) {
    if (faultTarget) recordFault(*faultTarget, signal, info, machine);
    // The jump target saved no signal mask (that costs a system call per
    // guarded call): put back the mask the faulting code ran with, which
    // unblocks this signal again for the next fault.
    pthread_sigmask(SIG_SETMASK, &machine->uc_sigmask, nullptr);
    siglongjmp(*jumpTarget, signal);
  }
  reportFatalSignal(signal, static_cast<uintptr_t>(machine->uc_mcontext.gregs[REG_RIP]));
  passOn(signal, info, context);
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

bool installHandlers() {
  struct sigaction action{};
  action.sa_sigaction = onFault;
  action.sa_flags = SA_SIGINFO | SA_ONSTACK;
  sigemptyset(&action.sa_mask);
  for (size_t i = 0; i < kSignalCount; ++i) sigaction(kGuardedSignals[i], &action, &previousActions[i]);
  return true;
}

// Kept apart from the sigsetjmp frame so no local of that frame is live
// across the jump.
bool runBody(void (*body)(void*), void* context, FaultContext* fault) {
  return runBodyCatchingExceptions(body, context, fault);
}

}  // namespace

void prepareFaultHandling() {
  static const bool installed = installHandlers();
  (void)installed;
  ensureAlternateStack();
}

bool callGuarded(void (*body)(void* context), void* context, FaultContext* fault) {
  prepareFaultHandling();
  sigjmp_buf* volatile outerTarget = jumpTarget;
  FaultContext* volatile outerFault = faultTarget;
  sigjmp_buf target;
  volatile bool completed = false;
  if (sigsetjmp(target, 0) == 0) {
    jumpTarget = &target;
    faultTarget = fault;
    completed = runBody(body, context, fault);
  }
  jumpTarget = outerTarget;
  faultTarget = outerFault;
  return completed;
}

std::array<ArgumentRegister, 2> firstArguments(const FaultContext& fault) {
  return {{{"rdi", fault.rdi}, {"rsi", fault.rsi}}};
}

bool readMemory(const void* address, void* out, size_t bytes) {
  return address && copyReadable(address, out, bytes) == bytes;
}

}  // namespace corvel
