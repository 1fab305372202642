// Preset exchange with a real host process.
#include <thread>

#include <gtest/gtest.h>

#include "tests/support/host_session.h"

namespace corvel {
namespace {

// The fake instrument's state before anything is applied.
const std::string kInitialState = "fake:" + std::string(100, 'x');

TEST(ProcessPreset, InitialPresetIsPublishedOnce) {
  HostSession session;
  ASSERT_TRUE(session.startIdle({"--channel", "4"}));
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(countOf(session.host().output(), "[corvel] initial preset published ch=4 (105B)\n"), 1u);
  EXPECT_EQ(countOf(session.host().output(), "republished"), 0u);
  EXPECT_EQ(session.block().readPublishedPreset(), kInitialState);
}

TEST(ProcessPreset, StubIsRejectedAndCleared) {
  HostSession session;
  ASSERT_TRUE(session.startIdle({"--channel", "4"}));
  EXPECT_EQ(session.block().pushPreset(std::string(99, 's'), kLineTimeout), PresetOutcome::kRejected);
  EXPECT_TRUE(session.host().waitForOutput("[corvel] preset rejected ch=4 (stub 99B)\n", kLineTimeout));
  EXPECT_EQ(session.block().readPublishedPreset(), kInitialState);
}

TEST(ProcessPreset, AppliedPresetIsRepublishedAndPanics) {
  HostSession session;
  ASSERT_TRUE(session.startIdle({"--channel", "4"}));
  const std::string text(5000, 'p');
  for (int round = 1; round <= 2; ++round) {
    ASSERT_EQ(session.block().pushPreset(text, kLineTimeout), PresetOutcome::kTaken);
    ASSERT_TRUE(waitUntil([&] { return countOf(session.host().output(), "panic after preset") == 1u + round; },
                          kLineTimeout));
  }
  EXPECT_EQ(countOf(session.host().output(), "[corvel] preset applied from SHM ch=4 (5000B)\n"), 2u);
  EXPECT_EQ(session.block().readPublishedPreset(), text);
}

TEST(ProcessPreset, OversizedPresetStaysPending) {
  HostSession session;
  ASSERT_TRUE(session.startIdle());
  ShmBlock& raw = session.block().raw();
  storeRelease(raw.presetInSize, kPresetCapacity);
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(loadAcquire(raw.presetInSize), kPresetCapacity);
  EXPECT_EQ(session.host().output().find("preset applied"), std::string::npos);
  // The client refuses such a text before writing it, instead of waiting in vain.
  EXPECT_EQ(session.block().pushPreset(std::string(kPresetCapacity, 'o'), 1h), PresetOutcome::kTooLarge);
}

}  // namespace
}  // namespace corvel
