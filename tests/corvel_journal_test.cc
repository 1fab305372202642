// Variants of our journal fixture through a real corvel: a single-component
// plug-in plays, hears its notes and carries its state into a second host
// through a preset file; a mono output bus reaches both channels. The fixture
// renders channel c at (c + 1) x its level, which the volume parameter sets.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

#include "client/wait_until.h"
#include "tests/support/corvel_session.h"

namespace corvel {
namespace {

using namespace std::chrono_literals;
using ::testing::Each;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr uint32_t kFrames = 256;

// Takes blocks until `done` holds for the last one taken; false after 20 s.
template <class Done>
bool playUntil(Corvel& host, AudioBlock& audio, Done done) {
  return waitUntil([&] { return host.block->readBlock(kFrames, audio, 1s) && done(); }, 20s);
}

TEST(CorvelJournal, ASingleComponentPlaysAndItsStateReachesASecondHost) {
  const std::string single = CORVEL_JOURNAL_SINGLE_VST3;
  Corvel first({"--path", single});
  ASSERT_TRUE(first.serving()) << first.process->errors();
  EXPECT_THAT(first.process->output(),
              HasSubstr("[Vst3Instrument] loaded " + single + " (Journal Synth) outCh=2\n"));
  EXPECT_THAT(first.process->errors(), Not(HasSubstr("controller initialize")));
  AudioBlock audio;
  ASSERT_TRUE(first.block->readBlock(kFrames, audio, 5s));
  EXPECT_THAT(audio.left, Each(0.25f));
  EXPECT_THAT(audio.right, Each(0.5f));
  const std::string initial = first.block->readPublishedPreset();
  ASSERT_FALSE(initial.empty());

  // One batch: a second one would wait for the host, which waits for its
  // next block to be taken before it reads MIDI again.
  ASSERT_TRUE(first.block->writeMidi({ShmMidiEvent{kMidiNoteOn, 0, 60, 100, 0, 0, {}},
                                      ShmMidiEvent{kMidiControlChange, 0, 7, 0, 127, 0, {}}},
                                     5s));
  ASSERT_TRUE(playUntil(first, audio, [&] { return audio.left[0] == 1.0f; }));
  // Standard error is read in the background: the line may follow the block.
  EXPECT_TRUE(first.process->waitForError("[journal] component noteOn 60\n", 5s)) << first.process->errors();
  // The host looks for a changed state every 200 passes.
  ASSERT_TRUE(playUntil(first, audio, [&] { return first.block->readPublishedPreset() != initial; }));
  const std::string loud = first.block->readPublishedPreset();

  const std::string file = first.presetFile();
  std::ofstream(file, std::ios::binary) << loud;
  Corvel second({"--path", single, "--presetfile", file});
  ASSERT_TRUE(second.serving()) << second.process->errors();
  EXPECT_THAT(second.process->output(), HasSubstr("[Vst3Instrument] state restored ch=7 component=4B\n"));
  EXPECT_EQ(second.block->readPublishedPreset(), loud);
  ASSERT_TRUE(second.block->readBlock(kFrames, audio, 5s));
  EXPECT_THAT(audio.left, Each(1.0f)) << "the restored level is heard from the first block";
}

TEST(CorvelJournal, AMonoOutputBusSoundsOnBothChannels) {
  Corvel host({"--path", CORVEL_JOURNAL_MONO_VST3});
  ASSERT_TRUE(host.serving()) << host.process->errors();
  EXPECT_THAT(host.process->output(), HasSubstr("(Journal Synth) outCh=1\n"));
  AudioBlock audio;
  ASSERT_TRUE(host.block->readBlock(kFrames, audio, 5s));
  EXPECT_THAT(audio.left, Each(0.25f));
  EXPECT_THAT(audio.right, Each(0.25f));
}

}  // namespace
}  // namespace corvel
