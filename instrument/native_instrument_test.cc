#include <gtest/gtest.h>

#include "instrument/recording_instrument.h"

namespace corvel {
namespace {

TEST(NativeInstrument, AllNotesOffReleasesEveryNoteOfTheChannelInRisingOrder) {
  RecordingInstrument instrument;
  INativeInstrument& base = instrument;
  base.allNotesOff(5);
  ASSERT_EQ(instrument.calls.size(), 128u);
  for (uint32_t note = 0; note < 128; ++note) EXPECT_EQ(instrument.calls[note], "noteOff 5 " + std::to_string(note) + " 0");
}

}  // namespace
}  // namespace corvel
