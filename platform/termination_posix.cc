#include <pthread.h>
#include <semaphore.h>
#include <signal.h>
#include <unistd.h>

#include <climits>
#include <cstring>

#include "platform/signal_safe_posix.h"
#include "platform/system.h"
#include "platform/termination.h"

namespace corvel {
namespace {

constexpr int kRequestSignals[] = {SIGTERM, SIGINT, SIGHUP};

volatile sig_atomic_t requested = 0;
// Posted from the signal handler (sem_post is async-signal-safe), taken by the watchdog.
sem_t requestPosted;

// What the watchdog needs, copied before its thread starts and only read after.
struct ForcedExit {
  char line[256];
  char fileToRemove[PATH_MAX];
  int exitCode;
} forcedExit;

void onRequest(int) {
  requested = 1;
  sem_post(&requestPosted);
}

// Only calls that take no lock the stuck main thread could hold.
void* watchdog(void*) {
  while (sem_wait(&requestPosted) != 0) {
  }
  sleepMilliseconds(kTerminationGraceMilliseconds);
  if (forcedExit.fileToRemove[0]) unlink(forcedExit.fileToRemove);
  writeAll(STDOUT_FILENO, forcedExit.line, std::strlen(forcedExit.line));
  _exit(forcedExit.exitCode);
}

// Requests are left to the main thread, whose sleeps they cut short.
sigset_t requestSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal : kRequestSignals) sigaddset(&set, signal);
  return set;
}

}  // namespace

void watchTerminationRequests() {
  sem_init(&requestPosted, 0, 0);
  struct sigaction action {};
  action.sa_handler = onRequest;
  sigemptyset(&action.sa_mask);
  for (int signal : kRequestSignals) sigaction(signal, &action, nullptr);
  ::signal(SIGPIPE, SIG_IGN);
}

bool terminationRequested() { return requested != 0; }

WatchdogStatus startTerminationWatchdog(const std::string& line, int exitCode, const std::string& fileToRemove) {
  copyWhole(forcedExit.line, line);
  copyWhole(forcedExit.fileToRemove, fileToRemove);
  forcedExit.exitCode = exitCode;
  const sigset_t blocked = requestSignals();
  sigset_t previous;
  pthread_sigmask(SIG_BLOCK, &blocked, &previous);
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
  pthread_t thread;
  const bool started = pthread_create(&thread, &attributes, watchdog, nullptr) == 0;
  pthread_attr_destroy(&attributes);
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  return started ? WatchdogStatus::kStarted : WatchdogStatus::kNotStarted;
}

}  // namespace corvel
