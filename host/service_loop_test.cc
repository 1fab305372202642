#include "host/service_loop.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <limits>
#include <thread>

#include "host/host_fixture.h"

namespace corvel {
namespace {

using ::testing::ElementsAre;

HostOptions vst2Options() {
  HostOptions options;
  options.vst2 = true;
  options.channel = 4;
  return options;
}

TEST(ServiceLoop, DeliversMidiInOrderWithTheInterfaceValues) {
  HostFixture host;
  host.sendMidi({midi(kMidiNoteOn, 2, 60, 100), midi(kMidiNoteOn, 2, 60, 0), midi(kMidiNoteOff, 2, 60),
                 midi(10, 0, 1, 2), midi(kMidiControlChange, 1, 7, 0, 99), midi(kMidiProgramChange, 3, 0, 0, 5),
                 midi(kMidiPitchBend, 0, 0, 0, 0, 64), midi(kMidiPitchBend, 0, 0, 0, 127, 127),
                 midi(kMidiNoteOn, 0, 1, 200)});
  ASSERT_TRUE(host.loop.runPass());
  EXPECT_THAT(host.takeCalls(),
              ElementsAre("noteOn 2 60 0.787402 0", "noteOff 2 60 0", "noteOff 2 60 0", "controlChange 1 7 99",
                          "programChange 3 5", "pitchBend 0 8192", "pitchBend 0 16383", "noteOn 0 1 1.5748 0",
                          "process 256"));
  EXPECT_EQ(host.block->midiCount, 0u);
  EXPECT_EQ(host.loop.activeNotes(), 1);
}

TEST(ServiceLoop, ActiveNotesNeverGoBelowZero) {
  HostFixture host;
  host.sendMidi({midi(kMidiNoteOff, 0, 1), midi(kMidiNoteOff, 0, 2), midi(kMidiNoteOn, 0, 3, 1)});
  host.loop.runPass();
  EXPECT_EQ(host.loop.activeNotes(), 1);
}

TEST(ServiceLoop, TakesAtMostSixtyFourRecordsAndDropsTheRest) {
  HostFixture host;
  host.sendMidi(std::vector<ShmMidiEvent>(64, midi(kMidiControlChange, 0, 1, 0, 5)));
  host.block->midiCount = 100;
  host.loop.runPass();
  const auto calls = host.takeCalls();
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "controlChange 0 1 5"), 64);
  EXPECT_EQ(host.block->midiCount, 0u);
}

TEST(ServiceLoop, BatchesWrittenWhileTheLoopRunsAreNeverWiped) {
  HostFixture host;
  host.instrument.level = 1.0f;
  host.instrument.recordRenders = false;
  constexpr size_t kBatches = 500;
  std::thread parent([&] {
    for (size_t i = 0; i < kBatches; ++i) {
      while (loadAcquire(host.block->midiCount) != 0) std::this_thread::yield();
      host.block->midiEvents[0] = midi(kMidiProgramChange, 0, 0, 0, static_cast<uint8_t>(i % 128));
      storeRelease(host.block->midiCount, 1);
    }
  });
  std::vector<std::string> delivered;
  while (delivered.size() < kBatches) {
    host.loop.runPass();
    for (std::string& call : host.takeCalls())
      if (call.rfind("programChange", 0) == 0) delivered.push_back(std::move(call));
  }
  parent.join();
  for (size_t i = 0; i < kBatches; ++i) ASSERT_EQ(delivered[i], "programChange 0 " + std::to_string(i % 128));
}

TEST(ServiceLoop, DoubleBufferStartsInBufferOneAndUsesBitZeroOfFrontIndex) {
  HostFixture host;
  host.instrument.level = 0.5f;
  host.sendMidi({midi(kMidiNoteOn, 0, 60, 127)});
  host.loop.runPass();
  EXPECT_EQ(host.block->frontIndex, 1u);
  EXPECT_EQ(host.block->renderCount, 1u);
  EXPECT_EQ(host.block->outLeft[1][255], 0.5f);
  EXPECT_EQ(host.block->outRight[1][0], 0.5f);
  host.loop.runPass();
  EXPECT_EQ(host.block->frontIndex, 0u);
  host.block->frontIndex = 2;
  host.loop.runPass();
  EXPECT_EQ(host.block->frontIndex, 1u);
  EXPECT_EQ(host.block->renderCount, 3u);
}

TEST(ServiceLoop, SilenceWithoutHeldNotesPausesRenderingUntilAnyMidiArrives) {
  HostFixture host;
  host.instrument.level = 0.0004f;
  host.loop.runPass();
  EXPECT_TRUE(host.loop.idle());
  host.loop.runPass();
  EXPECT_EQ(host.block->renderCount, 1u);
  host.sendMidi({midi(10, 0, 0)});  // even a skipped type wakes the loop
  host.loop.runPass();
  EXPECT_EQ(host.block->renderCount, 2u);
}

TEST(ServiceLoop, HeldNotesAndAnOpenEditorKeepRendering) {
  HostFixture held;
  held.sendMidi({midi(kMidiNoteOn, 0, 60, 90)});
  for (int i = 0; i < 3; ++i) held.loop.runPass();
  EXPECT_FALSE(held.loop.idle());
  EXPECT_EQ(held.block->renderCount, 3u);

  HostFixture editing;
  editing.instrument.editorOpen = true;
  for (int i = 0; i < 3; ++i) editing.loop.runPass();
  EXPECT_TRUE(editing.loop.idle());
  EXPECT_EQ(editing.block->renderCount, 3u);
}

// NaN in a parent's mix bus silences everything summed with it.
TEST(ServiceLoop, NonFiniteBlocksGoOutAsSilenceAndResetThePluginAtMostOncePerSecond) {
  HostFixture host;
  host.instrument.level = std::numeric_limits<float>::quiet_NaN();
  testing::internal::CaptureStdout();
  for (int i = 0; i < 3; ++i) {
    host.sendMidi({midi(kMidiNoteOn, 0, 61, 90)});  // keeps a silenced host rendering
    host.loop.runPass();
  }
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "[corvel] non-finite samples silenced ch=0\n[corvel] plug-in reset after non-finite output ch=0\n");
  const uint32_t front = host.block->frontIndex;
  EXPECT_EQ(host.block->outLeft[front][0], 0.0f);
  EXPECT_EQ(host.block->outRight[front][255], 0.0f);
  const auto calls = host.takeCalls();
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "reset"), 1);
  EXPECT_EQ(host.loop.activeNotes(), 2) << "the reset forgets the notes held before it";

  // A recovered plug-in sounds again; a later run of broken blocks is logged anew.
  host.instrument.level = 0.5f;
  host.loop.runPass();
  EXPECT_EQ(host.block->outLeft[host.block->frontIndex][0], 0.5f);
  host.instrument.level = std::numeric_limits<float>::infinity();
  host.sendMidi({midi(kMidiNoteOff, 0, 61), midi(kMidiNoteOff, 0, 61)});
  testing::internal::CaptureStdout();
  host.loop.runPass();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "[corvel] non-finite samples silenced ch=0\n");
  EXPECT_TRUE(host.loop.idle()) << "with no held notes a silenced block is silence";
}

TEST(ServiceLoop, ZeroBlockSizeRendersEmptyBlocksAndGoesIdle) {
  HostOptions options;
  options.blockSize = 0;
  HostFixture host(options);
  host.loop.runPass();
  EXPECT_THAT(host.takeCalls(), ElementsAre("process 0"));
  EXPECT_TRUE(host.loop.idle());
}

TEST(ServiceLoop, CommandsAreReadOnlyInVst2Mode) {
  HostFixture vst3;
  vst3.block->commands[0].code = kCommandQuit;
  vst3.block->commandCount = 1;
  EXPECT_TRUE(vst3.loop.runPass());
  EXPECT_EQ(vst3.block->commandCount, 1u);

  HostFixture vst2(vst2Options());
  vst2.block->commands[0].code = kCommandQuit;
  vst2.block->commands[1].code = kCommandAllNotesOff;
  vst2.block->commands[2].code = 99;
  vst2.block->commandCount = 3;
  testing::internal::CaptureStdout();
  EXPECT_FALSE(vst2.loop.runPass());
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, "[corvel] panic after preset ch=4\n[corvel] ALL_NOTES_OFF ch=4\n");
  EXPECT_EQ(vst2.block->commandCount, 0u);
}

TEST(ServiceLoop, CommandBatchIsCappedAtEightAndCloseGuiReachesTheInstrument) {
  HostFixture host(vst2Options());
  for (auto& command : host.block->commands) command.code = kCommandCloseGui;
  host.block->commandCount = 9;
  host.loop.runPass();
  const auto calls = host.takeCalls();
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "closeGUI"), 8);
  EXPECT_EQ(host.block->commandCount, 0u);
}

TEST(ServiceLoop, OpenGuiWithoutAWindowSystemIsDroppedSilently) {
  HostFixture host(vst2Options());
  host.block->commands[0].code = kCommandOpenGui;
  host.block->commandCount = 1;
  testing::internal::CaptureStdout();
  host.loop.runPass();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(host.block->commandCount, 0u);
}

TEST(ServiceLoop, ChecksForAChangedStateEveryTwoHundredPasses) {
  HostFixture host;
  host.instrument.level = 1.0f;
  host.sendMidi({midi(kMidiNoteOn, 0, 60, 90)});
  host.instrument.state = "changed";
  testing::internal::CaptureStdout();
  for (int i = 0; i < 199; ++i) host.loop.runPass();
  EXPECT_EQ(host.block->presetOutSize, 0u);
  host.loop.runPass();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "[corvel] preset republished ch=0 (7B)\n");
  EXPECT_EQ(host.published(), "changed");
}

}  // namespace
}  // namespace corvel
