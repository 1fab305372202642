#include <gmock/gmock.h>

#include "vst2/vst2_test_support.h"

namespace corvel {
namespace {

using ::testing::HasSubstr;
using testing::LoadedFixture;
using testing::reportOf;
using testing::StreamCapture;

TEST(Vst2State, NothingCapturedGivesEmptyText) {
  LoadedFixture fixture("synth");
  EXPECT_EQ(fixture.instrument.getSerializedState(), "");
  StreamCapture out(std::cout), err(std::cerr);
  fixture.instrument.loadSerializedState("");
  fixture.instrument.restoreState();
  EXPECT_EQ(out.str() + err.str(), "");
}

TEST(Vst2State, CapturedTextRestoresTheExactBytes) {
  LoadedFixture fixture("synth");
  ASSERT_TRUE(fixture.instrument.prepare(48000.0, 64));
  StreamCapture err(std::cerr);
  fixture.instrument.noteOn(5, 70, 0.5f, 12);
  fixture.render();
  const auto before = reportOf(fixture.instrument);
  const std::string text = fixture.instrument.getSerializedState();
  fixture.instrument.pitchBend(0, 100);
  fixture.render();
  EXPECT_EQ(fixture.instrument.getSerializedState(), text);  // never captures by itself
  reportOf(fixture.instrument);
  ASSERT_NE(fixture.instrument.getSerializedState(), text);

  StreamCapture out(std::cout);
  fixture.instrument.loadSerializedState(text);
  EXPECT_EQ(out.str(), "[Vst2Instrument] preset restored ch=3 (" +
                           std::to_string(sizeof(fixture::FixtureReport)) + "B)\n");
  const auto after = reportOf(fixture.instrument);
  EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0);
  EXPECT_EQ(fixture.instrument.getSerializedState(), text);
}

TEST(Vst2State, RestoredChunkIsFollowedByAZeroByteOutsideItsCount) {
  LoadedFixture fixture("synth");
  StreamCapture out(std::cout);
  fixture.instrument.loadSerializedState("YWJj");  // "abc"
  EXPECT_EQ(out.str(), "[Vst2Instrument] preset restored ch=3 (3B)\n");
  const auto report = reportOf(fixture.instrument);
  EXPECT_EQ(report.foreignChunkSize, 3);
  EXPECT_EQ(report.foreignChunkEnded, 1u);
}

TEST(Vst2State, BadTextKeepsTheHeldChunkAndTheKeepsPlugInUntouched) {
  LoadedFixture fixture("synth");
  const auto held = reportOf(fixture.instrument);
  const std::string text = fixture.instrument.getSerializedState();
  StreamCapture out(std::cout), err(std::cerr);
  fixture.instrument.loadSerializedState("QUJD!REVG");
  EXPECT_EQ(err.str(), "[Vst2Instrument] loadSerializedState: bad base64 ch=3\n");
  EXPECT_EQ(out.str(), "");
  EXPECT_EQ(fixture.instrument.getSerializedState(), text);
  // A restore now hands back the held chunk, not a fragment.
  fixture.instrument.restoreState();
  const auto after = reportOf(fixture.instrument);
  EXPECT_EQ(std::memcmp(&held, &after, sizeof held), 0);
}

}  // namespace
}  // namespace corvel
