// The real corvel process with both adapters: the SDK's mda instrument
// through VST 3, our fixture synths and Debian's instruments through VST 2,
// and the load failures.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>

#include "client/wait_until.h"
#include "tests/fixtures/vst2/fixture_report.h"
#include "tests/support/audio_taker.h"
#include "tests/support/corvel_session.h"
#include "tests/support/fixture_report_reader.h"

namespace corvel {
namespace {

using namespace std::chrono_literals;

const std::string kMda = std::string(CORVEL_VST3_SAMPLES) + "/mda-vst3.vst3";

// The fixture's report, which is its chunk, as the host last published it.
fixture::FixtureReport publishedReport(const ClientBlock& block) {
  return decodeFixtureReport(block.readPublishedPreset());
}

// Another fixture variant, beside the synth and with its file suffix.
std::string fixtureVariant(const std::string& variant) {
  std::string path = VST2_FIXTURE_SYNTH;
  const std::string synth = "synth";
  return path.replace(path.rfind(synth), synth.size(), variant);
}

TEST(CorvelVst3, PlaysTheMdaInstrumentAndRoundTripsItsPresetThroughAPresetFile) {
  Corvel first({"--path", kMda});
  ASSERT_TRUE(first.serving()) << first.process->output() << first.process->errors();
  EXPECT_NE(first.process->output().find("[Vst3Instrument] loaded " + kMda + " (mda "), std::string::npos);
  ASSERT_GE(first.peakOf(1), 0.0f);  // the first block is rendered before any MIDI
  ASSERT_TRUE(first.noteOn(60));
  EXPECT_GT(first.peakOf(20), 0.01f);
  const std::string preset = first.block->readPublishedPreset();
  ASSERT_GT(preset.size(), 100u);

  const std::string file = first.presetFile();
  std::ofstream(file, std::ios::binary) << preset;
  Corvel second({"--path", kMda, "--presetfile", file});
  ASSERT_TRUE(second.serving());
  EXPECT_NE(second.process->output().find("[corvel] preset restored from " + file + " (" +
                                          std::to_string(preset.size()) + "B)\n"),
            std::string::npos);
  EXPECT_EQ(second.block->readPublishedPreset(), preset);
}

// Every command of VST 2 mode while a note plays. Without a display
// OPEN_GUI finds no window and is dropped silently; under Wine every process
// has the test's display, so the window exists and the command is logged.
// CLOSE_GUI has nothing to close; the panic of ALL_NOTES_OFF ends with a
// note-off for note 127, which the fixture's level then carries.
TEST(CorvelVst2, ObeysEveryCommandWhileTheAudioKeepsComing) {
  Corvel host({"--vst2", "--path", VST2_FIXTURE_SYNTH});
  ASSERT_TRUE(host.serving()) << host.process->errors();
  ASSERT_TRUE(host.noteOn(64));
  AudioTaker audio(*host.block);
  const uint8_t noteOn[] = {0x90, 64};
  ASSERT_TRUE(audio.waitForLevel(fixture::encodeLevel(0, noteOn), 10s));

  ASSERT_TRUE(host.block->sendCommands({kCommandOpenGui, kCommandCloseGui, kCommandAllNotesOff}, 5s));
  ASSERT_TRUE(host.process->waitForOutput("[corvel] panic after preset ch=7\n[corvel] ALL_NOTES_OFF ch=7\n", 10s));
  const uint8_t lastPanicNoteOff[] = {0x80, 127};
  EXPECT_TRUE(audio.waitForLevel(fixture::encodeLevel(0, lastPanicNoteOff), 10s));
#ifdef _WIN32
  EXPECT_NE(host.process->output().find("[corvel] OPEN_GUI ch=7\n"), std::string::npos) << host.process->output();
#else
  EXPECT_EQ(host.process->output().find("OPEN_GUI"), std::string::npos) << host.process->output();
#endif
  EXPECT_EQ(host.process->errors().find("EXCEPTION"), std::string::npos) << host.process->errors();

  ASSERT_TRUE(host.block->sendCommands({kCommandQuit}, 5s));
  EXPECT_EQ(host.process->waitExit(10s), 0) << host.process->errors();
}

// The fixture's own thread asks for the time, rate, block size and id all
// the while corvel renders (as LSP's do). The fixture counts wrong or torn
// answers into its report, which the host republishes every 200 passes.
TEST(CorvelVst2, PluginThreadCallingBackWhileRenderingSeesConsistentTime) {
  Corvel host({"--vst2", "--path", fixtureVariant("callback_thread")});
  ASSERT_TRUE(host.serving()) << host.process->errors();
  ASSERT_TRUE(host.noteOn(60));
  EXPECT_GT(host.peakOf(450), 0.0f);
  ASSERT_TRUE(host.process->waitForOutput("[corvel] preset republished ch=7 (", 10s));
  const auto report = publishedReport(*host.block);
  EXPECT_GT(report.processCalls, 200u);
  EXPECT_GT(report.foreignRequests, 0u);
  EXPECT_EQ(report.foreignMismatches, 0u);
  EXPECT_EQ(report.timeMismatches, 0u);

  // effClose joins the plug-in's thread while it may be inside the callback.
  AudioTaker audio(*host.block);
  ASSERT_TRUE(host.block->sendCommands({kCommandQuit}, 5s));
  EXPECT_EQ(host.process->waitExit(20s), 0) << host.process->errors();
}

// The line a fault ends the host with, if it wrote one.
std::string fatalLineOf(const std::string& output) {
  const size_t start = output.find("[corvel] fatal signal ");
  return start == std::string::npos ? "" : output.substr(start, output.find('\n', start) - start);
}

// processReplacing is not guarded: its fault ends the host, which names the
// fixture and removes the block it created; the parent, which only sees the
// block, notices the heartbeat standing still.
TEST(CorvelVst2, FaultInAnUnguardedCallIsNamedRemovesTheBlockAndStopsTheHeartbeat) {
  const std::string fixture = fixtureVariant("fault_in_process");
  Corvel host({"--vst2", "--path", fixture}, "", BlockCreator::kHost);
  ASSERT_TRUE(host.block);
  ASSERT_TRUE(host.serving()) << host.process->errors();
  const uint32_t beat = host.block->heartbeat();
  ASSERT_TRUE(waitUntil([&] { return host.block->heartbeat() != beat; }, 5s));
  ASSERT_TRUE(host.noteOn(60));  // the fixture faults in the next block
  AudioTaker audio(*host.block);
  EXPECT_TRUE(host.block->waitForHeartbeatStop(1s, 30s));
  const auto exit = host.process->waitExit(10s);
  ASSERT_TRUE(exit.has_value());
  const std::string line = fatalLineOf(host.process->output());
  EXPECT_TRUE(line.starts_with("[corvel] fatal signal 11 (SIGSEGV) at 0x")) << host.process->output();
  EXPECT_TRUE(line.ends_with(fixture.substr(fixture.rfind('/') + 1) + " ch=7")) << line;
#ifdef _WIN32
  // The unhandled exception's code, as Windows reports it; Wine does the same
  // once its crash dialog is disabled. The section goes with its last handle.
  EXPECT_EQ(static_cast<uint32_t>(*exit), 0xC0000005u) << "STATUS_ACCESS_VIOLATION";
#else
  EXPECT_FALSE(std::filesystem::exists("/dev/shm/" + host.name));
#ifdef __SANITIZE_ADDRESS__
  EXPECT_NE(*exit, 0) << "the sanitizer reports the fault after the line and exits";
#else
  EXPECT_EQ(*exit, -SIGSEGV) << "died of the signal itself";
#endif
#endif
}

// Debian's own VST 2 builds: Nekobi (one output, no chunk) and amsynth
// (stereo, chunk presets; its setChunk reads the chunk up to a zero byte).
// Their editors are never opened here.
TEST(CorvelVst2, RealDebianInstrumentsPlayAndAmsynthRoundTripsItsChunk) {
#ifdef _WIN32
  GTEST_SKIP() << "Debian's builds are Linux modules";
#endif
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

  AudioTaker audio(*amsynth.block);
  EXPECT_EQ(amsynth.block->pushPreset(chunk, 10s), PresetOutcome::kTaken);
  EXPECT_TRUE(amsynth.process->waitForOutput("B)\n[corvel] preset applied from SHM ch=7 (" +
                                                 std::to_string(chunk.size()) + "B)\n[corvel] panic after preset ch=7\n",
                                             10s))
      << amsynth.process->errors();
  EXPECT_NE(amsynth.process->output().find("[Vst2Instrument] preset restored ch=7 ("), std::string::npos);
  EXPECT_EQ(amsynth.block->readPublishedPreset(), chunk);
}

// What a parent hears from the adapters' first blocks and batches: a note
// written before the first block, chords and panics in VST 2 mode.

// The first block carries the start-up panic beside the note. mda DX10
// holds 64 events a block and read past them when the panic's 128 untracked
// note-offs came too: NaN in some starts, near silence in the others.
TEST(CorvelFirstBlock, MdaPlaysANoteWrittenBeforeTheFirstBlockInEveryStart) {
  for (int start = 0; start < 8; ++start) {
    Corvel host({"--path", kMda, "--sr", "48000", "--block", "128"});
    ASSERT_EQ(host.block->renderCount(), 0u);
    ASSERT_TRUE(host.noteOn(60));
    ASSERT_TRUE(host.serving()) << host.process->errors();
    const Heard heard = host.listen(40, 128);
    EXPECT_EQ(heard.blocks, 40) << "start " << start;
    EXPECT_TRUE(heard.finite) << "start " << start;
    EXPECT_GT(heard.peak, 0.05f) << "start " << start;
  }
}

// A plug-in whose output turns NaN would silence the parent's whole mix: the
// host sends silence instead and resets the plug-in, which then plays again.
TEST(CorvelNonFinite, PoisonedOutputGoesOutAsSilenceUntilTheResetCuresThePlugin) {
  Corvel host({"--vst2", "--path", fixtureVariant("poison_note")});
  ASSERT_TRUE(host.serving()) << host.process->errors();
  ASSERT_TRUE(host.noteOn(100));  // the fixture's poison
  const Heard poisoned = host.listen(2, 256);
  EXPECT_TRUE(poisoned.finite);
  EXPECT_TRUE(host.process->waitForOutput("[corvel] non-finite samples silenced ch=7\n", 5s));
  EXPECT_TRUE(host.process->waitForOutput("[corvel] plug-in reset after non-finite output ch=7\n", 5s));
  ASSERT_TRUE(host.noteOn(60));
  const Heard cured = host.listen(5, 256);
  EXPECT_TRUE(cured.finite);
  EXPECT_GT(cured.peak, 0.0f);
}

#ifndef _WIN32
const std::string kAmsynth = "/usr/lib/vst/amsynth_vst.so";

// amsynth keeps only the last batch of events before each block: a chord
// sent message by message sounded as its last note, and the panic's
// note-offs released only note 127.
TEST(CorvelVst2Batches, AmsynthHearsTheWholeChordAndThePanicSilencesIt) {
  Corvel single({"--vst2", "--path", kAmsynth});
  Corvel chord({"--vst2", "--path", kAmsynth});
  ASSERT_TRUE(single.serving()) << single.process->errors();
  ASSERT_TRUE(chord.serving()) << chord.process->errors();
  // Soft notes: loud ones drive amsynth's output into saturation, where a
  // chord is hardly louder than one note.
  auto note = [](uint8_t pitch) { return ShmMidiEvent{kMidiNoteOn, 0, pitch, 10, 0, 0, {}}; };
  ASSERT_TRUE(single.block->writeMidi({note(67)}, 5s));
  ASSERT_TRUE(chord.block->writeMidi({note(60), note(64), note(67)}, 5s));
  const double alone = single.listen(40, 256).rms;
  const Heard held = chord.listen(40, 256);
  EXPECT_GT(alone, 0.01);
  EXPECT_GT(held.rms, 1.5 * alone);

  {
    AudioTaker audio(*chord.block);
    ASSERT_TRUE(chord.block->sendCommands({kCommandAllNotesOff}, 5s));
    ASSERT_TRUE(chord.process->waitForOutput("[corvel] ALL_NOTES_OFF ch=7\n", 10s));
  }
  chord.listen(345, 256);  // two seconds of release
  EXPECT_LT(chord.listen(20, 256).peak, 0.1f * held.peak);
}
#endif

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
