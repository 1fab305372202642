// The VST 3 editor through a real corvel on a virtual display of the test's own: the
// window the start-up prints holds the plug-in's editor, a click in it reaches the
// published preset, closing the window closes the editor while the host plays on, and
// without a display the host plays without an editor.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "client/wait_until.h"
#include "tests/fixtures/vst3/journal_editor_look.h"
#include "tests/support/corvel_session.h"
#include "tests/support/virtual_display.h"
#include "tests/support/x11_probe.h"

namespace corvel {
namespace {

using namespace std::chrono_literals;
using ::testing::ContainsRegex;
using ::testing::HasSubstr;

// The host compares the state with the published one every this many passes.
constexpr int kRepublishPasses = 200;
const std::string kNoteExpressionSynth = std::string(CORVEL_VST3_SAMPLES) + "/noteexpressionsynth.vst3";

std::string testName() { return testing::UnitTest::GetInstance()->current_test_info()->name(); }

class CorvelEditorTest : public testing::Test {
 protected:
  void SetUp() override {
    display = VirtualDisplay::start();
    if (!display) GTEST_SKIP() << "Xvfb is not installed";
    probe = X11Probe::connect(display->name());
    ASSERT_TRUE(probe);
  }

  // Starts corvel on `plugin`; the window its start-up printed, 0 unless the editor opened.
  X11Probe::Window start(const std::string& plugin) {
    host = std::make_unique<Corvel>(std::vector<std::string>{"--path", plugin}, display->name());
    if (!host->serving()) return 0;
    const std::string out = host->process->output();
    const size_t line = out.find("[corvel] ownHwnd=");
    if (line == std::string::npos || out.find("[corvel] openGUI=1\n") == std::string::npos) return 0;
    return windowFromPrinted(out.substr(line + std::string("[corvel] ownHwnd=").size()));
  }

  // Takes blocks, so that the host keeps passing through its loop, until `done`.
  template <class Done>
  bool playUntil(Done done) {
    AudioBlock audio;
    return waitUntil([&] { return host->block->readBlock(256, audio, 1s) && done(); }, 20s);
  }

  bool play(int blocks) {
    AudioBlock audio;
    for (int i = 0; i < blocks; ++i)
      if (!host->block->readBlock(256, audio, 5s)) return false;
    return true;
  }

  // Maps the window and waits, playing, until its picture passes `looksRight`; the last
  // picture is saved as the test's screenshot.
  template <class Check>
  bool showsEditor(X11Probe::Window window, Check looksRight) {
    probe->map(window);
    Image shot;
    const bool shown = playUntil([&] { return looksRight(shot = probe->capture(window)); });
    shot.savePpm(screenshotPath(testName()));
    return shown;
  }

  std::unique_ptr<VirtualDisplay> display;
  std::unique_ptr<X11Probe> probe;
  std::unique_ptr<Corvel> host;
};

TEST_F(CorvelEditorTest, TheFixtureEditorFillsThePrintedWindowAndItsClickIsRepublished) {
  const X11Probe::Window window = start(CORVEL_JOURNAL_VST3);
  ASSERT_NE(window, 0u) << host->process->output() << host->process->errors();
  EXPECT_THAT(host->process->output(), ContainsRegex("\n\\[corvel\\] ownHwnd=0x[0-9a-f]+ openGUI\\.\\.\\.\n"
                                                     "\\[corvel\\] openGUI=1\n"));
  EXPECT_EQ(probe->size(window), std::make_pair(fixture::kEditorWidth, fixture::kEditorHeight));
  EXPECT_FALSE(probe->isMapped(window)) << "the host never shows its window itself";
  ASSERT_TRUE(showsEditor(window, [](const Image& shot) { return shot.count(fixture::kEditorColour) == fixture::kEditorPixels; }));

  const std::string initial = host->block->readPublishedPreset();
  const std::vector<X11Probe::Window> editor = probe->children(window);
  ASSERT_EQ(editor.size(), 1u);
  probe->click(editor.front(), 100, 100);
  ASSERT_TRUE(playUntil([&] { return host->process->errors().find("[journal] editor click") != std::string::npos; }));
  ASSERT_TRUE(play(kRepublishPasses));
  EXPECT_TRUE(host->process->waitForOutput("[corvel] preset republished ch=7 (", 5s));
  EXPECT_NE(host->block->readPublishedPreset(), initial);
}

TEST_F(CorvelEditorTest, ClosingTheWindowClosesTheEditorAndTheHostPlaysOn) {
  const X11Probe::Window window = start(CORVEL_JOURNAL_VST3);
  ASSERT_NE(window, 0u) << host->process->errors();
  probe->requestClose(window);
  ASSERT_TRUE(playUntil([&] { return !probe->exists(window); }));
  EXPECT_TRUE(host->process->waitForError("[journal] editor removed\n", 5s));
  EXPECT_GT(host->peakOf(20), 0.1f);
  EXPECT_FALSE(host->process->waitExit(0ms).has_value());
  EXPECT_EQ(host->process->errors().find("[journal] editor removed\n"),
            host->process->errors().rfind("[journal] editor removed\n"))
      << "the second close, for the window's destruction, finds nothing open";
}

// The SDK's VSTGUI sample draws only through the run loop, after the host's XEMBED notice.
TEST_F(CorvelEditorTest, NoteExpressionSynthDrawsItsEditor) {
  if (!std::filesystem::exists(kNoteExpressionSynth)) GTEST_SKIP() << "run scripts/setup";
  const X11Probe::Window window = start(kNoteExpressionSynth);
  ASSERT_NE(window, 0u) << host->process->output() << host->process->errors();
  const auto [width, height] = probe->size(window);
  EXPECT_GT(width * height, 100 * 100);
  EXPECT_TRUE(showsEditor(window, [](const Image& shot) { return shot.distinctColours() > 16; }))
      << host->process->errors();
}

TEST(CorvelEditor, WithoutADisplayTheHostPlaysWithoutAnEditor) {
  Corvel host({"--path", CORVEL_JOURNAL_VST3});
  ASSERT_TRUE(host.serving()) << host.process->errors();
  EXPECT_THAT(host.process->output(), HasSubstr("[corvel] openGUI=0\n"));
  EXPECT_GT(host.peakOf(4), 0.1f);
}

}  // namespace
}  // namespace corvel
