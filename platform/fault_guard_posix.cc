#include <setjmp.h>
#include <signal.h>

#include <cstdlib>
#include <iterator>

#include "platform/fault_guard.h"

namespace corvel {
namespace {

constexpr int kGuardedSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGTRAP, SIGABRT};
constexpr size_t kSignalCount = std::size(kGuardedSignals);
// A stack overflow can only be handled on a stack of its own.
constexpr size_t kAlternateStackBytes = 64 * 1024;

thread_local sigjmp_buf* jumpTarget = nullptr;

void onFault(int signal, siginfo_t*, void*) {
  if (jumpTarget) siglongjmp(*jumpTarget, signal);
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
bool runBody(void (*body)(void*), void* context) {
  try {
    body(context);
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace

bool callGuarded(void (*body)(void* context), void* context) {
  ensureAlternateStack();
  struct sigaction previous[kSignalCount];
  installHandlers(previous);
  sigjmp_buf* volatile outerTarget = jumpTarget;
  sigjmp_buf target;
  volatile bool completed = false;
  // Saving the signal mask (second argument 1) unblocks the signal on the
  // way back, so a later fault is caught too.
  if (sigsetjmp(target, 1) == 0) {
    jumpTarget = &target;
    completed = runBody(body, context);
  }
  jumpTarget = outerTarget;
  restoreHandlers(previous);
  return completed;
}

}  // namespace corvel
