// The VST 2 editor of a real corvel on a virtual display of the test's own:
// the parent's OPEN_GUI and CLOSE_GUI commands, a window manager's close,
// faulting editors, and the pixels of our fixture's and a Debian
// instrument's editor, watched through a second X connection.
#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>

#include "client/wait_until.h"
#include "tests/fixtures/vst2_editor/fixture_editor.h"
#include "tests/support/audio_taker.h"
#include "tests/support/corvel_session.h"
#include "tests/support/virtual_display.h"
#include "tests/support/x11_probe.h"

namespace corvel {
namespace {

using namespace std::chrono_literals;

constexpr auto kTimeout = 20s;  // generous: editors with software GL take a while on a busy machine
const std::string kOpenLine = "[corvel] OPEN_GUI ch=7\n";
const std::string kAttachedLine = "[Vst2Instrument] GUI attached ch=7\n";
const std::string kClosedLine = "[Vst2Instrument] GUI closed ch=7\n";
const std::string kMarkerLine = "[corvel] ALL_NOTES_OFF ch=7\n";

size_t countOf(const std::string& text, const std::string& piece) {
  size_t found = 0;
  for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + piece.size()))
    ++found;
  return found;
}

// True if the pieces occur in `text` in this order, each after the previous.
bool inOrder(const std::string& text, std::initializer_list<std::string> pieces) {
  size_t at = 0;
  for (const std::string& piece : pieces) {
    at = text.find(piece, at);
    if (at == std::string::npos) return false;
    at += piece.size();
  }
  return true;
}

class CorvelVst2Editor : public ::testing::Test {
 protected:
  void SetUp() override {
    display = VirtualDisplay::start();
    ASSERT_TRUE(display) << "Xvfb did not start";
    probe = X11Probe::connect(display->name());
    ASSERT_TRUE(probe);
  }

  void TearDown() override {
    audio.reset();
    if (HasFailure() && host && host->process)
      std::cerr << "host output:\n" << host->process->output() << "host errors:\n" << host->process->errors();
  }

  void start(const std::string& plugin, const std::string& displayName) {
    host = std::make_unique<Corvel>(std::vector<std::string>{"--vst2", "--path", plugin}, displayName);
    ASSERT_TRUE(host->serving());
    audio = std::make_unique<AudioTaker>(*host->block);
  }

  bool command(uint32_t code) { return host->block->sendCommands({code}, kTimeout); }

  // A command followed by a marker whose line shows the command was handled.
  bool commandHandled(uint32_t code) {
    const size_t markers = countOf(output(), kMarkerLine);
    return command(code) && command(kCommandAllNotesOff) &&
           waitUntil([&] { return countOf(output(), kMarkerLine) > markers; }, kTimeout);
  }

  std::string output() const { return host->process->output(); }
  std::string errors() const { return host->process->errors(); }

  bool outputCountReaches(const std::string& line, size_t count) {
    return waitUntil([&] { return countOf(output(), line) >= count; }, kTimeout);
  }

  // The host's one window, once it exists.
  X11Probe::Window hostWindow() {
    std::vector<X11Probe::Window> found;
    waitUntil([&] { return (found = probe->windowsOfClass("CorvelClass")).size() == 1; }, kTimeout);
    return found.size() == 1 ? found.front() : 0;
  }

  bool becomes(X11Probe::Window window, bool mapped, std::pair<int, int> size) {
    return waitUntil([&] { return probe->isMapped(window) == mapped && probe->size(window) == size; },
                     kTimeout);
  }

  // Captures the window until `drawn` accepts it, and saves the last capture
  // as <build>/screenshots/<test>.ppm.
  template <class Drawn>
  bool screenshotShows(X11Probe::Window window, Drawn drawn) {
    Image image;
    const bool shown = waitUntil([&] { return drawn(image = probe->capture(window)); }, kTimeout);
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(test->test_suite_name()) + "." + test->name();
    std::replace(name.begin(), name.end(), '/', '-');
    EXPECT_TRUE(image.savePpm(screenshotPath(name)));
    return shown;
  }

  std::unique_ptr<VirtualDisplay> display;
  std::unique_ptr<X11Probe> probe;
  std::unique_ptr<Corvel> host;
  std::unique_ptr<AudioTaker> audio;
};

const std::pair<int, int> kFixtureSize{fixture::kEditorWidth, fixture::kEditorHeight};

TEST_F(CorvelVst2Editor, OpenGuiShowsTheEditorAndCloseGuiHidesTheWindowForReuse) {
  start(VST2_FIXTURE_EDITOR, display->name());
  ASSERT_TRUE(command(kCommandOpenGui));
  ASSERT_TRUE(outputCountReaches(kAttachedLine, 1));
  EXPECT_TRUE(inOrder(output(), {kOpenLine, "[Vst2Instrument] editOpen OK ch=7\n",
                                 "[Vst2Instrument] editor size 400x300 ch=7\n", kAttachedLine}));
  const X11Probe::Window window = hostWindow();
  ASSERT_NE(window, 0u);
  EXPECT_TRUE(becomes(window, true, kFixtureSize));
  EXPECT_TRUE(screenshotShows(window, [](const Image& image) {
    return image.count(fixture::kEditorColour) == static_cast<size_t>(kFixtureSize.first * kFixtureSize.second);
  }));

  ASSERT_TRUE(commandHandled(kCommandOpenGui));  // open already: nothing printed, nothing sent
  EXPECT_EQ(countOf(output(), kOpenLine), 1u);
  EXPECT_EQ(countOf(output(), kAttachedLine), 1u);

  ASSERT_TRUE(command(kCommandCloseGui));
  ASSERT_TRUE(outputCountReaches(kClosedLine, 1));
  EXPECT_TRUE(becomes(window, false, kFixtureSize));
  EXPECT_TRUE(audio->waitForMore(20, kTimeout));

  const X11Probe::Window other = probe->createWindow();  // another application's, on top
  ASSERT_TRUE(command(kCommandOpenGui));
  ASSERT_TRUE(outputCountReaches(kAttachedLine, 2));
  EXPECT_EQ(countOf(output(), kOpenLine), 2u);
  EXPECT_EQ(hostWindow(), window);
  EXPECT_TRUE(becomes(window, true, kFixtureSize));
  const auto stack = probe->stackingOrder();
  EXPECT_TRUE(std::find(stack.begin(), stack.end(), window) > std::find(stack.begin(), stack.end(), other));

  ASSERT_TRUE(command(kCommandQuit));
  EXPECT_EQ(host->process->waitExit(kTimeout), 0);
  EXPECT_EQ(countOf(output(), kClosedLine), 2u);  // the shutdown closes the open editor
}

TEST_F(CorvelVst2Editor, WindowManagerCloseClosesTheEditorAndTheNextOpenGuiMakesANewWindow) {
  start(VST2_FIXTURE_EDITOR, display->name());
  ASSERT_TRUE(command(kCommandOpenGui));
  ASSERT_TRUE(outputCountReaches(kAttachedLine, 1));
  const X11Probe::Window first = hostWindow();
  ASSERT_TRUE(becomes(first, true, kFixtureSize));

  probe->requestClose(first);
  ASSERT_TRUE(outputCountReaches(kClosedLine, 1));
  EXPECT_TRUE(waitUntil([&] { return !probe->exists(first); }, kTimeout));
  EXPECT_TRUE(audio->waitForMore(20, kTimeout));
  EXPECT_FALSE(host->process->waitExit(0ms));

  ASSERT_TRUE(command(kCommandOpenGui));
  ASSERT_TRUE(outputCountReaches(kAttachedLine, 2));
  EXPECT_EQ(countOf(output(), kOpenLine), 2u);
  EXPECT_EQ(countOf(output(), kClosedLine), 1u);  // the close and the destruction close once
  const X11Probe::Window second = hostWindow();
  EXPECT_NE(second, first);
  EXPECT_TRUE(becomes(second, true, kFixtureSize));
  EXPECT_TRUE(audio->waitForMore(20, kTimeout));
}

std::vector<std::string> crashReportOf(const std::string& label, const std::string& module) {
  return {"[Vst2Instrument] " + label + " SEH code=0xc0000005 addr=0x",
          "\n[Vst2Instrument]   rip=0x", "\n[Vst2Instrument]   rax=0x",
          "\n[Vst2Instrument]   rdi=str: ", "\n[Vst2Instrument]   crash module: " + module + "\n"};
}

TEST_F(CorvelVst2Editor, FaultInEditOpenIsReportedAndLeavesTheEditorClosedWhileAudioGoesOn) {
  start(VST2_FIXTURE_EDITOR_FAULT_IN_OPEN, display->name());
  for (size_t attempt = 1; attempt <= 2; ++attempt) {
    ASSERT_TRUE(command(kCommandOpenGui));
    ASSERT_TRUE(waitUntil([&] { return countOf(errors(), "effEditOpen returned rc=-1 ch=7\n") == attempt; },
                          kTimeout));
    EXPECT_EQ(countOf(output(), kOpenLine), attempt);  // still closed, so each command tries again
  }
  const auto report = crashReportOf("effEditOpen", "vst2_fixture_editor_fault_in_open.so");
  EXPECT_TRUE(inOrder(errors(), {"[Vst2Instrument] attachView CALLING effEditOpen ch=7 parent=0x", report[0],
                                 report[1], report[2], report[3], report[4],
                                 "[Vst2Instrument] attachView effEditOpen returned rc=-1 ch=7\n"}))
      << errors();
  EXPECT_EQ(countOf(output(), "editOpen OK"), 0u);
  EXPECT_TRUE(audio->waitForMore(20, kTimeout));
}

TEST_F(CorvelVst2Editor, FaultInGetRectAttachesTheEditorWithoutSizingTheWindow) {
  start(VST2_FIXTURE_EDITOR_FAULT_IN_RECT, display->name());
  ASSERT_TRUE(command(kCommandOpenGui));
  ASSERT_TRUE(outputCountReaches(kAttachedLine, 1));
  const auto report = crashReportOf("effEditGetRect", "vst2_fixture_editor_fault_in_rect.so");
  EXPECT_TRUE(inOrder(errors(), {"effEditOpen returned rc=1 ch=7\n", report[0], report[1], report[2],
                                 report[3], report[4]}))
      << errors();
  EXPECT_EQ(countOf(output(), "editor size"), 0u);
  EXPECT_TRUE(becomes(hostWindow(), true, {800, 600}));
  EXPECT_TRUE(audio->waitForMore(20, kTimeout));
}

struct RealEditor {
  const char* path;
  std::pair<int, int> size;
};

void PrintTo(const RealEditor& editor, std::ostream* out) { *out << editor.path; }

class CorvelVst2RealEditor : public CorvelVst2Editor, public ::testing::WithParamInterface<RealEditor> {};

// Debian's instruments paint only from effEditIdle: Nekobi its bitmap
// (software GL), amsynth its GTK 2 panel.
TEST_P(CorvelVst2RealEditor, DrawsInTheHostWindow) {
  const auto [path, size] = GetParam();
  start(path, display->name());
  ASSERT_TRUE(command(kCommandOpenGui));
  ASSERT_TRUE(outputCountReaches(kAttachedLine, 1));
  EXPECT_NE(output().find("[Vst2Instrument] editor size " + std::to_string(size.first) + "x" +
                          std::to_string(size.second) + " ch=7\n"),
            std::string::npos);
  const X11Probe::Window window = hostWindow();
  ASSERT_TRUE(becomes(window, true, size));
  EXPECT_TRUE(screenshotShows(window, [](const Image& image) { return image.distinctColours() > 50; }));
  EXPECT_TRUE(audio->waitForMore(20, kTimeout));
  ASSERT_TRUE(command(kCommandCloseGui));
  EXPECT_TRUE(outputCountReaches(kClosedLine, 1));
  // No quit and exit code here: these toolkits leave allocations behind,
  // which a sanitizer build reports in the exit code.
}

INSTANTIATE_TEST_SUITE_P(Debian, CorvelVst2RealEditor,
                         ::testing::Values(RealEditor{"/usr/lib/vst/Nekobi-vst.so", {636, 108}},
                                           RealEditor{"/usr/lib/vst/amsynth_vst.so", {600, 400}}),
                         [](const auto& info) { return info.index == 0 ? "Nekobi" : "Amsynth"; });

TEST_F(CorvelVst2Editor, WithoutADisplayOpenGuiPrintsNothingAndAudioFlows) {
  start(VST2_FIXTURE_EDITOR, "");
  ASSERT_TRUE(commandHandled(kCommandOpenGui));
  EXPECT_EQ(output().find("OPEN_GUI"), std::string::npos);
  EXPECT_EQ(errors().find("effEditOpen"), std::string::npos);
  EXPECT_TRUE(audio->waitForMore(20, kTimeout));
}

}  // namespace
}  // namespace corvel
