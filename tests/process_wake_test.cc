// A parent that wakes the host and one that never does are served alike:
// the first gets its blocks sooner, the second at the polling pace.
#include <algorithm>
#include <csignal>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/host_session.h"

namespace corvel {
namespace {

ShmMidiEvent level(uint8_t value) { return ShmMidiEvent{kMidiControlChange, 0, 7, 0, value, 0, {}}; }

class ProcessWake : public testing::TestWithParam<bool> {
 protected:
  void SetUp() override { session.useWaitPolicy(WaitPolicy{GetParam(), {}}); }

  // Takes blocks until one starts with `expected`; false if none does soon.
  bool playsAt(float expected) {
    AudioBlock audio;
    for (int i = 0; i < 20; ++i) {
      if (!session.block().readBlock(kMaxBlockFrames, audio, kLineTimeout)) return false;
      if (audio.left[0] == expected) return true;
    }
    return false;
  }

  HostSession session;
};

// Presets and commands go to an idle host, which serves nothing else while
// a block waits for its acknowledgement.
TEST_P(ProcessWake, ServesPresetsCommandsAudioAndIdleThenARestartedHost) {
  ASSERT_TRUE(session.startIdle({"--vst2"}));
  ClientBlock& block = session.block();
  const std::string preset(300, 'w');
  EXPECT_EQ(block.pushPreset(preset, kLineTimeout), PresetOutcome::kTaken);
  EXPECT_TRUE(waitUntil([&] { return block.readPublishedPreset() == preset; }, kLineTimeout));
  ASSERT_TRUE(block.sendCommands({kCommandAllNotesOff}, kLineTimeout));
  EXPECT_TRUE(session.host().waitForOutput("[corvel] ALL_NOTES_OFF", kLineTimeout));

  ASSERT_TRUE(block.writeMidi({level(127)}, kLineTimeout));
  EXPECT_TRUE(playsAt(1.0f));
  ASSERT_TRUE(block.writeMidi({level(0)}, kLineTimeout));
  EXPECT_TRUE(playsAt(0.0f));
  EXPECT_FALSE(block.waitForRender(block.renderCount(), std::chrono::milliseconds(100))) << "silence did not idle";

  // A new host on the same block finds counts left by the old one.
  session.host().kill();
  session.host().waitExit(kLineTimeout);
  ASSERT_TRUE(session.start({"--shm", session.blockName(), "--path", "fake.vst3", "--open", "--vst2"}));
  ASSERT_TRUE(session.host().waitForOutput("[corvel] panic after preset", kLineTimeout));
  ASSERT_TRUE(block.writeMidi({level(127)}, kLineTimeout));
  EXPECT_TRUE(playsAt(1.0f));
}

TEST_P(ProcessWake, HostSleepingWhileIdleEndsWhenItsParentIsGone) {
  auto parent = ChildProcess::spawn(longRunningProcess());
  ASSERT_NE(parent, nullptr);
  ASSERT_TRUE(session.startIdle({"--parent", std::to_string(parent->pid())}));
  parent->kill();
  ASSERT_TRUE(parent->waitExit(kLineTimeout));
  EXPECT_EQ(session.host().waitExit(kLineTimeout), 0);
  // The dead parent created the block: nobody but its host could remove it.
  const std::vector<std::string> left = sharedMemoryNames();
  EXPECT_EQ(std::count(left.begin(), left.end(), session.blockName()), 0);
}

// Granted or refused, real-time scheduling never stops the service.
TEST(ProcessRealtime, HostAskingForPriorityAndSpinningServesAllTheSame) {
  HostSession session;
  session.useWaitPolicy(WaitPolicy{true, std::chrono::microseconds(50)});
  ASSERT_TRUE(session.startIdle({"--rt-priority", "10", "--spin-us", "50"}));
  EXPECT_TRUE(session.host().waitForOutput("[corvel] real-time priority", kLineTimeout));
  ASSERT_TRUE(session.block().writeMidi({level(127)}, kLineTimeout));
  AudioBlock audio;
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(session.block().readBlock(kMaxBlockFrames, audio, kLineTimeout));
  EXPECT_EQ(audio.left[0], 1.0f);
}

INSTANTIATE_TEST_SUITE_P(Parents, ProcessWake, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) {
                           return info.param ? "Waking" : "NeverWaking";
                         });

}  // namespace
}  // namespace corvel
