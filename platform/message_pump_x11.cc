// Drains the host's X connection without blocking and routes each event of
// a host window to its handler; children that editors create inside a host
// window are told they are embedded (XEMBED), which toolkits such as VSTGUI
// wait for before they show.
#include <X11/Xatom.h>

#include "platform/message_pump.h"
#include "platform/run_loop.h"
#include "platform/x11_display.h"
#include "platform/x11_host_windows.h"

namespace corvel {
namespace {

constexpr long kXembedEmbeddedNotify = 0;
constexpr long kXembedVersion = 0;
constexpr unsigned long kXembedMapped = 1;

bool asksToBeMapped(Display* x, Window child) {
  Atom type = None;
  int format = 0;
  unsigned long count = 0, remaining = 0;
  unsigned char* data = nullptr;
  const Atom info = x11::atom(x, "_XEMBED_INFO");
  const bool read = XGetWindowProperty(x, child, info, 0, 2, False, info, &type, &format, &count,
                                       &remaining, &data) == Success;
  const bool mapped = read && data && format == 32 && count >= 2 &&
                      (reinterpret_cast<unsigned long*>(data)[1] & kXembedMapped);
  if (data) XFree(data);
  return mapped;
}

void embed(Display* x, Window child, Window embedder) {
  x11::ErrorTrap childMayBeGone;
  x11::sendClientMessage(x, child, child, "_XEMBED",
                         {CurrentTime, kXembedEmbeddedNotify, 0, static_cast<long>(embedder), kXembedVersion},
                         NoEventMask);
  if (asksToBeMapped(x, child)) XMapWindow(x, child);
  childMayBeGone.failed();
}

bool isCloseRequest(Display* x, const XClientMessageEvent& message) {
  return message.message_type == x11::atom(x, "WM_PROTOCOLS") && message.format == 32 &&
         static_cast<Atom>(message.data.l[0]) == x11::atom(x, "WM_DELETE_WINDOW");
}

void dispatch(Display* x, const XEvent& event) {
  switch (event.type) {
    case ClientMessage:
      if (auto handler = x11::handlerOf(event.xclient.window); handler && isCloseRequest(x, event.xclient))
        handler(x11::handleOf(event.xclient.window), WindowEvent::kClose);
      break;
    case DestroyNotify:
      if (auto handler = x11::handlerOf(event.xdestroywindow.window)) {
        x11::forgetHostWindow(event.xdestroywindow.window);
        handler(x11::handleOf(event.xdestroywindow.window), WindowEvent::kDestroy);
      }
      break;
    case CreateNotify:
      if (x11::handlerOf(event.xcreatewindow.parent))
        embed(x, event.xcreatewindow.window, event.xcreatewindow.parent);
      break;
    case ReparentNotify:
      if (x11::handlerOf(event.xreparent.parent))
        embed(x, event.xreparent.window, event.xreparent.parent);
      break;
    default:
      break;
  }
}

void pumpWindowEvents() {
  for (Display* x = x11::openedDisplay(); x && XPending(x); x = x11::openedDisplay()) {
    XEvent event;
    XNextEvent(x, &event);
    dispatch(x, event);
  }
  if (x11::takeConnectionLoss()) x11::destroyAllHostWindows();
}

}  // namespace

void pumpMessages() {
  pumpWindowEvents();
  serviceRunLoop();
}

}  // namespace corvel
