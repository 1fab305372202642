// A test parent's view of another process's windows on the same desktop.
// Test thread.
#pragma once

#include <windows.h>

#include <chrono>
#include <string>
#include <vector>

namespace corvel {

// The top-level windows of `process` whose class is `className`.
std::vector<HWND> topLevelWindows(DWORD process, const std::string& className);

// That process's one window of `className` once there is exactly one; null
// if there is not within `timeout`.
HWND waitForOnlyWindow(DWORD process, const std::string& className, std::chrono::milliseconds timeout);

// The direct children of `window`, topmost first.
std::vector<HWND> childWindows(HWND window);

// True once `window`'s visibility is `visible`, within `timeout`.
bool waitForVisibility(HWND window, bool visible, std::chrono::milliseconds timeout);

}  // namespace corvel
