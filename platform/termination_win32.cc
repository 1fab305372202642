#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstring>

#include "platform/termination.h"

namespace corvel {
namespace {

std::atomic<bool> requested{false};
// Set by the console handler, waited for by the watchdog.
HANDLE requestPosted = nullptr;

// What the watchdog needs, copied before its thread starts and only read
// after. A section goes with the process: nothing to remove by name.
struct ForcedExit {
  char line[256];
  int exitCode;
} forcedExit;

// Runs on a thread the system creates for the event.
BOOL WINAPI onConsoleEvent(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      requested = true;
      SetEvent(requestPosted);
      return TRUE;
    default:
      return FALSE;
  }
}

// Terminates rather than exits: an exit would wait for the loader lock,
// which the stuck main thread may hold.
DWORD WINAPI watchdog(void*) {
  WaitForSingleObject(requestPosted, INFINITE);
  Sleep(kTerminationGraceMilliseconds);
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), forcedExit.line, static_cast<DWORD>(std::strlen(forcedExit.line)),
            &written, nullptr);
  TerminateProcess(GetCurrentProcess(), static_cast<UINT>(forcedExit.exitCode));
  return 0;
}

}  // namespace

// A closed output pipe only fails the write here; there is no signal to stop.
void watchTerminationRequests() {
  requestPosted = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

bool terminationRequested() { return requested; }

WatchdogStatus startTerminationWatchdog(const std::string& line, int exitCode, const std::string&) {
  const size_t length = std::min(line.size(), sizeof forcedExit.line - 1);
  std::memcpy(forcedExit.line, line.data(), length);
  forcedExit.line[length] = '\0';
  forcedExit.exitCode = exitCode;
  HANDLE thread = requestPosted ? CreateThread(nullptr, 0, watchdog, nullptr, 0, nullptr) : nullptr;
  if (!thread) return WatchdogStatus::kNotStarted;
  CloseHandle(thread);
  return WatchdogStatus::kStarted;
}

}  // namespace corvel
