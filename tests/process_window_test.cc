// The host editor window on a virtual X display, seen from a test parent:
// how it is created, shown, hidden, closed by the window manager, and what
// happens when there is no display or it goes away.
#include <gtest/gtest.h>

#include <iostream>

#include "tests/support/host_session.h"
#include "tests/support/virtual_display.h"
#include "tests/support/x11_probe.h"

namespace corvel {
namespace {

class HostWindowTest : public testing::Test {
 protected:
  void SetUp() override {
    display = VirtualDisplay::start();
    if (!display) GTEST_SKIP() << "Xvfb is not installed";
    probe = X11Probe::connect(display->name());
    ASSERT_TRUE(probe);
    session.useDisplay(display->name());
  }

  void TearDown() override {
    if (HasFailure() && session.hasHost())
      std::cerr << "host output:\n" << session.host().output() << "host errors:\n" << session.host().errors();
  }

  // The host's one window, once it exists.
  X11Probe::Window hostWindow() {
    std::vector<X11Probe::Window> found;
    waitUntil([&] { return (found = probe->windowsOfClass("CorvelClass")).size() == 1; }, kLineTimeout);
    return found.empty() ? 0 : found.front();
  }

  bool mappedBecomes(X11Probe::Window window, bool mapped) {
    return waitUntil([&] { return probe->isMapped(window) == mapped; }, kLineTimeout);
  }

  // Starts the host in VST 2 mode and takes its blocks from then on: with an
  // editor open the host renders without pause and waits for each one.
  bool startPlaying() {
    if (!session.startIdle({"--vst2", "--channel", "3"})) return false;
    session.takeBlocksInBackground();
    return true;
  }

  bool command(uint32_t code) { return session.block().sendCommands({code}, kLineTimeout); }

  std::unique_ptr<VirtualDisplay> display;
  std::unique_ptr<X11Probe> probe;
  HostSession session;
};

TEST_F(HostWindowTest, Vst3StartupPrintsTheIdOfAHiddenCorvelWindow) {
  ASSERT_TRUE(session.startServing());
  const std::string out = session.host().output();
  const size_t at = out.find("[corvel] ownHwnd=");
  ASSERT_NE(at, std::string::npos);
  const X11Probe::Window printed = windowFromPrinted(out.substr(at + 17));
  EXPECT_EQ(hostWindow(), printed);
  EXPECT_EQ(probe->title(printed), "Corvel");
  EXPECT_EQ(probe->size(printed), std::make_pair(800, 600));
  EXPECT_FALSE(probe->isMapped(printed));
  EXPECT_NE(out.find("[corvel] openGUI=1\n"), std::string::npos);
}

TEST_F(HostWindowTest, OpenCloseOpenShowsHidesAndReusesOneWindow) {
  ASSERT_TRUE(startPlaying());
  const X11Probe::Window other = probe->createWindow();
  ASSERT_TRUE(probe->isOnTop(other));
  ASSERT_TRUE(command(kCommandOpenGui));
  const X11Probe::Window window = hostWindow();
  ASSERT_NE(window, 0u);
  EXPECT_TRUE(mappedBecomes(window, true));
  EXPECT_TRUE(probe->isOnTop(window)) << "raised above the parent's window";

  ASSERT_TRUE(command(kCommandOpenGui));
  ASSERT_TRUE(command(kCommandCloseGui));
  EXPECT_TRUE(mappedBecomes(window, false));
  ASSERT_TRUE(command(kCommandOpenGui));
  EXPECT_TRUE(mappedBecomes(window, true));

  EXPECT_EQ(hostWindow(), window) << "hidden, not destroyed";
  EXPECT_EQ(countOf(session.outputSoFar(), "[corvel] OPEN_GUI ch=3\n"), 2u)
      << "a second OPEN_GUI while open prints nothing";
}

TEST_F(HostWindowTest, WindowManagerCloseClosesTheEditorAndANewWindowFollows) {
  ASSERT_TRUE(startPlaying());
  ASSERT_TRUE(command(kCommandOpenGui));
  const X11Probe::Window first = hostWindow();
  ASSERT_TRUE(mappedBecomes(first, true));

  probe->requestClose(first);
  ASSERT_TRUE(waitUntil([&] { return !probe->exists(first); }, kLineTimeout));
  // Once for the close, once more for the destruction it causes.
  ASSERT_TRUE(waitUntil([&] { return countOf(session.host().errors(), "[fake] closeGUI") == 2; },
                        kLineTimeout));

  ASSERT_TRUE(command(kCommandOpenGui));
  const X11Probe::Window second = hostWindow();
  EXPECT_NE(second, first);
  EXPECT_TRUE(mappedBecomes(second, true));
  EXPECT_EQ(countOf(session.outputSoFar(), "[corvel] OPEN_GUI ch=3\n"), 2u);
}

// The close and the OPEN_GUI reach the host in one pass: it waits for a
// block we hold back while both arrive. The first window's destruction,
// reported later by the server, must not close the new editor.
TEST_F(HostWindowTest, ACloseFollowedByOpenGuiInOnePassKeepsTheNewEditor) {
  ASSERT_TRUE(session.startIdle({"--vst2", "--channel", "3"}));
  ASSERT_TRUE(command(kCommandOpenGui));
  const X11Probe::Window first = hostWindow();
  ASSERT_TRUE(mappedBecomes(first, true));
  AudioBlock taken;
  ASSERT_TRUE(session.block().readBlock(0, taken, kLineTimeout));
  ASSERT_TRUE(session.block().waitForRender(taken.renderCount, kLineTimeout));

  probe->requestClose(first);
  ASSERT_TRUE(command(kCommandOpenGui));
  session.takeBlocksInBackground();
  ASSERT_TRUE(waitUntil([&] { return !probe->exists(first); }, kLineTimeout));
  const X11Probe::Window second = hostWindow();
  ASSERT_TRUE(mappedBecomes(second, true));
  session.outputSoFar();  // a few passes more, for a late DestroyNotify to be pumped

  const std::string calls = session.host().errors();
  const size_t reopened = calls.rfind("[fake] openGUI 1");
  ASSERT_NE(reopened, std::string::npos);
  EXPECT_EQ(calls.find("[fake] closeGUI", reopened), std::string::npos) << calls;
  EXPECT_TRUE(probe->isMapped(second));
}

TEST_F(HostWindowTest, AVanishedXServerLeavesTheHostServing) {
  ASSERT_TRUE(startPlaying());
  ASSERT_TRUE(command(kCommandOpenGui));
  ASSERT_TRUE(mappedBecomes(hostWindow(), true));
  probe.reset();
  display->kill();

  ASSERT_TRUE(waitUntil([&] { return countOf(session.host().errors(), "[fake] closeGUI") == 1; },
                        kLineTimeout))
      << "the lost window counts as destroyed";
  ASSERT_TRUE(command(kCommandOpenGui));
  ASSERT_TRUE(command(kCommandAllNotesOff));
  ASSERT_TRUE(session.host().waitForOutput("[corvel] ALL_NOTES_OFF", kLineTimeout));
  EXPECT_FALSE(session.host().waitExit(std::chrono::milliseconds(0)).has_value());
}

TEST(HostWithoutDisplay, OpensNoEditorAndKeepsServing) {
  HostSession vst3;
  ASSERT_TRUE(vst3.startServing());
  EXPECT_NE(vst3.host().output().find("[corvel] ownHwnd=(nil) openGUI...\n[corvel] openGUI=0\n"),
            std::string::npos);

  HostSession vst2;
  ASSERT_TRUE(vst2.startIdle({"--vst2"}));
  ASSERT_TRUE(vst2.block().sendCommands({kCommandOpenGui, kCommandAllNotesOff}, kLineTimeout));
  ASSERT_TRUE(vst2.host().waitForOutput("[corvel] ALL_NOTES_OFF", kLineTimeout));
  EXPECT_EQ(vst2.host().output().find("OPEN_GUI"), std::string::npos);
}

}  // namespace
}  // namespace corvel
