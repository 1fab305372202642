#include <gmock/gmock.h>

#include <vector>

#include "vst2/vst2_event_batch.h"
#include "vst2/vst2_test_support.h"

namespace corvel {
namespace {

using ::testing::Each;
using ::testing::ElementsAre;
using testing::LoadedFixture;
using testing::reportOf;
using testing::StreamCapture;

class Vst2Events : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(fixture.instrument.prepare(48000.0, 64)); }
  // Renders a block, which carries the messages sent since the last one.
  fixture::FixtureReport reportAfterBlock() {
    fixture.render();
    return reportOf(fixture.instrument);
  }
  // Status, data1, data2 and delta of the last message the plug-in received.
  std::vector<int> lastMessage() {
    const auto report = reportAfterBlock();
    EXPECT_EQ(report.lastEventType, 1);
    EXPECT_EQ(report.lastByteSize, 32);
    return {report.lastMidi[0], report.lastMidi[1], report.lastMidi[2], report.lastMidi[3],
            report.lastDelta};
  }
  LoadedFixture fixture{"synth"};
};

TEST_F(Vst2Events, NoteOnBytesAndLogLine) {
  StreamCapture err(std::cerr);
  fixture.instrument.noteOn(0, 60, 1.0f, 0);
  EXPECT_EQ(err.str(), "[Vst2Instrument] noteOn ch=0 p=60 v=127\n");
  EXPECT_THAT(lastMessage(), ElementsAre(0x90, 0x3C, 0x7F, 0, 0));
}

TEST_F(Vst2Events, EveryVelocityByteSurvivesTheFloatRoundTrip) {
  StreamCapture err(std::cerr);
  for (int byte = 0; byte < 128; ++byte) {
    fixture.instrument.noteOn(1, 64, static_cast<float>(byte) / 127.0f, 5);
    EXPECT_THAT(lastMessage(), ElementsAre(0x91, 64, byte, 0, 5));
  }
}

TEST_F(Vst2Events, OutOfRangeValuesAreMaskedNotClamped) {
  StreamCapture err(std::cerr);
  fixture.instrument.noteOn(17, 200, 1.01f, 0);
  EXPECT_THAT(lastMessage(), ElementsAre(0x91, 0x48, 0, 0, 0));
  fixture.instrument.programChange(0, 130);
  EXPECT_THAT(lastMessage(), ElementsAre(0xC0, 0x02, 0, 0, 0));
  fixture.instrument.controlChange(20, 7, 300);
  EXPECT_THAT(lastMessage(), ElementsAre(0xB4, 7, 300 & 0x7F, 0, 0));
}

TEST_F(Vst2Events, OtherMessages) {
  fixture.instrument.noteOff(4, 61, 33);
  EXPECT_THAT(lastMessage(), ElementsAre(0x84, 61, 0, 0, 33));
  fixture.instrument.pitchBend(2, 8192);
  EXPECT_THAT(lastMessage(), ElementsAre(0xE2, 0x00, 0x40, 0, 0));
  fixture.instrument.pitchBend(2, 16383);
  EXPECT_THAT(lastMessage(), ElementsAre(0xE2, 0x7F, 0x7F, 0, 0));
  fixture.instrument.selectProgram(0, 5, 7);
  EXPECT_THAT(lastMessage(), ElementsAre(0xC0, 0x07, 0, 0, 0));
}

TEST_F(Vst2Events, AllNotesOffSendsEveryNoteInOneBatch) {
  const auto before = reportAfterBlock();
  fixture.instrument.allNotesOff(3);
  const auto report = reportAfterBlock();
  EXPECT_EQ(report.batchCount - before.batchCount, 1u);
  EXPECT_EQ(report.eventCount - before.eventCount, 128u);
  EXPECT_EQ(report.noteOffCount, 128u);
  EXPECT_THAT(report.noteOffsByNote, Each(1));
  EXPECT_THAT(lastMessage(), ElementsAre(0x83, 127, 0, 0, 0));
}

// Many plug-ins keep only the last batch before processReplacing; the
// panic's batch is AllNotesOffSendsEveryNoteInOneBatch.
TEST_F(Vst2Events, AChordReachesThePlugInAsOneBatchBeforeTheBlock) {
  StreamCapture err(std::cerr);
  for (uint32_t note : {60, 64, 67}) fixture.instrument.noteOn(0, note, 0.5f, 0);
  EXPECT_EQ(reportOf(fixture.instrument).eventCount, 0u) << "nothing before the block";
  const auto report = reportAfterBlock();
  EXPECT_EQ(report.batchCount, 1u);
  EXPECT_EQ(report.lastBatchSize, 3u);
  EXPECT_THAT(lastMessage(), ElementsAre(0x90, 67, 63, 0, 0)) << "in arrival order";
}

TEST_F(Vst2Events, AFullBatchIsSentAtOnceAndNothingIsDropped) {
  const uint32_t total = Vst2EventBatch::kCapacity + 5;
  for (uint32_t i = 0; i < total; ++i) fixture.instrument.noteOff(0, i % 128, 0);
  auto report = reportOf(fixture.instrument);
  EXPECT_EQ(report.batchCount, 1u);
  EXPECT_EQ(report.lastBatchSize, Vst2EventBatch::kCapacity);
  report = reportAfterBlock();
  EXPECT_EQ(report.batchCount, 2u);
  EXPECT_EQ(report.lastBatchSize, 5u);
  EXPECT_EQ(report.noteOffCount, total);
  EXPECT_EQ(report.lastMidi[1], (total - 1) % 128);
}

// Decodes the fixture's level back to output index, status and data1.
std::vector<int> levelOf(float sample) {
  const auto code = static_cast<uint32_t>(sample * fixture::kLevelScale);
  return {static_cast<int>(code >> 16) - 1, static_cast<int>((code >> 8) & 0xFF),
          static_cast<int>(code & 0xFF)};
}

struct Block {
  explicit Block(int32_t frames) : left(frames, 9.0f), right(frames, 9.0f) {}
  std::vector<float> left, right;
};

TEST(Vst2Process, StereoPlugInWritesStraightIntoHostBuffers) {
  LoadedFixture fixture("synth");
  ASSERT_TRUE(fixture.instrument.prepare(48000.0, 256));
  fixture.instrument.controlChange(1, 74, 10);
  Block block(256);
  fixture.instrument.process(block.left.data(), block.right.data(), 256);
  EXPECT_THAT(levelOf(block.left[255]), ElementsAre(0, 0xB1, 74));
  EXPECT_THAT(levelOf(block.right[0]), ElementsAre(1, 0xB1, 74));
  const auto report = reportOf(fixture.instrument);
  EXPECT_EQ(report.nullInputEntry, 1u);
  EXPECT_EQ(report.lastFrames, 256);
}

TEST(Vst2Process, WidePlugInReadsSilenceOnEveryInputAndSpillsExtraOutputs) {
  LoadedFixture fixture("wide");
  ASSERT_TRUE(fixture.instrument.prepare(44100.0, 1024));
  for (int32_t frames : {256, 1024, 256, 0}) {
    Block block(std::max(frames, 1));
    fixture.instrument.process(block.left.data(), block.right.data(), frames);
    if (frames == 0) continue;
    EXPECT_EQ(levelOf(block.left[0])[0], 0);
    EXPECT_EQ(levelOf(block.right[frames - 1])[0], 1);
  }
  const auto report = reportOf(fixture.instrument);
  EXPECT_EQ(report.inputsSilent, 1u);
  EXPECT_EQ(report.processCalls, 5u) << "four blocks after the warm-up";
  EXPECT_EQ(report.lastFrames, 0);
}

TEST(Vst2Process, MonoPlugInIsCopiedToTheRight) {
  LoadedFixture fixture("mono");
  ASSERT_TRUE(fixture.instrument.prepare(48000.0, 64));
  Block block(64);
  fixture.instrument.process(block.left.data(), block.right.data(), 64);
  EXPECT_EQ(levelOf(block.left[0])[0], 0);
  EXPECT_EQ(block.right, block.left);
}

TEST(Vst2Process, PlugInWithoutOutputsLeavesSilence) {
  LoadedFixture fixture("silent");
  ASSERT_TRUE(fixture.instrument.prepare(48000.0, 64));
  Block block(64);
  fixture.instrument.process(block.left.data(), block.right.data(), 64);
  EXPECT_THAT(block.left, Each(0.0f));
  EXPECT_THAT(block.right, Each(0.0f));
}

TEST(Vst2Process, WithoutPlugInOnlyTheGivenFramesAreZeroed) {
  Vst2Instrument instrument;
  Block block(300);
  instrument.process(block.left.data(), block.right.data(), 256);
  EXPECT_EQ(block.left[255], 0.0f);
  EXPECT_EQ(block.right[0], 0.0f);
  EXPECT_EQ(block.left[256], 9.0f);
  EXPECT_EQ(block.right[256], 9.0f);
  instrument.noteOn(0, 60, 1.0f, 0);  // no plug-in: nothing to reach, nothing breaks
}

// Before prepare, and beyond the prepared block size, the buffers are not there.
TEST(Vst2Process, BlocksThatDoNotFitThePreparedBuffersAreSilentAndReachNothing) {
  LoadedFixture fixture("synth");
  Block block(512);
  fixture.instrument.process(block.left.data(), block.right.data(), 64);
  ASSERT_TRUE(fixture.instrument.prepare(48000.0, 256));
  fixture.instrument.process(block.left.data(), block.right.data(), 512);
  EXPECT_THAT(block.left, Each(0.0f));
  EXPECT_THAT(block.right, Each(0.0f));
  EXPECT_EQ(reportOf(fixture.instrument).processCalls, 1u) << "the warm-up only";
}

// No message a parent sends meets the plug-in's first block.
TEST(Vst2Process, PrepareWarmsUpSilentlyWithoutMovingTimeOrTakingTheQueuedNote) {
  LoadedFixture fixture("synth");
  fixture.instrument.noteOn(0, 60, 1.0f, 0);
  ASSERT_TRUE(fixture.instrument.prepare(48000.0, 256));
  auto report = reportOf(fixture.instrument);
  EXPECT_EQ(report.processCalls, 1u);
  EXPECT_EQ(report.lastFrames, 256);
  EXPECT_EQ(report.eventCount, 0u);
  Block block(256);
  fixture.instrument.process(block.left.data(), block.right.data(), 256);
  report = reportOf(fixture.instrument);
  EXPECT_EQ(report.eventCount, 1u);
  EXPECT_EQ(report.samplePos[1], report.samplePos[0]) << "the first block stands where the warm-up stood";
}

TEST(Vst2Process, TimeInfoAdvancesOneBlockPerRequest) {
  LoadedFixture fixture("synth");
  ASSERT_TRUE(fixture.instrument.prepare(48000.0, 256));
  Block block(256);
  fixture.instrument.process(block.left.data(), block.right.data(), 256);
  fixture.instrument.process(block.left.data(), block.right.data(), 256);
  const auto report = reportOf(fixture.instrument);
  EXPECT_EQ(report.samplePos[1] - report.samplePos[0], 256.0);
  EXPECT_DOUBLE_EQ(report.nanoSeconds, report.samplePos[1] / 44100.0 * 1e9);
  EXPECT_EQ(report.timeSampleRate, 48000.0);
  EXPECT_EQ(report.timeFlags, 9);
}

}  // namespace
}  // namespace corvel
