// The VST 3 editor through a real corvel.exe, seen from a test parent on the same
// desktop: the window the start-up prints holds the plug-in's editor at the view's
// size, a click in it reaches the published preset, and closing the window closes the
// editor while the host plays on.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <iostream>

#include "client/wait_until.h"
#include "tests/fixtures/vst3/journal_editor_look.h"
#include "tests/support/audio_taker.h"
#include "tests/support/corvel_session.h"
#include "tests/support/win32_windows.h"

namespace corvel {
namespace {

using namespace std::chrono_literals;
using ::testing::ContainsRegex;
using ::testing::HasSubstr;
using ::testing::Not;

using fixture::kEditorHeight;
using fixture::kEditorWidth;
constexpr auto kTimeout = 10s;

std::pair<int, int> clientSizeOf(HWND window) {
  RECT client{};
  GetClientRect(window, &client);
  return {client.right - client.left, client.bottom - client.top};
}

std::string classOf(HWND window) {
  char name[64] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

// The pixels of `window`'s client area that are not `colour` (0xRRGGBB). They are read off the
// screen: under Wine another process's window DC reads as nothing (GetPixel answers
// CLR_INVALID, BitBlt and PrintWindow leave the bitmap black), where Windows would
// hand over the window's own picture.
size_t pixelsOtherThan(HWND window, uint32_t colour) {
  const auto [width, height] = clientSizeOf(window);
  POINT origin{0, 0};
  ClientToScreen(window, &origin);
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO format{};
  format.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(memory, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ previous = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, origin.x, origin.y, SRCCOPY);
  const auto* pixel = static_cast<const uint32_t*>(bits);
  size_t others = 0;
  for (int i = 0; i < width * height; ++i) others += (pixel[i] & 0xFFFFFF) != colour;
  SelectObject(memory, previous);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return others;
}

class CorvelEditorWin32Test : public testing::Test {
 protected:
  // Starts corvel on the journal fixture and takes its blocks from then on: with the
  // editor open the host renders without pause and pumps its windows' messages only
  // between blocks.
  void SetUp() override {
    host = std::make_unique<Corvel>(std::vector<std::string>{"--path", CORVEL_JOURNAL_VST3});
    ASSERT_TRUE(host->serving());
    audio = std::make_unique<AudioTaker>(*host->block);
    window = printedWindow();
    ASSERT_NE(window, nullptr);
  }

  void TearDown() override {
    if (HasFailure())
      std::cerr << "host output:\n" << host->process->output() << "host errors:\n" << host->process->errors();
  }

  // The window the start-up printed, null unless the editor opened in it.
  HWND printedWindow() const {
    const std::string prefix = "[corvel] ownHwnd=";
    const std::string out = host->process->output();
    const size_t line = out.find(prefix);
    void* printed = nullptr;
    if (line == std::string::npos || out.find("[corvel] openGUI=1\n") == std::string::npos) return nullptr;
    if (std::sscanf(out.c_str() + line + prefix.size(), "%p", &printed) != 1) return nullptr;
    return static_cast<HWND>(printed);
  }

  DWORD hostProcess() const { return static_cast<DWORD>(host->process->pid()); }

  // The one child of the host window: the plug-in's editor.
  HWND editor() const {
    const std::vector<HWND> children = childWindows(window);
    return children.size() == 1 ? children.front() : nullptr;
  }

  bool errorLogged(const std::string& line) { return host->process->waitForError(line, kTimeout); }

  std::unique_ptr<Corvel> host;
  std::unique_ptr<AudioTaker> audio;  // after the host: stopped before its block goes
  HWND window = nullptr;
};

TEST_F(CorvelEditorWin32Test, TheEditorFillsThePrintedWindowSizedToTheView) {
  EXPECT_THAT(host->process->output(), ContainsRegex("\n\\[corvel\\] ownHwnd=\\w+ openGUI\\.\\.\\.\n"
                                                     "\\[corvel\\] openGUI=1\n"));
  EXPECT_EQ(waitForOnlyWindow(hostProcess(), "CorvelClass", kTimeout), window);
  EXPECT_TRUE(errorLogged("[journal] editor attached HWND\n"));
  EXPECT_FALSE(IsWindowVisible(window)) << "the host never shows its window itself";
  EXPECT_EQ(clientSizeOf(window), std::make_pair(kEditorWidth, kEditorHeight));
  ASSERT_EQ(childWindows(window).size(), 1u) << "the editor alone";
  EXPECT_EQ(classOf(editor()), "CorvelJournalEditor");
  EXPECT_EQ(clientSizeOf(editor()), std::make_pair(kEditorWidth, kEditorHeight));

  // Asynchronous: the host's thread does the showing between blocks. Kept above the
  // windows other tests open meanwhile, since the picture is read off the screen.
  ShowWindowAsync(window, SW_SHOWNORMAL);
  ASSERT_TRUE(waitForVisibility(window, true, kTimeout));
  SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_ASYNCWINDOWPOS);
  size_t others = 0;
  EXPECT_TRUE(waitUntil([&] { return (others = pixelsOtherThan(editor(), fixture::kEditorColour)) == 0; }, kTimeout))
      << others << " pixels of another colour";
}

TEST_F(CorvelEditorWin32Test, AClickInTheEditorReachesThePublishedPreset) {
  const std::string initial = host->block->readPublishedPreset();
  const size_t before = host->process->output().size();
  PostMessageW(editor(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(100, 100));
  PostMessageW(editor(), WM_LBUTTONUP, 0, MAKELPARAM(100, 100));
  ASSERT_TRUE(errorLogged("[journal] editor click 0.25"));
  // The host compares the state with the published one every few hundred blocks.
  EXPECT_TRUE(waitUntil(
      [&] { return host->process->output().find("[corvel] preset republished ch=7 (", before) != std::string::npos; },
      kTimeout));
  EXPECT_NE(host->block->readPublishedPreset(), initial);
}

// Commands are VST 2 mode's; a VST 3 editor goes with its window.
TEST_F(CorvelEditorWin32Test, ClosingTheWindowClosesTheEditorAndTheHostPlaysOn) {
  ASSERT_TRUE(host->block->sendCommands({kCommandCloseGui}, kTimeout));
  ASSERT_TRUE(audio->waitForMore(100, kTimeout));
  EXPECT_THAT(host->process->errors(), Not(HasSubstr("[journal] editor removed"))) << "CLOSE_GUI is left unread";
  EXPECT_NE(editor(), nullptr);

  PostMessageW(window, WM_CLOSE, 0, 0);
  ASSERT_TRUE(waitUntil([&] { return !IsWindow(window); }, kTimeout));
  EXPECT_TRUE(errorLogged("[journal] editor removed\n"));
  EXPECT_TRUE(audio->waitForMore(100, kTimeout));
  EXPECT_FALSE(host->process->waitExit(0ms).has_value());
  const std::string errors = host->process->errors();
  EXPECT_EQ(errors.find("[journal] editor removed\n"), errors.rfind("[journal] editor removed\n"))
      << "the second close, for the window's destruction, finds nothing open";
  EXPECT_TRUE(topLevelWindows(hostProcess(), "CorvelClass").empty());
}

}  // namespace
}  // namespace corvel
