#include "tools/render_plan.h"

#include <gtest/gtest.h>

#include <cmath>

namespace corvel {
namespace {

MidiSong song(std::vector<TimedMidi> events) {
  MidiSong s;
  s.events = std::move(events);
  s.lengthSeconds = s.events.empty() ? 0 : s.events.back().seconds;
  return s;
}

TEST(RenderPlan, MessagesKeepTheirBytesAndComeWithTheStretchTheyFallIn) {
  RenderPlan plan(song({{0, 0x93, 60, 100}, {300.0 / 44100, 0xE0, 0x11, 0x40}, {511.6 / 44100, 0x83, 60, 0}}), 44100,
                  256, 1);
  const std::vector<MidiEvent> first = plan.takeEvents(256);
  ASSERT_EQ(first.size(), 1u);
  EXPECT_EQ(first[0].frame, 0u);
  EXPECT_EQ(first[0].status, 0x93);
  EXPECT_EQ(first[0].data1, 60);
  EXPECT_EQ(first[0].data2, 100);
  // The next stretch counts from its own start; 511.6 rounds to frame 512.
  const std::vector<MidiEvent> second = plan.takeEvents(256);
  ASSERT_EQ(second.size(), 1u);
  EXPECT_EQ(second[0].frame, 44u);
  EXPECT_EQ(second[0].data2, 0x40);
  const std::vector<MidiEvent> third = plan.takeEvents(256);
  ASSERT_EQ(third.size(), 1u);
  EXPECT_EQ(third[0].frame, 0u);
  EXPECT_TRUE(plan.takeEvents(256).empty());
}

// The length is in whole blocks; a message at or past its last frame could
// not sound in it and is left out, however many come at once.
TEST(RenderPlan, LastsWholeBlocksAndLeavesOutWhatComesAfterTheEnd) {
  std::vector<TimedMidi> events(102, TimedMidi{1.0, 0x90, 60, 1});
  events.push_back({2.0, 0x80, 60, 0});
  RenderPlan plan(song(events), 44100, 256, 1.0);
  EXPECT_EQ(plan.frameCount(), 44288u);  // 173 blocks
  EXPECT_EQ(plan.takeEvents(44100).size(), 0u);
  EXPECT_EQ(plan.takeEvents(188).size(), 102u);
  EXPECT_TRUE(plan.takeEvents(1000).empty());
}

TEST(RenderPlan, RefusesWhatNoRenderCouldHold) {
  EXPECT_EQ(RenderPlan(song({}), 44100, 256, kMaxRenderSeconds).frameCount(), 86400u * 44100);
  for (double seconds : {kMaxRenderSeconds + 1, 1e30, HUGE_VAL, std::nan(""), -1.0}) {
    RenderPlan plan(song({}), 44100, 256, seconds);
    EXPECT_EQ(plan.status(), PlanStatus::kTooLong) << seconds;
    EXPECT_EQ(plan.frameCount(), 0u);
  }
  EXPECT_EQ(RenderPlan(song({}), 1e300, 256, 1).status(), PlanStatus::kBadFormat);
  EXPECT_EQ(RenderPlan(song({}), 44100, 0, 1).status(), PlanStatus::kBadFormat);
}

}  // namespace
}  // namespace corvel
