#include <signal.h>

#include <initializer_list>

#include "platform/termination.h"

namespace corvel {
namespace {

volatile sig_atomic_t requested = 0;

void onRequest(int) { requested = 1; }

}  // namespace

void watchTerminationRequests() {
  struct sigaction action {};
  action.sa_handler = onRequest;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) sigaction(signal, &action, nullptr);
  ::signal(SIGPIPE, SIG_IGN);
}

bool terminationRequested() { return requested != 0; }

}  // namespace corvel
