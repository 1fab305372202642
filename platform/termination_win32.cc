#include <windows.h>

#include <atomic>

#include "platform/termination.h"

namespace corvel {
namespace {

std::atomic<bool> requested{false};

// Runs on a thread the system creates for the event.
BOOL WINAPI onConsoleEvent(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      requested = true;
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

// A closed output pipe only fails the write here; there is no signal to stop.
void watchTerminationRequests() { SetConsoleCtrlHandler(onConsoleEvent, TRUE); }

bool terminationRequested() { return requested; }

}  // namespace corvel
