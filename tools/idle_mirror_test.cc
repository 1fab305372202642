#include "tools/idle_mirror.h"

#include <gtest/gtest.h>

namespace corvel {
namespace {

ShmMidiEvent note(uint8_t type, uint8_t velocity) {
  ShmMidiEvent event{};
  event.type = type;
  event.data1 = 60;
  event.data2 = velocity;
  return event;
}

TEST(HostIdleMirror, FollowsTheHostIntoAndOutOfIdle) {
  HostIdleMirror mirror;
  mirror.blockRendered(0.0f);
  EXPECT_TRUE(mirror.hostIdle());
  mirror.noteSent({note(kMidiNoteOn, 100)});
  EXPECT_FALSE(mirror.hostIdle());
  mirror.blockRendered(0.0f);  // a held note keeps it rendering
  EXPECT_FALSE(mirror.hostIdle());
  mirror.noteSent({note(kMidiNoteOn, 0), note(kMidiNoteOff, 0)});
  mirror.blockRendered(0.0004f);
  EXPECT_TRUE(mirror.hostIdle());
}

}  // namespace
}  // namespace corvel
