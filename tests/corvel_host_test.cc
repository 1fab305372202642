// The real corvel process with both adapters: the SDK's mda instrument
// through VST 3, our fixture synth through VST 2, and the load failures.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/support/corvel_session.h"

namespace corvel {
namespace {

using namespace std::chrono_literals;

const std::string kMda = std::string(CORVEL_VST3_SAMPLES) + "/mda-vst3.vst3";

TEST(CorvelVst3, PlaysTheMdaInstrumentAndRoundTripsItsPresetThroughAPresetFile) {
  Corvel first({"--path", kMda});
  ASSERT_TRUE(first.serving()) << first.process->output() << first.process->errors();
  EXPECT_NE(first.process->output().find("[Vst3Instrument] loaded " + kMda + " (mda "), std::string::npos);
  ASSERT_GE(first.peakOf(1), 0.0f);  // the first block is rendered before any MIDI
  ASSERT_TRUE(first.noteOn(60));
  EXPECT_GT(first.peakOf(20), 0.01f);
  const std::string preset = first.block->readPublishedPreset();
  ASSERT_GT(preset.size(), 100u);

  const std::string file = std::filesystem::temp_directory_path() / (first.name + ".preset");
  std::ofstream(file, std::ios::binary) << preset;
  Corvel second({"--path", kMda, "--presetfile", file});
  ASSERT_TRUE(second.serving());
  EXPECT_NE(second.process->output().find("[corvel] preset restored from " + file + " (" +
                                          std::to_string(preset.size()) + "B)\n"),
            std::string::npos);
  EXPECT_EQ(second.block->readPublishedPreset(), preset);
  std::filesystem::remove(file);
}

TEST(CorvelVst2, PlaysTheFixtureSynthAndObeysCommands) {
  Corvel host({"--vst2", "--path", VST2_FIXTURE_SYNTH});
  ASSERT_TRUE(host.serving()) << host.process->errors();
  ASSERT_TRUE(host.noteOn(64));
  EXPECT_GT(host.peakOf(4), 0.0f);
  // No display here: OPEN_GUI finds no window and is dropped silently.
  ASSERT_TRUE(host.block->sendCommands({kCommandOpenGui, kCommandAllNotesOff}, 5s));
  ASSERT_TRUE(host.process->waitForOutput("[corvel] ALL_NOTES_OFF ch=7\n", 5s));
  EXPECT_EQ(host.process->output().find("OPEN_GUI"), std::string::npos);
  AudioBlock audio;
  host.block->readBlock(256, audio, 1s);  // releases a host waiting for its acknowledgement
  ASSERT_TRUE(host.block->sendCommands({kCommandQuit}, 5s));
  EXPECT_EQ(host.process->waitExit(10s), 0);
}

// Debian's own VST 2 builds: Nekobi (one output, no chunk) and amsynth
// (stereo, chunk presets). Their editors are never opened here.
// Chunk round trips are covered in-process with the fixture synth.
TEST(CorvelVst2, RealDebianInstrumentsPlayAndAmsynthPublishesItsChunk) {
  Corvel nekobi({"--vst2", "--path", "/usr/lib/vst/Nekobi-vst.so"});
  ASSERT_TRUE(nekobi.serving()) << nekobi.process->errors();
  nekobi.peakOf(1);
  ASSERT_TRUE(nekobi.noteOn(48));
  EXPECT_GT(nekobi.peakOf(20), 0.01f);

  Corvel amsynth({"--vst2", "--path", "/usr/lib/vst/amsynth_vst.so"});
  ASSERT_TRUE(amsynth.serving()) << amsynth.process->errors();
  amsynth.peakOf(1);
  ASSERT_TRUE(amsynth.noteOn(60));
  EXPECT_GT(amsynth.peakOf(20), 0.01f);
  const std::string chunk = amsynth.block->readPublishedPreset();
  ASSERT_GT(chunk.size(), 1000u);
}

TEST(CorvelLoadFailures, EndWithExitFourAndTheAdaptersReason) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"--path", "/nonexistent.vst3"}, "[Vst3Instrument] Module::create failed: "},
      {{"--vst2", "--path", "/nonexistent.so"}, "[Vst2Instrument] LoadLibraryA failed: /nonexistent.so (err="},
      {{"--vst2", "--path", VST2_FIXTURE_NO_ENTRY}, "[Vst2Instrument] no VSTPluginMain/main export: "},
  };
  for (const auto& [args, reason] : cases) {
    Corvel host(args);
    ASSERT_EQ(host.process->waitExit(20s), 4);
    EXPECT_NE(host.process->errors().find(reason), std::string::npos) << host.process->errors();
    EXPECT_NE(host.process->output().find("[corvel] loadPlugin failed\n"), std::string::npos);
  }
}

}  // namespace
}  // namespace corvel
