#include "platform/x11_display.h"

#include <algorithm>
#include <cstdio>

namespace corvel::x11 {
namespace {

Display* connection = nullptr;
bool tried = false;
bool lost = false;
bool lossReported = false;
int quietDepth = 0;
int errorCount = 0;

// Errors never end the host. Plug-in toolkits share this process-wide
// handler until they install their own; their errors are dropped quietly.
int onError(Display* from, XErrorEvent* error) {
  if (from != connection) return 0;
  ++errorCount;
  if (quietDepth == 0) {
    std::fprintf(stderr, "[corvel] X error %d on request %d ignored\n", error->error_code,
                 error->request_code);
  }
  return 0;
}

// Xlib's own handler exits at once. This one only reports; what follows is
// decided per connection: Xlib's exit for a plug-in's, onConnectionLost for
// the host's.
int onFatalError(Display* from) {
  std::fprintf(stderr, "[corvel] X connection to %s lost\n", DisplayString(from));
  return 0;
}

// Returning from here, instead of exiting, leaves the connection dead but
// the process alive: the host keeps serving audio without a window.
void onConnectionLost(Display*, void*) { lost = true; }

Display* openConnection() {
  Display* opened = XOpenDisplay(nullptr);
  if (!opened) return nullptr;
  XSetErrorHandler(onError);
  XSetIOErrorHandler(onFatalError);
  XSetIOErrorExitHandler(opened, onConnectionLost, nullptr);
  return opened;
}

}  // namespace

Display* display() {
  if (!tried) {
    tried = true;
    connection = openConnection();
  }
  return openedDisplay();
}

Display* openedDisplay() { return lost ? nullptr : connection; }

bool takeConnectionLoss() {
  if (!lost || lossReported) return false;
  lossReported = true;
  return true;
}

Atom atom(Display* x, const char* name) { return XInternAtom(x, name, False); }

void sendClientMessage(Display* x, Window target, Window window, const char* type,
                       std::initializer_list<long> data, long eventMask) {
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = atom(x, type);
  event.xclient.format = 32;
  std::copy_n(data.begin(), std::min<size_t>(data.size(), 5), event.xclient.data.l);
  XSendEvent(x, target, False, eventMask, &event);
}

ErrorTrap::ErrorTrap() : errorsBefore(errorCount) { ++quietDepth; }

ErrorTrap::~ErrorTrap() { --quietDepth; }

bool ErrorTrap::failed() {
  if (Display* x = display()) XSync(x, False);
  return lost || errorCount != errorsBefore;
}

}  // namespace corvel::x11
