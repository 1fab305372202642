// The host editor window as a plain Xlib top-level window. The window id is
// the handle the host prints and hands to the adapters, so a parent can map
// it or reparent it into its own window.
#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/host_window.h"
#include "platform/native_window.h"
#include "platform/x11_display.h"
#include "platform/x11_host_windows.h"

namespace corvel {
namespace {

constexpr unsigned kWidth = 800;
constexpr unsigned kHeight = 600;
constexpr long kNetWmStateRemove = 0;
constexpr long kNetWmStateAdd = 1;
constexpr long kSourceApplication = 1;

struct HostWindow {
  Window window;
  WindowEventHandler handler;
};

std::vector<HostWindow> hostWindows;

void setIdentity(Display* x, Window window) {
  XStoreName(x, window, "Corvel");
  const char title[] = "Corvel";
  XChangeProperty(x, window, x11::atom(x, "_NET_WM_NAME"), x11::atom(x, "UTF8_STRING"), 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(title), std::strlen(title));
  char name[] = "corvel";
  char className[] = "CorvelClass";
  XClassHint hint{name, className};
  XSetClassHint(x, window, &hint);
  Atom closeRequest = x11::atom(x, "WM_DELETE_WINDOW");
  XSetWMProtocols(x, window, &closeRequest, 1);
}

// Asks the window manager (through the root window, as EWMH wants) to
// change something about `window`; without a window manager nothing happens.
void sendToWindowManager(Display* x, Window window, const char* message, long first, long second) {
  x11::sendClientMessage(x, DefaultRootWindow(x), window, message, {first, second},
                         SubstructureRedirectMask | SubstructureNotifyMask);
}

void setKeptAbove(Display* x, Window window, bool above) {
  sendToWindowManager(x, window, "_NET_WM_STATE", above ? kNetWmStateAdd : kNetWmStateRemove,
                      static_cast<long>(x11::atom(x, "_NET_WM_STATE_ABOVE")));
}

}  // namespace

void* createHostWindow(WindowEventHandler handler) {
  Display* x = x11::display();
  if (!x) return nullptr;
  XSetWindowAttributes attributes{};
  attributes.event_mask = StructureNotifyMask | SubstructureNotifyMask;
  const Window window =
      XCreateWindow(x, DefaultRootWindow(x), 0, 0, kWidth, kHeight, 0, CopyFromParent, InputOutput,
                    CopyFromParent, CWEventMask, &attributes);
  if (!window) return nullptr;
  setIdentity(x, window);
  XFlush(x);
  hostWindows.push_back({window, handler});
  return x11::handleOf(window);
}

// Reported destroyed from inside the call, as on Win32, and forgotten at
// once: its DestroyNotify arrives later, maybe after the next host window
// and its editor exist, and must not close that editor.
void destroyHostWindow(void* window) {
  const Window w = x11::windowOf(window);
  const WindowEventHandler handler = x11::handlerOf(w);
  x11::forgetHostWindow(w);
  if (Display* x = x11::display()) {
    XDestroyWindow(x, w);
    XFlush(x);
  }
  if (handler) handler(window, WindowEvent::kDestroy);
}

void bringHostWindowToFront(void* window) {
  Display* x = x11::display();
  if (!x) return;
  const Window w = x11::windowOf(window);
  XMapWindow(x, w);
  setKeptAbove(x, w, true);
  setKeptAbove(x, w, false);
  XRaiseWindow(x, w);
  sendToWindowManager(x, w, "_NET_ACTIVE_WINDOW", kSourceApplication, CurrentTime);
  XFlush(x);
}

void hideHostWindow(void* window) {
  Display* x = x11::display();
  if (!x) return;
  XWithdrawWindow(x, x11::windowOf(window), DefaultScreen(x));
  XFlush(x);
}

const char* editorPlatformType() { return "X11EmbedWindowID"; }

bool isLiveWindow(void* window) {
  Display* x = x11::display();
  if (!x || !window) return false;
  x11::ErrorTrap trap;
  XWindowAttributes attributes;
  const Status found = XGetWindowAttributes(x, x11::windowOf(window), &attributes);
  return !trap.failed() && found != 0;
}

// An X window has no frame of its own; the window manager adds one outside.
void setWindowClientSize(void* window, int width, int height) {
  setWindowOuterSize(window, width, height);
}

void setWindowOuterSize(void* window, int width, int height) {
  Display* x = x11::display();
  if (!x || width < 1 || height < 1) return;
  XResizeWindow(x, x11::windowOf(window), static_cast<unsigned>(width),
                static_cast<unsigned>(height));
  XFlush(x);
}

namespace x11 {

WindowEventHandler handlerOf(Window window) {
  auto found = std::find_if(hostWindows.begin(), hostWindows.end(),
                            [window](const HostWindow& host) { return host.window == window; });
  return found == hostWindows.end() ? nullptr : found->handler;
}

void forgetHostWindow(Window window) {
  std::erase_if(hostWindows, [window](const HostWindow& host) { return host.window == window; });
}

void destroyAllHostWindows() {
  const std::vector<HostWindow> gone = std::move(hostWindows);
  hostWindows.clear();
  for (const HostWindow& host : gone) host.handler(handleOf(host.window), WindowEvent::kDestroy);
}

}  // namespace x11
}  // namespace corvel
