// What a test parent sees of the host's windows, through an X connection of
// its own: which windows exist and are mapped, their sizes, their pixels,
// and the requests a window manager or a user would make. Test thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace corvel {

// 0xRRGGBB pixels, row by row.
struct Image {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;

  size_t count(uint32_t rgb) const;
  size_t distinctColours() const;
  // Binary PPM, viewable by most image tools. False when it cannot be written.
  bool savePpm(const std::string& path) const;
};

// <build>/screenshots/<name>.ppm, the folder created.
std::string screenshotPath(const std::string& name);

class X11Probe {
 public:
  using Window = unsigned long;

  // Null when `display` (":N") cannot be opened.
  static std::unique_ptr<X11Probe> connect(const std::string& display);
  ~X11Probe();
  X11Probe(const X11Probe&) = delete;
  X11Probe& operator=(const X11Probe&) = delete;

  // Top-level windows whose WM_CLASS class is `className`.
  std::vector<Window> windowsOfClass(const std::string& className);
  std::vector<Window> children(Window window);
  // Every top-level window, bottom of the stack first.
  std::vector<Window> stackingOrder();
  bool exists(Window window);
  bool isMapped(Window window);
  // Width and height; 0 x 0 for a window that does not exist.
  std::pair<int, int> size(Window window);
  std::string title(Window window);
  // Whether `window` is above every other top-level window.
  bool isOnTop(Window window);

  void map(Window window);
  // A mapped top-level window of the probe's own, which it destroys with itself.
  Window createWindow();
  // WM_DELETE_WINDOW, as a window manager sends it for the close button.
  void requestClose(Window window);
  // A left-button press and release at (x, y) of `window`.
  void click(Window window, int x, int y);
  // The window's contents with its children, as they appear on screen.
  Image capture(Window window);

 private:
  explicit X11Probe(void* display);
  void* display;
};

// The id printed as "%p" by the host ("0x1a00001"), or 0.
X11Probe::Window windowFromPrinted(const std::string& text);

}  // namespace corvel
