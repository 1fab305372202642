#include "tests/support/x11_probe.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <filesystem>
#include <set>

namespace corvel {
namespace {

Display* x(void* display) { return static_cast<Display*>(display); }

int ignoreErrors(Display*, XErrorEvent*) { return 0; }

uint32_t rgbOf(XImage* image, int column, int row) {
  const unsigned long pixel = XGetPixel(image, column, row);
  auto channel = [pixel](unsigned long mask) {
    if (!mask) return 0u;
    unsigned long value = pixel & mask;
    while (!(mask & 1)) {
      mask >>= 1;
      value >>= 1;
    }
    return static_cast<unsigned>(value * 255 / mask);
  };
  return channel(image->red_mask) << 16 | channel(image->green_mask) << 8 |
         channel(image->blue_mask);
}

}  // namespace

size_t Image::count(uint32_t rgb) const {
  size_t found = 0;
  for (uint32_t pixel : pixels) found += pixel == rgb;
  return found;
}

size_t Image::distinctColours() const {
  return std::set<uint32_t>(pixels.begin(), pixels.end()).size();
}

bool Image::savePpm(const std::string& path) const {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  std::fprintf(file, "P6\n%d %d\n255\n", width, height);
  for (uint32_t pixel : pixels) {
    const unsigned char rgb[3] = {static_cast<unsigned char>(pixel >> 16),
                                  static_cast<unsigned char>(pixel >> 8),
                                  static_cast<unsigned char>(pixel)};
    std::fwrite(rgb, 1, 3, file);
  }
  return std::fclose(file) == 0;
}

std::string screenshotPath(const std::string& name) {
  const std::filesystem::path folder = CORVEL_SCREENSHOT_DIR;
  std::error_code ignored;
  std::filesystem::create_directories(folder, ignored);
  return (folder / (name + ".ppm")).string();
}

std::unique_ptr<X11Probe> X11Probe::connect(const std::string& display) {
  Display* opened = XOpenDisplay(display.c_str());
  if (!opened) return nullptr;
  // The host may destroy a window between a listing and a query.
  XSetErrorHandler(ignoreErrors);
  return std::unique_ptr<X11Probe>(new X11Probe(opened));
}

X11Probe::X11Probe(void* display) : display(display) {}

X11Probe::~X11Probe() { XCloseDisplay(x(display)); }

std::vector<X11Probe::Window> X11Probe::children(Window window) {
  ::Window root = 0, parent = 0;
  ::Window* list = nullptr;
  unsigned count = 0;
  std::vector<Window> found;
  if (XQueryTree(x(display), window, &root, &parent, &list, &count)) found.assign(list, list + count);
  if (list) XFree(list);
  return found;
}

std::vector<X11Probe::Window> X11Probe::windowsOfClass(const std::string& className) {
  std::vector<Window> found;
  for (Window window : stackingOrder()) {
    XClassHint hint{};
    if (!XGetClassHint(x(display), window, &hint)) continue;
    if (hint.res_class && className == hint.res_class) found.push_back(window);
    XFree(hint.res_name);
    XFree(hint.res_class);
  }
  return found;
}

std::vector<X11Probe::Window> X11Probe::stackingOrder() { return children(DefaultRootWindow(x(display))); }

bool X11Probe::exists(Window window) {
  XWindowAttributes attributes;
  return XGetWindowAttributes(x(display), window, &attributes) != 0;
}

bool X11Probe::isMapped(Window window) {
  XWindowAttributes attributes;
  return XGetWindowAttributes(x(display), window, &attributes) &&
         attributes.map_state != IsUnmapped;
}

std::pair<int, int> X11Probe::size(Window window) {
  XWindowAttributes attributes;
  if (!XGetWindowAttributes(x(display), window, &attributes)) return {0, 0};
  return {attributes.width, attributes.height};
}

std::string X11Probe::title(Window window) {
  char* name = nullptr;
  if (!XFetchName(x(display), window, &name) || !name) return {};
  std::string title = name;
  XFree(name);
  return title;
}

bool X11Probe::isOnTop(Window window) {
  const std::vector<Window> stack = children(DefaultRootWindow(x(display)));
  return !stack.empty() && stack.back() == window;
}

void X11Probe::map(Window window) {
  XMapWindow(x(display), window);
  XSync(x(display), False);
}

X11Probe::Window X11Probe::createWindow() {
  const Window window = XCreateSimpleWindow(x(display), DefaultRootWindow(x(display)), 0, 0, 100, 100,
                                            0, 0, 0);
  map(window);
  return window;
}

void X11Probe::requestClose(Window window) {
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(x(display), "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(x(display), "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(x(display), window, False, NoEventMask, &event);
  XSync(x(display), False);
}

void X11Probe::click(Window window, int column, int row) {
  for (int type : {ButtonPress, ButtonRelease}) {
    XEvent event{};
    event.xbutton.type = type;
    event.xbutton.window = window;
    event.xbutton.root = DefaultRootWindow(x(display));
    event.xbutton.x = column;
    event.xbutton.y = row;
    event.xbutton.button = Button1;
    event.xbutton.same_screen = True;
    const long mask = type == ButtonPress ? ButtonPressMask : ButtonReleaseMask;
    XSendEvent(x(display), window, True, mask, &event);
  }
  XSync(x(display), False);
}

Image X11Probe::capture(Window window) {
  Image image;
  const auto [width, height] = size(window);
  XImage* grabbed = width > 0 ? XGetImage(x(display), window, 0, 0, width, height, AllPlanes, ZPixmap)
                              : nullptr;
  if (!grabbed) return image;
  image.width = width;
  image.height = height;
  image.pixels.reserve(static_cast<size_t>(width) * height);
  for (int row = 0; row < height; ++row)
    for (int column = 0; column < width; ++column) image.pixels.push_back(rgbOf(grabbed, column, row));
  XDestroyImage(grabbed);
  return image;
}

X11Probe::Window windowFromPrinted(const std::string& text) {
  unsigned long window = 0;
  return std::sscanf(text.c_str(), "%lx", &window) == 1 ? window : 0;
}

}  // namespace corvel
