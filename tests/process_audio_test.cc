// The audio road through a real host process: MIDI delivery, the double
// buffer, idling on silence, the heartbeat and the parent watch.

#include <thread>

#include <gtest/gtest.h>

#include "tests/support/host_session.h"

namespace corvel {
namespace {

ShmMidiEvent midi(uint8_t type, uint8_t channel, uint8_t data1, uint8_t data2 = 0, uint8_t value = 0,
                  uint8_t valueHigh = 0) {
  return ShmMidiEvent{type, channel, data1, data2, value, valueHigh, {}};
}

// Long enough for many 15 ms idle passes.
constexpr auto kIdleWatch = 300ms;

TEST(ProcessAudio, MidiBatchIsDeliveredInOrderWithConvertedValues) {
  HostSession session;
  ASSERT_TRUE(session.startIdle());
  ASSERT_TRUE(session.block().writeMidi(
      {
          midi(kMidiNoteOn, 3, 60, 100),
          midi(kMidiNoteOn, 3, 60, 0),
          midi(kMidiNoteOff, 3, 60),
          midi(10, 3, 60, 99),  // polyphonic aftertouch: not delivered
          midi(kMidiControlChange, 3, 10, 0, 20),
          midi(kMidiProgramChange, 3, 0, 0, 42),
          midi(kMidiPitchBend, 3, 0, 0, 0, 64),
          midi(kMidiPitchBend, 3, 0, 0, 5, 1),
      },
      kLineTimeout));
  ASSERT_TRUE(session.host().waitForError("[fake] pitchBend 3 133", kLineTimeout));
  EXPECT_EQ(session.callsOnChannel(3), (std::vector<std::string>{
                                           "noteOn 3 60 0.787402 0",
                                           "noteOff 3 60 0",
                                           "noteOff 3 60 0",
                                           "controlChange 3 10 20",
                                           "programChange 3 42",
                                           "pitchBend 3 8192",
                                           "pitchBend 3 133",
                                       }));
  // The host clears the count after the last call of the batch.
  EXPECT_TRUE(waitUntil([&] { return loadAcquire(session.block().raw().midiCount) == 0; }, kLineTimeout));
}

TEST(ProcessAudio, AnnouncedCountAboveCapacityDeliversOnly64) {
  HostSession session;
  ASSERT_TRUE(session.startIdle());
  ShmBlock& raw = session.block().raw();
  for (uint8_t i = 0; i < kMidiCapacity; ++i) raw.midiEvents[i] = midi(kMidiProgramChange, 5, 0, 0, i);
  storeRelease(raw.midiCount, 100);
  ASSERT_TRUE(session.host().waitForError("[fake] programChange 5 63", kLineTimeout));
  EXPECT_TRUE(waitUntil([&] { return loadAcquire(raw.midiCount) == 0; }, kLineTimeout));
  EXPECT_EQ(session.callsOnChannel(5).size(), kMidiCapacity);
}

TEST(ProcessAudio, FirstBlockLandsInBuffer1ThenBuffersAlternate) {
  HostSession session;
  ASSERT_TRUE(session.startServing({"--block", "64"}));
  ASSERT_TRUE(session.block().writeMidi({midi(kMidiControlChange, 0, 7, 0, 127)}, kLineTimeout));
  AudioBlock block;
  ASSERT_TRUE(session.block().readBlock(64, block, kLineTimeout));
  EXPECT_EQ(block.bufferIndex, 1u);
  EXPECT_EQ(block.renderCount, 1u);
  // The level set by the controller reaches the next block, not the one already waiting.
  ASSERT_TRUE(session.block().readBlock(64, block, kLineTimeout));
  EXPECT_EQ(block.bufferIndex, 0u);
  EXPECT_EQ(block.renderCount, 2u);
  EXPECT_EQ(block.left, std::vector<float>(64, 1.0f));
  EXPECT_EQ(block.right, std::vector<float>(64, 1.0f));
}

TEST(ProcessAudio, SilenceIdlesUntilAnyMidiBatch) {
  HostSession session;
  ASSERT_TRUE(session.startIdle());
  ClientBlock& block = session.block();
  const uint32_t idleCount = block.renderCount();
  std::this_thread::sleep_for(kIdleWatch);
  EXPECT_EQ(block.renderCount(), idleCount) << "a silent host kept rendering";

  ASSERT_TRUE(block.writeMidi({midi(10, 0, 60, 1)}, kLineTimeout));
  AudioBlock rendered;
  ASSERT_TRUE(block.readBlock(kMaxBlockFrames, rendered, kLineTimeout));
  EXPECT_EQ(rendered.renderCount, idleCount + 1);
  std::this_thread::sleep_for(kIdleWatch);
  EXPECT_EQ(block.renderCount(), idleCount + 1) << "silence did not idle again";
}

TEST(ProcessAudio, HeldNoteKeepsSilentHostRendering) {
  HostSession session;
  ASSERT_TRUE(session.startIdle());
  ClientBlock& block = session.block();
  ASSERT_TRUE(block.writeMidi({midi(kMidiNoteOn, 0, 60, 100)}, kLineTimeout));
  AudioBlock rendered;
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(block.readBlock(kMaxBlockFrames, rendered, kLineTimeout)) << i;
}

// A host that sits on its MIDI keeps beating: only the block count tells.
TEST(ProcessAudio, ProgressTellsAHostThatTakesNoMidiFromOneThatDoes) {
  HostSession session;
  ASSERT_TRUE(session.startServing());
  ClientBlock& block = session.block();
  EXPECT_EQ(block.watchProgress(100ms), HostProgress::kNothingWaiting);
  // Waiting for the acknowledgement of its first block, it takes nothing.
  ASSERT_TRUE(block.waitForRender(0, kLineTimeout));
  ASSERT_TRUE(block.writeMidi({midi(kMidiControlChange, 0, 1, 0, 1)}, kLineTimeout));
  EXPECT_EQ(block.watchProgress(100ms), HostProgress::kStalled);
  AudioBlock first;
  ASSERT_TRUE(block.readBlock(kMaxBlockFrames, first, kLineTimeout));
  // Taken by now, or while it watches.
  EXPECT_NE(block.watchProgress(kLineTimeout), HostProgress::kStalled);
}

TEST(ProcessAudio, HeartbeatCountsAboutTenPerSecond) {
  HostSession session;
  ASSERT_TRUE(session.startServing());  // waiting for the first acknowledgement
  const uint32_t start = session.block().heartbeat();
  std::this_thread::sleep_for(1s);
  const uint32_t beats = session.block().heartbeat() - start;
  EXPECT_GE(beats, 5u);
  EXPECT_LE(beats, 15u);
}

TEST(ProcessAudio, HostExitsWhenItsParentIsGone) {
  auto parent = ChildProcess::spawn(longRunningProcess());
  ASSERT_NE(parent, nullptr);
  HostSession session;
  // Left waiting for the acknowledgement of its first block.
  ASSERT_TRUE(session.startServing({"--parent", std::to_string(parent->pid())}));
  parent->kill();
  ASSERT_TRUE(parent->waitExit(kLineTimeout));
  EXPECT_EQ(session.host().waitExit(kLineTimeout), 0);
  EXPECT_NE(session.host().output().find("[corvel] parent gone - exiting\n"), std::string::npos);
}

}  // namespace
}  // namespace corvel
