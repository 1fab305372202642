// The host editor window of a real host process, seen from a test parent on
// the same desktop: how it is created, shown, hidden and closed.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <iostream>

#include "tests/support/host_session.h"
#include "tests/support/win32_windows.h"

namespace corvel {
namespace {

class HostWindowTest : public testing::Test {
 protected:
  void TearDown() override {
    if (HasFailure() && session.hasHost())
      std::cerr << "host output:\n" << session.host().output() << "host errors:\n" << session.host().errors();
  }

  // The host's one window, once it exists.
  HWND hostWindow() {
    return waitForOnlyWindow(static_cast<DWORD>(session.host().pid()), "CorvelClass", kLineTimeout);
  }

  static bool visibleBecomes(HWND window, bool visible) { return waitForVisibility(window, visible, kLineTimeout); }

  // Starts the host in VST 2 mode and takes its blocks from then on: with an
  // editor open the host renders without pause and waits for each one.
  bool startPlaying() {
    if (!session.startIdle({"--vst2", "--channel", "3"})) return false;
    session.takeBlocksInBackground();
    return true;
  }

  bool command(uint32_t code) { return session.block().sendCommands({code}, kLineTimeout); }

  HostSession session;
};

TEST_F(HostWindowTest, Vst3StartupPrintsTheHandleOfAHiddenCorvelWindow) {
  ASSERT_TRUE(session.startServing());
  const std::string out = session.host().output();
  const size_t at = out.find("[corvel] ownHwnd=");
  ASSERT_NE(at, std::string::npos);
  void* printed = nullptr;
  ASSERT_EQ(std::sscanf(out.c_str() + at + 17, "%p", &printed), 1);
  const HWND window = hostWindow();
  EXPECT_EQ(window, printed);
  char title[64] = {};
  GetWindowTextA(window, title, sizeof title);
  EXPECT_STREQ(title, "Corvel");
  RECT outer{};
  GetWindowRect(window, &outer);
  EXPECT_EQ(outer.right - outer.left, 800);
  EXPECT_EQ(outer.bottom - outer.top, 600);
  EXPECT_FALSE(IsWindowVisible(window));
  EXPECT_NE(out.find("[corvel] openGUI=1\n"), std::string::npos);
}

TEST_F(HostWindowTest, OpenCloseOpenShowsHidesAndReusesOneWindow) {
  ASSERT_TRUE(startPlaying());
  ASSERT_TRUE(command(kCommandOpenGui));
  const HWND window = hostWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(visibleBecomes(window, true));
  EXPECT_TRUE(waitUntil([&] { return !(GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST); }, kLineTimeout))
      << "lifted, not left on top";

  ASSERT_TRUE(command(kCommandOpenGui));
  ASSERT_TRUE(command(kCommandCloseGui));
  EXPECT_TRUE(visibleBecomes(window, false));
  ASSERT_TRUE(command(kCommandOpenGui));
  EXPECT_TRUE(visibleBecomes(window, true));

  EXPECT_EQ(hostWindow(), window) << "hidden, not destroyed";
  EXPECT_EQ(countOf(session.outputSoFar(), "[corvel] OPEN_GUI ch=3\n"), 2u)
      << "a second OPEN_GUI while open prints nothing";
}

TEST_F(HostWindowTest, ClosingTheWindowClosesTheEditorAndANewWindowFollows) {
  ASSERT_TRUE(startPlaying());
  ASSERT_TRUE(command(kCommandOpenGui));
  const HWND first = hostWindow();
  ASSERT_TRUE(visibleBecomes(first, true));

  PostMessageW(first, WM_CLOSE, 0, 0);
  ASSERT_TRUE(waitUntil([&] { return !IsWindow(first); }, kLineTimeout));
  // Once for the close, once more for the destruction it causes.
  ASSERT_TRUE(waitUntil([&] { return countOf(session.host().errors(), "[fake] closeGUI") == 2; },
                        kLineTimeout));

  ASSERT_TRUE(command(kCommandOpenGui));
  const HWND second = hostWindow();
  ASSERT_NE(second, nullptr);
  EXPECT_TRUE(visibleBecomes(second, true));
  EXPECT_EQ(countOf(session.outputSoFar(), "[corvel] OPEN_GUI ch=3\n"), 2u);
  EXPECT_FALSE(session.host().waitExit(std::chrono::milliseconds(0)).has_value()) << "the host keeps serving";
}

}  // namespace
}  // namespace corvel
