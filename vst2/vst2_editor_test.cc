// The editor operations against the fixture editor in a real X window on a
// virtual display of the test's own.
#include <gmock/gmock.h>

#include <thread>

#include "client/wait_until.h"
#include "platform/host_window.h"
#include "platform/library.h"
#include "platform/message_pump.h"
#include "platform/native_window.h"
#include "tests/fixtures/vst2_editor/fixture_editor.h"
#include "tests/support/virtual_display.h"
#include "tests/support/x11_probe.h"
#include "vst2/vst2_test_support.h"

namespace corvel {
namespace {

using namespace std::chrono_literals;
using ::testing::Contains;
using ::testing::IsEmpty;
using ::testing::MatchesRegex;
using ::testing::Not;
using ::testing::Pair;
using testing::StreamCapture;

constexpr auto kWindowTimeout = 5s;

std::string editorFixturePath(const std::string& name) {
  return std::string(VST2_EDITOR_FIXTURE_DIR) + "/vst2_fixture_" + name + ".so";
}

void ignoreWindowEvents(void*, WindowEvent) {}

X11Probe::Window idOf(void* window) { return reinterpret_cast<uintptr_t>(window); }

// A hidden 800x600 host window and an adapter on channel 3; the fixture's
// library is held past the adapter, so its reports can be read after teardown.
class Vst2Editor : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(VirtualDisplay::shared(), nullptr) << "Xvfb did not start";
    probe = X11Probe::connect(VirtualDisplay::shared()->name());
    ASSERT_NE(probe, nullptr);
    window = createHostWindow(ignoreWindowEvents);
    ASSERT_NE(window, nullptr);
    instrument->setChannel(3);
  }

  void TearDown() override {
    instrument.reset();
    if (window) destroyHostWindow(window);
    pumpMessages();
    if (library) freeLibrary(library);
  }

  void load(const std::string& path) {
    library = loadLibrary(path);
    ASSERT_NE(library, nullptr);
    StreamCapture out(std::cout), err(std::cerr);
    ASSERT_TRUE(instrument->loadPlugin(path, 48000.0));
    ASSERT_TRUE(instrument->prepare(48000.0, 128));
    if (auto probeOf = reinterpret_cast<fixture::EditorProbeProc>(findSymbol(library, "fixtureEditorProbe")))
      editor = probeOf();
  }

  bool attachQuietly() {
    StreamCapture out(std::cout), err(std::cerr);
    return instrument->attachView(window);
  }

  // The size once the server has done everything this process asked of it
  // (the liveness check is a round trip on the platform's connection).
  std::pair<int, int> settledSize() {
    isLiveWindow(window);
    return probe->size(idOf(window));
  }

  std::unique_ptr<X11Probe> probe;
  void* window = nullptr;
  LibraryHandle library = nullptr;
  std::unique_ptr<Vst2Instrument> instrument = std::make_unique<Vst2Instrument>();
  fixture::EditorReport* editor = nullptr;
};

TEST_F(Vst2Editor, OnlyALoadedPluginWithTheEditorFlagHasOne) {
  StreamCapture out(std::cout), err(std::cerr);
  EXPECT_FALSE(instrument->hasEditor());
  EXPECT_FALSE(instrument->attachView(window));

  Vst2Instrument synth;
  synth.loadPlugin(testing::fixturePath("synth"), 48000.0);
  const std::string loadLines = out.str() + err.str();
  EXPECT_FALSE(synth.hasEditor());
  EXPECT_FALSE(synth.openGUI(window));
  EXPECT_FALSE(synth.isGUIOpen());
  EXPECT_EQ(out.str() + err.str(), loadLines);  // refused without a log line
  const auto report = testing::reportOf(synth);
  EXPECT_THAT(std::vector<int32_t>(report.opcodes, report.opcodes + report.opcodeCount),
              Not(Contains(vst2::effEditOpen)));

  Vst2Instrument withEditor;
  withEditor.loadPlugin(editorFixturePath("editor"), 48000.0);
  EXPECT_TRUE(withEditor.hasEditor());
}

TEST_F(Vst2Editor, RefusesAMissingOrDestroyedParentWithoutCallingThePlugin) {
  load(editorFixturePath("editor"));
  void* gone = createHostWindow(ignoreWindowEvents);
  destroyHostWindow(gone);
  ASSERT_TRUE(waitUntil([&] { return !probe->exists(idOf(gone)); }, kWindowTimeout));
  for (void* parent : {static_cast<void*>(nullptr), gone}) {
    StreamCapture out(std::cout), err(std::cerr);
    EXPECT_FALSE(instrument->attachView(parent));
    EXPECT_EQ(err.str(), "[Vst2Instrument] attachView: bad parent hwnd ch=3\n");
    EXPECT_EQ(out.str(), "");
  }
  EXPECT_EQ(editor->opens, 0u);
  EXPECT_FALSE(instrument->isGUIOpen());
  pumpMessages();  // takes the destroyed window's event
}

TEST_F(Vst2Editor, OpensInsideTheParentAndSizesItToTheEditor) {
  load(editorFixturePath("editor"));
  {
    StreamCapture out(std::cout), err(std::cerr);
    ASSERT_TRUE(instrument->openGUI(window));
    char parent[32];
    std::snprintf(parent, sizeof parent, "%lx", idOf(window));
    EXPECT_EQ(err.str(), std::string("[Vst2Instrument] attachView CALLING effEditOpen ch=3 parent=0x") +
                             parent + "\n[Vst2Instrument] attachView effEditOpen returned rc=1 ch=3\n");
    EXPECT_EQ(out.str(), "[Vst2Instrument] editOpen OK ch=3\n"
                         "[Vst2Instrument] editor size 400x300 ch=3\n"
                         "[Vst2Instrument] GUI attached ch=3\n");
  }
  EXPECT_TRUE(instrument->isGUIOpen());
  EXPECT_EQ(editor->parent, idOf(window));
  EXPECT_THAT(settledSize(), Pair(fixture::kEditorWidth, fixture::kEditorHeight));
  EXPECT_TRUE(waitUntil([&] { return probe->children(idOf(window)) == std::vector{editor->window}; },
                        kWindowTimeout));

  StreamCapture out(std::cout), err(std::cerr);
  EXPECT_TRUE(instrument->attachView(window));  // already open: the plug-in is not asked again
  EXPECT_EQ(editor->opens, 1u);
  EXPECT_EQ(editor->rects, 1u);
  EXPECT_EQ(out.str() + err.str(), "");
}

TEST_F(Vst2Editor, IdleTimeLetsTheEditorPaintUntilItIsClosedAndOpenedAgain) {
  load(editorFixturePath("editor"));
  instrument->guiIdle();
  EXPECT_EQ(editor->idles, 0u);  // closed: nothing is sent
  ASSERT_TRUE(attachQuietly());
  probe->map(idOf(window));
  EXPECT_TRUE(waitUntil([&] { instrument->guiIdle(); return editor->paints > 0; }, kWindowTimeout));
  EXPECT_EQ(editor->closes, 0u);

  {
    StreamCapture out(std::cout), err(std::cerr);
    instrument->closeGUI();
    EXPECT_EQ(out.str(), "[Vst2Instrument] GUI closed ch=3\n");
    instrument->closeGUI();  // closed already: silent, nothing sent
    EXPECT_EQ(out.str() + err.str(), "[Vst2Instrument] GUI closed ch=3\n");
  }
  EXPECT_EQ(editor->closes, 1u);
  EXPECT_FALSE(instrument->isGUIOpen());
  EXPECT_TRUE(waitUntil([&] { return probe->children(idOf(window)).empty(); }, kWindowTimeout));
  const uint32_t idles = editor->idles;
  instrument->guiIdle();
  EXPECT_EQ(editor->idles, idles);

  ASSERT_TRUE(attachQuietly());
  EXPECT_EQ(editor->opens, 2u);
  EXPECT_TRUE(instrument->isGUIOpen());
}

TEST_F(Vst2Editor, TeardownClosesAnOpenEditor) {
  load(editorFixturePath("editor"));
  ASSERT_TRUE(attachQuietly());
  instrument.reset();
  EXPECT_EQ(editor->closes, 1u);
  EXPECT_EQ(editor->window, 0u);
}

TEST_F(Vst2Editor, ZeroResultOpensAndAZeroHeightRectangleLeavesTheWindowAlone) {
  load(editorFixturePath("editor_flat_rect"));
  StreamCapture out(std::cout), err(std::cerr);
  EXPECT_TRUE(instrument->attachView(window));
  EXPECT_THAT(err.str(), ::testing::EndsWith("[Vst2Instrument] attachView effEditOpen returned rc=0 ch=3\n"));
  EXPECT_EQ(out.str(), "[Vst2Instrument] editOpen OK ch=3\n"
                       "[Vst2Instrument] editor size 200x0 ch=3\n"
                       "[Vst2Instrument] GUI attached ch=3\n");
  EXPECT_TRUE(instrument->isGUIOpen());
  EXPECT_THAT(settledSize(), Pair(800, 600));
}

// The filter line, the four report lines, any backtrace, then the caller's line.
std::string crashReportPattern(const std::string& label, const std::string& module) {
  const std::string line = "[^\n]*\n";
  return "\\[Vst2Instrument\\] " + label + " SEH code=0xc0000005 addr=0x[0-9A-F]{16} ch=3\n"
         "\\[Vst2Instrument\\]   rip=0x[0-9a-f]+ rsp=0x[0-9a-f]+\n"
         "\\[Vst2Instrument\\]   rax=0x[0-9a-f]+ rbx=0x" + line +
         "\\[Vst2Instrument\\]   rdi=str: " + line +
         "\\[Vst2Instrument\\]   crash module: " + module + "\n"
         "(    \\[[0-9]+\\] 0x[0-9a-f]+ -> " + line + ")*";
}

TEST_F(Vst2Editor, FaultInEditOpenIsReportedEveryTimeAndLeavesTheEditorClosed) {
  load(editorFixturePath("editor_fault_in_open"));
  for (uint32_t attempt = 1; attempt <= 2; ++attempt) {
    StreamCapture out(std::cout), err(std::cerr);
    EXPECT_FALSE(instrument->openGUI(window));
    EXPECT_THAT(err.str(), MatchesRegex("\\[Vst2Instrument\\] attachView CALLING effEditOpen ch=3 parent=0x[0-9a-f]+\n" +
                                        crashReportPattern("effEditOpen", "vst2_fixture_editor_fault_in_open.so") +
                                        "\\[Vst2Instrument\\] attachView effEditOpen returned rc=-1 ch=3\n"));
    EXPECT_EQ(out.str(), "");
    EXPECT_FALSE(instrument->isGUIOpen());
    EXPECT_EQ(editor->opens, attempt);
  }
  EXPECT_EQ(editor->rects, 0u);
  instrument->guiIdle();
  EXPECT_EQ(editor->idles, 0u);
}

TEST_F(Vst2Editor, FaultInGetRectAttachesWithoutResizing) {
  load(editorFixturePath("editor_fault_in_rect"));
  StreamCapture out(std::cout), err(std::cerr);
  EXPECT_TRUE(instrument->attachView(window));
  EXPECT_THAT(err.str(), MatchesRegex("[^\n]*\n[^\n]*rc=1 ch=3\n" +
                                      crashReportPattern("effEditGetRect", "vst2_fixture_editor_fault_in_rect.so")));
  EXPECT_EQ(out.str(), "[Vst2Instrument] editOpen OK ch=3\n[Vst2Instrument] GUI attached ch=3\n");
  EXPECT_TRUE(instrument->isGUIOpen());
  EXPECT_THAT(settledSize(), Pair(800, 600));
}

TEST_F(Vst2Editor, FaultsInIdleAndCloseOnlyLogTheirLine) {
  load(editorFixturePath("editor_faulty_idle"));
  ASSERT_TRUE(attachQuietly());
  {
    StreamCapture out(std::cout), err(std::cerr);
    instrument->guiIdle();
    instrument->guiIdle();
    EXPECT_EQ(err.str(), "[Vst2Instrument] guiIdle EXCEPTION ch=3\n[Vst2Instrument] guiIdle EXCEPTION ch=3\n");
    EXPECT_EQ(out.str(), "");
  }
  EXPECT_TRUE(instrument->isGUIOpen());
  EXPECT_EQ(editor->idles, 2u);

  StreamCapture out(std::cout), err(std::cerr);
  instrument->closeGUI();  // this one throws a C++ exception
  EXPECT_EQ(err.str(), "[Vst2Instrument] closeGUI EXCEPTION ch=3\n");
  EXPECT_EQ(out.str(), "[Vst2Instrument] GUI closed ch=3\n");
  EXPECT_FALSE(instrument->isGUIOpen());
  EXPECT_EQ(editor->closes, 1u);
}

TEST_F(Vst2Editor, PluginResizeRequestsSizeTheOpenEditorsWindowOnly) {
  load(editorFixturePath("editor"));
  auto synthProbe = reinterpret_cast<fixture::ProbeProc>(findSymbol(library, "fixtureProbe"))();
  auto askResize = [&](int32_t width, intptr_t height) {
    return synthProbe.host(synthProbe.effect, vst2::audioMasterSizeWindow, width, height, nullptr, 0.0f);
  };
  EXPECT_EQ(askResize(500, 200), 1);  // closed: answered, nothing resized
  EXPECT_THAT(settledSize(), Pair(800, 600));
  ASSERT_TRUE(attachQuietly());
  EXPECT_EQ(askResize(0, 200), 1);
  std::thread([&] { EXPECT_EQ(askResize(500, 200), 1); }).join();  // not the window's thread
  EXPECT_THAT(settledSize(), Pair(fixture::kEditorWidth, fixture::kEditorHeight));
  EXPECT_EQ(askResize(500, 200), 1);
  EXPECT_THAT(settledSize(), Pair(500, 200));
}

}  // namespace
}  // namespace corvel
