// Needs a window station with a display: under Wine, an X server.
#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "platform/host_window.h"
#include "platform/message_pump.h"
#include "platform/native_window.h"

namespace corvel {
namespace {

std::vector<WindowEvent> events;

// Closing destroys the window, as the host's own handler does.
void recordAndDestroyOnClose(void* window, WindowEvent event) {
  events.push_back(event);
  if (event == WindowEvent::kClose) destroyHostWindow(window);
}

class HostWindow : public testing::Test {
 protected:
  void SetUp() override {
    events.clear();
    window = static_cast<HWND>(createHostWindow(recordAndDestroyOnClose));
    ASSERT_NE(window, nullptr);
  }
  void TearDown() override {
    if (window && IsWindow(window)) DestroyWindow(window);
  }

  SIZE outerSize() const {
    RECT rect{};
    GetWindowRect(window, &rect);
    return {rect.right - rect.left, rect.bottom - rect.top};
  }

  HWND window = nullptr;
};

TEST_F(HostWindow, StartsHidden800x600WithItsClassAndTitle) {
  char className[64] = {};
  char title[64] = {};
  GetClassNameA(window, className, sizeof className);
  GetWindowTextA(window, title, sizeof title);
  EXPECT_STREQ(className, "CorvelClass");
  EXPECT_STREQ(title, "Corvel");
  EXPECT_FALSE(IsWindowVisible(window));
  EXPECT_EQ(outerSize().cx, 800);
  EXPECT_EQ(outerSize().cy, 600);
  EXPECT_STREQ(editorPlatformType(), "HWND");
}

TEST_F(HostWindow, ASecondWindowReusesTheRegisteredClass) {
  HWND second = static_cast<HWND>(createHostWindow(recordAndDestroyOnClose));
  ASSERT_NE(second, nullptr);
  EXPECT_NE(second, window);
  DestroyWindow(second);
}

TEST_F(HostWindow, ShowsAndHidesOnRequest) {
  bringHostWindowToFront(window);
  pumpMessages();
  EXPECT_TRUE(IsWindowVisible(window));
  EXPECT_FALSE(GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST) << "lifted, not left on top";
  hideHostWindow(window);
  EXPECT_FALSE(IsWindowVisible(window));
}

TEST_F(HostWindow, ClientSizeLeavesRoomForTheFrame) {
  setWindowClientSize(window, 380, 420);
  RECT client{};
  GetClientRect(window, &client);
  EXPECT_EQ(client.right, 380);
  EXPECT_EQ(client.bottom, 420);
  setWindowOuterSize(window, 500, 300);
  EXPECT_EQ(outerSize().cx, 500);
  EXPECT_EQ(outerSize().cy, 300);
  setWindowOuterSize(window, 0, 300);
  EXPECT_EQ(outerSize().cx, 500) << "empty sizes are ignored";
}

TEST_F(HostWindow, CloseReachesTheHandlerWhichDestroysTheWindow) {
  PostMessageW(window, WM_CLOSE, 0, 0);
  pumpMessages();
  EXPECT_EQ(events, (std::vector<WindowEvent>{WindowEvent::kClose, WindowEvent::kDestroy}));
  EXPECT_FALSE(isLiveWindow(window));
  EXPECT_FALSE(isLiveWindow(nullptr));
}

TEST_F(HostWindow, DestructionIsReportedOnce) {
  destroyHostWindow(window);
  pumpMessages();
  EXPECT_EQ(events, std::vector<WindowEvent>{WindowEvent::kDestroy});
}

}  // namespace
}  // namespace corvel
