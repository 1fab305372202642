// The session's mirror of the host's idle rule, which corvel-soak follows too.
#include <gtest/gtest.h>

#include <vector>

#include "client/session_events.h"

namespace corvel {
namespace {

ShmMidiEvent note(uint8_t type, uint8_t velocity) {
  ShmMidiEvent event{};
  event.type = type;
  event.data1 = 60;
  event.data2 = velocity;
  return event;
}

void renderAt(IdleMirror& mirror, float level) {
  const std::vector<float> block(16, level);
  mirror.blockRendered(block.data(), block.data(), 16);
}

TEST(IdleMirror, FollowsTheHostIntoAndOutOfIdle) {
  IdleMirror mirror;
  renderAt(mirror, 0.0f);
  EXPECT_TRUE(mirror.hostIdle());
  const ShmMidiEvent on = note(kMidiNoteOn, 100);
  mirror.batchSent(&on, 1);
  EXPECT_FALSE(mirror.hostIdle());
  renderAt(mirror, 0.0f);  // a held note keeps it rendering
  EXPECT_FALSE(mirror.hostIdle());
  const ShmMidiEvent offs[] = {note(kMidiNoteOn, 0), note(kMidiNoteOff, 0)};
  mirror.batchSent(offs, 2);
  renderAt(mirror, 0.0004f);
  EXPECT_TRUE(mirror.hostIdle());
  mirror.batchSent(&on, 1);
  mirror.hostReset();  // the plug-in's reset forgets the note
  EXPECT_TRUE(mirror.hostIdle());
}

}  // namespace
}  // namespace corvel
