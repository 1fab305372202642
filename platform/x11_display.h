// The host's own connection to the X server, shared by the window, the
// adapters' window helpers and the pump. Internal to platform/. Main thread.
#pragma once

#include <X11/Xlib.h>

#include <cstdint>
#include <initializer_list>

namespace corvel::x11 {

// The connection, opened on first use from DISPLAY; null when there is no
// display or it has gone away. Once lost it is never used again.
Display* display();
// The connection if one was opened and still works; never opens one.
Display* openedDisplay();
// True once the server connection broke; the pump reports it once as the
// destruction of every host window.
bool takeConnectionLoss();

// Counts the X errors raised on our connection while it lives, so that a
// probe can tell whether its request failed without logging it.
class ErrorTrap {
 public:
  ErrorTrap();
  ~ErrorTrap();
  ErrorTrap(const ErrorTrap&) = delete;
  ErrorTrap& operator=(const ErrorTrap&) = delete;
  // Waits for the server's answer to everything sent so far.
  bool failed();

 private:
  int errorsBefore;
};

Atom atom(Display* x, const char* name);
// Sends a 32-bit client message of `type` concerning `window` to `target`,
// with up to five data words.
void sendClientMessage(Display* x, Window target, Window window, const char* type,
                       std::initializer_list<long> data, long eventMask);

inline Window windowOf(void* handle) { return static_cast<Window>(reinterpret_cast<uintptr_t>(handle)); }
inline void* handleOf(Window window) { return reinterpret_cast<void*>(static_cast<uintptr_t>(window)); }

}  // namespace corvel::x11
