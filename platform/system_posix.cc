#include <pthread.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "platform/system.h"

namespace corvel {
namespace {

// 50 µs is Linux's default slack; a few µs keeps the 1 ms acknowledgement
// poll close to 1 ms.
constexpr unsigned long kFineSlackNanoseconds = 5000;
long previousSlack = -1;

}  // namespace

void suppressErrorBoxes() {}
void enterApartment() {}
void leaveApartment() {}

void beginFineTimer() {
  previousSlack = prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0);
  prctl(PR_SET_TIMERSLACK, kFineSlackNanoseconds, 0, 0, 0);
}

void endFineTimer() {
  if (previousSlack > 0) prctl(PR_SET_TIMERSLACK, static_cast<unsigned long>(previousSlack), 0, 0, 0);
}

uint32_t currentProcessId() { return static_cast<uint32_t>(getpid()); }

// Pages are locked as they fault in rather than all at once: locking every
// mapping up front would commit the whole address space reservations some
// runtimes (sanitizers, JITs in plug-ins) make.
std::string requestRealtime(int32_t priority) {
  const sched_param parameters{priority};
  if (const int error = pthread_setschedparam(pthread_self(), SCHED_FIFO, &parameters); error != 0)
    return "SCHED_FIFO " + std::to_string(priority) + ": " + std::strerror(error);
  if (mlockall(MCL_CURRENT | MCL_FUTURE | MCL_ONFAULT) != 0) return std::string("memory lock: ") + std::strerror(errno);
  return {};
}

void sleepMilliseconds(uint32_t milliseconds) {
  if (milliseconds == 0) {
    sched_yield();
    return;
  }
  timespec remaining{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
  while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
  }
}

}  // namespace corvel
