#include "tests/support/win32_windows.h"

#include "client/wait_until.h"

namespace corvel {
namespace {

struct Search {
  DWORD process;
  const std::string& className;
  std::vector<HWND> found;
};

BOOL CALLBACK collectWindowOfClass(HWND window, LPARAM context) {
  auto& search = *reinterpret_cast<Search*>(context);
  DWORD owner = 0;
  char className[64] = {};
  GetWindowThreadProcessId(window, &owner);
  GetClassNameA(window, className, sizeof className);
  if (owner == search.process && search.className == className) search.found.push_back(window);
  return TRUE;
}

}  // namespace

std::vector<HWND> topLevelWindows(DWORD process, const std::string& className) {
  Search search{process, className, {}};
  EnumWindows(collectWindowOfClass, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND waitForOnlyWindow(DWORD process, const std::string& className, std::chrono::milliseconds timeout) {
  std::vector<HWND> found;
  waitUntil(
      [&] {
        found = topLevelWindows(process, className);
        return found.size() == 1;
      },
      timeout);
  return found.size() == 1 ? found.front() : nullptr;
}

std::vector<HWND> childWindows(HWND window) {
  std::vector<HWND> children;
  for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
    children.push_back(child);
  return children;
}

bool waitForVisibility(HWND window, bool visible, std::chrono::milliseconds timeout) {
  return waitUntil([&] { return static_cast<bool>(IsWindowVisible(window)) == visible; }, timeout);
}

}  // namespace corvel
