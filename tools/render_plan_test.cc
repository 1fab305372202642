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

TEST(RenderPlan, MessagesBecomeBlockRecordsWithTheirValueBytes) {
  const ShmMidiEvent note = toShmEvent({0, 0x93, 60, 100});
  EXPECT_EQ(note.type, kMidiNoteOn);
  EXPECT_EQ(note.channel, 3);
  EXPECT_EQ(note.data1, 60);
  EXPECT_EQ(note.data2, 100);
  const ShmMidiEvent cc = toShmEvent({0, 0xB0, 7, 99});
  EXPECT_EQ(cc.data1, 7);
  EXPECT_EQ(cc.value, 99);
  EXPECT_EQ(toShmEvent({0, 0xC1, 5, 0}).value, 5);
  const ShmMidiEvent bend = toShmEvent({0, 0xE0, 0x11, 0x40});
  EXPECT_EQ(bend.value, 0x11);
  EXPECT_EQ(bend.valueHigh, 0x40);
}

TEST(RenderPlan, EventsGoToTheBlockTheyFallInAndSurplusMovesOn) {
  std::vector<TimedMidi> events(70, TimedMidi{0.0, 0x90, 60, 1});
  events.push_back({512.0 / 44100, 0x80, 60, 0});  // first frame of block 2
  RenderPlan plan(song(events), 44100, 256, 0);
  EXPECT_EQ(plan.blockCount(), 3u);  // 512 frames end at block 2's start, where the last message is due
  EXPECT_EQ(plan.takeBatch(0).size(), 64u);
  EXPECT_EQ(plan.takeBatch(1).size(), 6u);
  EXPECT_EQ(plan.takeBatch(2).size(), 1u);
}

TEST(RenderPlan, KeepsGoingUntilAChordAtTheVeryEndIsAllSent) {
  std::vector<TimedMidi> events(102, TimedMidi{1.0, 0x90, 60, 1});
  RenderPlan plan(song(events), 44100, 256, 0);
  size_t sent = 0;
  for (uint64_t index = 0; index < plan.blockCount(); ++index) sent += plan.takeBatch(index).size();
  EXPECT_EQ(sent, 102u);
}

TEST(RenderPlan, RefusesWhatNoRenderCouldHold) {
  EXPECT_EQ(RenderPlan(song({}), 44100, 256, kMaxRenderSeconds).frameCount(), 86400u * 44100);
  for (double tail : {kMaxRenderSeconds + 1, 1e30, HUGE_VAL, std::nan("")}) {
    RenderPlan plan(song({}), 44100, 256, tail);
    EXPECT_EQ(plan.status(), PlanStatus::kTooLong) << tail;
    EXPECT_EQ(plan.blockCount(), 0u);
  }
  EXPECT_EQ(RenderPlan(song({{1e30, 0x90, 60, 1}}), 44100, 1, 0).status(), PlanStatus::kTooLong);
  EXPECT_EQ(RenderPlan(song({}), 1e300, 256, 1).status(), PlanStatus::kBadFormat);
  EXPECT_EQ(RenderPlan(song({}), 44100, 0, 1).status(), PlanStatus::kBadFormat);
}

TEST(RenderPlan, FollowsTheHostIntoAndOutOfIdle) {
  RenderPlan plan(song({}), 44100, 256, 1);
  EXPECT_EQ(plan.frameCount(), 44288u);
  plan.blockRendered(0.0f);
  EXPECT_TRUE(plan.hostIdle());
  plan.noteSent({toShmEvent({0, 0x90, 60, 100})});
  EXPECT_FALSE(plan.hostIdle());
  plan.blockRendered(0.0f);  // a held note keeps it rendering
  EXPECT_FALSE(plan.hostIdle());
  plan.noteSent({toShmEvent({0, 0x90, 60, 0}), toShmEvent({0, 0x80, 60, 0})});
  plan.blockRendered(0.0004f);
  EXPECT_TRUE(plan.hostIdle());
}

}  // namespace
}  // namespace corvel
