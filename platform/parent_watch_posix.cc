#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "platform/parent_watch.h"

namespace corvel {

ParentWatch::ParentWatch(uint32_t pid) : watched(pid != 0) {
  if (watched) handle = static_cast<int>(syscall(SYS_pidfd_open, static_cast<pid_t>(pid), 0));
}

ParentWatch::~ParentWatch() {
  if (handle >= 0) close(handle);
}

bool ParentWatch::parentAlive() const {
  if (!watched) return true;
  if (handle < 0) return false;
  // A pidfd becomes readable when its process terminates, zombie or reaped.
  pollfd probe{handle, POLLIN, 0};
  return poll(&probe, 1, 0) == 0;
}

}  // namespace corvel
