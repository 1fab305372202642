// The host editor window as a plain Win32 top-level window. Its handle is
// the HWND the host prints and hands to the adapters.
#include <windows.h>

#include "platform/host_window.h"
#include "platform/native_window.h"

namespace corvel {
namespace {

constexpr char kClassName[] = "CorvelClass";
constexpr int kWidth = 800;
constexpr int kHeight = 600;

WindowEventHandler handlerOf(HWND window) {
  return reinterpret_cast<WindowEventHandler>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

// WM_CLOSE is answered here (the handler destroys the window itself);
// WM_DESTROY also reaches the default procedure.
LRESULT CALLBACK hostWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  const WindowEventHandler handler = handlerOf(window);
  if (message == WM_CLOSE && handler) {
    handler(window, WindowEvent::kClose);
    return 0;
  }
  if (message == WM_DESTROY && handler) {
    SetWindowLongPtrA(window, GWLP_USERDATA, 0);
    handler(window, WindowEvent::kDestroy);
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

// A second registration fails once the class exists; creation goes on all the same.
void registerHostClass() {
  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = hostWindowProcedure;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = kClassName;
  RegisterClassExA(&windowClass);
}

}  // namespace

void* createHostWindow(WindowEventHandler handler) {
  registerHostClass();
  HWND window = CreateWindowExA(0, kClassName, "Corvel", WS_OVERLAPPEDWINDOW, 0, 0, kWidth, kHeight, nullptr,
                                nullptr, GetModuleHandleA(nullptr), nullptr);
  if (window) SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(handler));
  return window;
}

void destroyHostWindow(void* window) { DestroyWindow(static_cast<HWND>(window)); }

// The brief topmost step lifts the window above every other one without
// leaving it topmost.
void bringHostWindowToFront(void* window) {
  HWND hwnd = static_cast<HWND>(window);
  ShowWindow(hwnd, SW_SHOW);
  SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
  SetWindowPos(hwnd, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  SetForegroundWindow(hwnd);
  BringWindowToTop(hwnd);
}

void hideHostWindow(void* window) { ShowWindow(static_cast<HWND>(window), SW_HIDE); }

const char* editorPlatformType() { return "HWND"; }

bool isLiveWindow(void* window) { return window && IsWindow(static_cast<HWND>(window)); }

void setWindowClientSize(void* window, int width, int height) {
  HWND hwnd = static_cast<HWND>(window);
  RECT frame{0, 0, width, height};
  AdjustWindowRect(&frame, static_cast<DWORD>(GetWindowLongA(hwnd, GWL_STYLE)), FALSE);
  setWindowOuterSize(window, frame.right - frame.left, frame.bottom - frame.top);
}

void setWindowOuterSize(void* window, int width, int height) {
  if (width < 1 || height < 1) return;
  SetWindowPos(static_cast<HWND>(window), nullptr, 0, 0, width, height,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace corvel
