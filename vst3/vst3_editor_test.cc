// The editor embedded in a real, hidden X window on a virtual display of the test's own,
// with the journal fixture's editor: a solid-colour child the fixture draws over its own
// X connection, driven through the host's run loop.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "client/wait_until.h"
#include "platform/host_window.h"
#include "platform/message_pump.h"
#include "platform/native_window.h"
#include "tests/fixtures/vst3/journal_editor_look.h"
#include "tests/support/environment.h"
#include "tests/support/virtual_display.h"
#include "tests/support/x11_probe.h"
#include "vst3/captured_log.h"
#include "vst3/vst3_instrument.h"

namespace corvel {
namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;
using ::testing::Not;

const std::pair<int, int> kFixtureSize{fixture::kEditorWidth, fixture::kEditorHeight};

void ignoreWindowEvents(void*, WindowEvent) {}

// A host window that goes after the instrument that may have an editor in it.
struct HostWindow {
  HostWindow() : handle(createHostWindow(ignoreWindowEvents)) {}
  ~HostWindow() {
    if (handle) destroyHostWindow(handle);
  }
  X11Probe::Window id() const { return reinterpret_cast<X11Probe::Window>(handle); }
  void* handle;
};

size_t at(const std::string& text, const std::string& line) { return text.find("[journal] " + line + "\n"); }

class Vst3EditorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!display) GTEST_SKIP() << "Xvfb is not installed";
    ASSERT_NE(window.handle, nullptr);
    probe = X11Probe::connect(display->name());
    ASSERT_TRUE(probe);
    ASSERT_TRUE(instrument.loadPlugin(CORVEL_JOURNAL_VST3, 48000.0));
    log.takeErr();
  }

  // Pumps the host's messages, and with them the run loop, until the fixture has logged `line`.
  bool pumpUntilLogged(const std::string& line) {
    return waitUntil([&] {
      pumpMessages();
      return log.peekErr().find("[journal] " + line + "\n") != std::string::npos;
    }, 5s);
  }

  // The fixture editor's child window, once the server shows it.
  X11Probe::Window editorWindow() {
    std::vector<X11Probe::Window> children;
    waitUntil([&] { return (children = probe->children(window.id())).size() == 1; }, 5s);
    return children.size() == 1 ? children.front() : 0;
  }

  // The window's size once the server has done what the host asked of it.
  std::pair<int, int> windowSize() {
    isLiveWindow(window.handle);  // a round trip on the host's connection
    return probe->size(window.id());
  }

  // Started before the window: the host's connection is opened with the first window.
  const VirtualDisplay* display = VirtualDisplay::shared();
  HostWindow window;
  std::unique_ptr<X11Probe> probe;
  CapturedLog log;
  Vst3Instrument instrument;
};

TEST_F(Vst3EditorTest, FirstOpenAttachesWithoutReloadAndSizesTheWindowToTheView) {
  ASSERT_TRUE(instrument.openGUI(window.handle));
  EXPECT_EQ(log.takeErr(),
            "[journal] controller createView editor\n"
            "[journal] editor setFrame\n"
            "[journal] editor attached X11EmbedWindowID\n"
            "[journal] editor onSize 640x480\n");
  EXPECT_TRUE(instrument.isGUIOpen());
  EXPECT_FALSE(instrument.needsFreshInstance());
  EXPECT_EQ(windowSize(), kFixtureSize);

  const X11Probe::Window editor = editorWindow();
  ASSERT_NE(editor, 0u);
  probe->map(window.id());
  Image shot;
  ASSERT_TRUE(waitUntil([&] {
    pumpMessages();
    shot = probe->capture(window.id());
    return shot.count(fixture::kEditorColour) == fixture::kEditorPixels;
  }, 5s)) << shot.count(fixture::kEditorColour) << " fixture pixels";
  shot.savePpm(screenshotPath("Vst3EditorTest.FirstOpen"));

  ASSERT_TRUE(instrument.reloadPlugin());
  const std::string reload = log.takeErr();
  EXPECT_EQ(reload.find("[journal] editor removed\n[journal] editor setFrame null\n"
                        "[journal] component setProcessing 0\n"), 0u)
      << "the view goes before the instance it belongs to:\n" << reload;
  EXPECT_FALSE(instrument.isGUIOpen());
  EXPECT_FALSE(instrument.needsFreshInstance()) << "a reloaded plug-in never had an editor";
  EXPECT_TRUE(waitUntil([&] { return probe->children(window.id()).empty(); }, 5s));
}

TEST_F(Vst3EditorTest, ReopeningAfterCloseLoadsAFreshInstanceWithTheSameState) {
  instrument.captureState();
  const std::string initial = instrument.getSerializedState();
  ASSERT_TRUE(instrument.openGUI(window.handle));
  probe->click(editorWindow(), 10, 10);
  ASSERT_TRUE(pumpUntilLogged("controller setParamNormalized 42 0.25"));
  instrument.captureState();
  const std::string edited = instrument.getSerializedState();
  EXPECT_NE(edited, initial) << "the click edits the controller's state";
  log.takeErr();

  instrument.closeGUI();
  EXPECT_EQ(log.takeErr(), "[journal] editor removed\n[journal] editor setFrame null\n");
  instrument.closeGUI();
  EXPECT_EQ(log.takeErr(), "") << "a second close changes nothing";
  EXPECT_FALSE(instrument.isGUIOpen());
  EXPECT_TRUE(instrument.needsFreshInstance());

  ASSERT_TRUE(instrument.openGUI(window.handle));
  const std::string reopen = log.takeErr();
  const size_t terminated = at(reopen, "controller terminate");
  const size_t initialised = at(reopen, "controller initialize");
  const size_t restored = at(reopen, "controller setState 8");
  const size_t attached = at(reopen, "editor attached X11EmbedWindowID");
  ASSERT_NE(attached, std::string::npos) << reopen;
  EXPECT_LT(terminated, initialised) << reopen;
  EXPECT_LT(initialised, restored) << reopen;
  EXPECT_LT(restored, attached) << reopen;
  EXPECT_TRUE(instrument.isGUIOpen());
  EXPECT_FALSE(instrument.needsFreshInstance());
  instrument.captureState();
  EXPECT_EQ(instrument.getSerializedState(), edited);
  EXPECT_NE(editorWindow(), 0u);
}

TEST_F(Vst3EditorTest, AResizeRequestResizesTheViewAndNotTheWindow) {
  ASSERT_TRUE(instrument.openGUI(window.handle));
  log.takeErr();
  probe->click(editorWindow(), 635, 475);  // the fixture's resize grip
  ASSERT_TRUE(pumpUntilLogged("editor resizeView 320x240 -> 0"));
  EXPECT_EQ(log.takeErr(), "[journal] editor onSize 320x240\n[journal] editor resizeView 320x240 -> 0\n");
  EXPECT_EQ(windowSize(), kFixtureSize);
  instrument.resizeGUI(500, 400);
  EXPECT_EQ(log.takeErr(), "[journal] editor onSize 500x400\n");
  EXPECT_EQ(windowSize(), kFixtureSize);
}

TEST_F(Vst3EditorTest, OpeningWhileOpenReplacesTheViewWithoutReload) {
  ASSERT_TRUE(instrument.openGUI(window.handle));
  log.takeErr();
  ASSERT_TRUE(instrument.openGUI(window.handle));
  EXPECT_EQ(log.takeErr(),
            "[journal] controller createView editor\n"
            "[journal] editor setFrame\n"
            "[journal] editor attached X11EmbedWindowID\n"
            "[journal] editor onSize 640x480\n"
            "[journal] editor removed\n"
            "[journal] editor setFrame null\n");
  EXPECT_TRUE(instrument.isGUIOpen());
  EXPECT_TRUE(waitUntil([&] { return probe->children(window.id()).size() == 1; }, 5s));
}

TEST_F(Vst3EditorTest, AViewWithoutASizeIsAttachedAndTheWindowKeepsItsSize) {
  setEnvironmentVariable("CORVEL_JOURNAL_FAIL", "getSize");
  const bool opened = instrument.openGUI(window.handle);
  clearEnvironmentVariable("CORVEL_JOURNAL_FAIL");
  ASSERT_TRUE(opened);
  EXPECT_THAT(log.takeErr(), Not(HasSubstr("onSize")));
  EXPECT_TRUE(instrument.isGUIOpen());
  EXPECT_EQ(windowSize(), std::make_pair(800, 600));
}

TEST_F(Vst3EditorTest, AttachingToNoWindowOrAGoneOneFailsAndChangesNothing) {
  void* gone = createHostWindow(ignoreWindowEvents);
  destroyHostWindow(gone);
  for (void* parent : {static_cast<void*>(nullptr), gone}) {
    EXPECT_FALSE(instrument.attachView(parent));
    EXPECT_FALSE(instrument.openGUI(parent));
  }
  EXPECT_EQ(log.takeErr(), "");
  EXPECT_FALSE(instrument.isGUIOpen());
  EXPECT_FALSE(instrument.needsFreshInstance());
  EXPECT_EQ(windowSize(), std::make_pair(800, 600));

  ASSERT_TRUE(instrument.openGUI(window.handle));
  EXPECT_THAT(log.takeErr(), Not(HasSubstr("initialize"))) << "still the first open";

  Vst3Instrument empty;
  EXPECT_FALSE(empty.openGUI(window.handle));
  EXPECT_FALSE(empty.isGUIOpen());
  EXPECT_TRUE(empty.hasEditor());
}

}  // namespace
}  // namespace corvel
