// corvel-render end to end, with the fake-instrument host standing in for
// corvel: the WAV it writes must have the song's length and the levels the
// song's controller 7 asks the fake instrument for.
#include <sndfile.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <thread>

#include "client/child_process.h"
#include "tools/host_block_path.h"

namespace corvel {
namespace {

struct Wav {
  SF_INFO info{};
  std::vector<float> samples;
};

Wav readWav(const std::string& path) {
  Wav wav;
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &wav.info);
  if (!file) return wav;
  wav.samples.resize(static_cast<size_t>(wav.info.frames * wav.info.channels));
  sf_readf_float(file, wav.samples.data(), wav.info.frames);
  sf_close(file);
  return wav;
}

// A scratch folder that doubles as HOME (with the folders real plug-ins
// write to), removed even when the test fails.
struct ScratchDir {
  explicit ScratchDir(const std::string& tag)
      : path(std::filesystem::temp_directory_path() / ("corvel-render-" + tag + "-" + std::to_string(getpid()))) {
    std::filesystem::create_directories(path / ".config");
    std::filesystem::create_directories(path / ".local/share");
  }
  ~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
  std::string operator/(const std::string& name) const { return (path / name).string(); }
  std::filesystem::path path;
};

TEST(CorvelRender, WritesTheWholeSongAtTheRequestedFormat) {
  const ScratchDir scratch("fake");
  auto render = ChildProcess::spawn({CORVEL_RENDER_PATH,
                                     {"--plugin", "fake", "--host", CORVEL_FAKEHOST_PATH, "--midi", CORVEL_DEMO_MIDI,
                                      "--out", scratch / "out.wav", "--sr", "48000", "--block", "128", "--tail", "0.5",
                                      "--preset-out", scratch / "preset.txt"},
                                     {}});
  ASSERT_TRUE(render);
  ASSERT_EQ(render->waitExit(std::chrono::seconds(60)), 0) << render->errors();
  EXPECT_NE(render->output().find("out.wav: "), std::string::npos);

  const Wav wav = readWav(scratch / "out.wav");
  EXPECT_EQ(wav.info.samplerate, 48000);
  EXPECT_EQ(wav.info.channels, 2);
  // The demo's last event is at 9.575 s (100 BPM, 16 beats less 20 ticks).
  const double expectedFrames = std::ceil((9.6 - 20 * 0.6 / 480 + 0.5) * 48000 / 128) * 128;
  EXPECT_EQ(wav.info.frames, static_cast<sf_count_t>(expectedFrames));
  ASSERT_FALSE(wav.samples.empty());
  // Controller 7 = 100 arrives with the first block and sets the fake level.
  EXPECT_FLOAT_EQ(wav.samples[0], 100.0f / 127.0f);
  EXPECT_FLOAT_EQ(wav.samples.back(), 100.0f / 127.0f);

  std::ifstream preset(scratch / "preset.txt");
  std::string text((std::istreambuf_iterator<char>(preset)), {});
  EXPECT_EQ(text.rfind("fake:", 0), 0u);
}

#ifdef CORVEL_PATH
struct DebianInstrument {
  const char* name;
  const char* path;
};

class CorvelRenderVst2 : public ::testing::TestWithParam<DebianInstrument> {};

// The built-in phrase through the real host and one of Debian's VST 2
// builds, without a display; Nekobi's single output reaches both channels.
TEST_P(CorvelRenderVst2, RendersTheBuiltInPhraseAudiblyAtItsLength) {
  const std::string plugin = GetParam().path;
  if (!std::filesystem::exists(plugin)) GTEST_SKIP() << plugin << " is not installed";
  const ScratchDir scratch(GetParam().name);
  auto render = ChildProcess::spawn({CORVEL_RENDER_PATH,
                                     {"--plugin", plugin, "--vst2", "--host", CORVEL_PATH, "--out",
                                      scratch / "out.wav", "--tail", "0.5"},
                                     {"HOME=" + scratch.path.string(), "DISPLAY="}});
  ASSERT_TRUE(render);
  ASSERT_EQ(render->waitExit(std::chrono::seconds(120)), 0) << render->errors();

  const Wav wav = readWav(scratch / "out.wav");
  EXPECT_EQ(wav.info.samplerate, 44100);
  ASSERT_EQ(wav.info.channels, 2);
  // 2 s of phrase and 0.5 s of tail, in whole blocks of 256 frames.
  EXPECT_EQ(wav.info.frames, static_cast<sf_count_t>(std::ceil(2.5 * 44100 / 256) * 256));
  float peaks[2] = {0, 0};
  for (size_t i = 0; i < wav.samples.size(); ++i) peaks[i % 2] = std::max(peaks[i % 2], std::fabs(wav.samples[i]));
  EXPECT_GT(peaks[0], 0.01f);
  EXPECT_GT(peaks[1], 0.01f);
}

INSTANTIATE_TEST_SUITE_P(Debian, CorvelRenderVst2,
                         ::testing::Values(DebianInstrument{"Nekobi", "/usr/lib/vst/Nekobi-vst.so"},
                                           DebianInstrument{"amsynth", "/usr/lib/vst/amsynth_vst.so"}),
                         [](const auto& info) { return std::string(info.param.name); });

float peakOf(const Wav& wav) {
  float peak = 0;
  for (const float sample : wav.samples) peak = std::max(peak, std::fabs(sample));
  return peak;
}

// Five jobs, two at a time. The plug-in of line 3 faults at its first note:
// that job is named and leaves no WAV, and the others are written whole.
TEST(CorvelRenderBatch, ReportsAFaultingJobAndFinishesTheOthers) {
  const ScratchDir scratch("batch");
  const std::string mda = std::string(CORVEL_VST3_SAMPLES) + "/mda-vst3.vst3";
  const std::string outs[] = {scratch / "a.wav", scratch / "b.wav", scratch / "c.wav", scratch / "d.wav",
                              scratch / "e.wav"};
  std::ofstream(scratch / "jobs.jsonl")
      << "{\"plugin\": \"" << mda << "\", \"out\": \"" << outs[0] << "\", \"seconds\": 1}\n"
      << "{\"plugin\": \"" << VST2_FIXTURE_SYNTH << "\", \"vst2\": true, \"out\": \"" << outs[1]
      << "\", \"seconds\": 1, \"sr\": 48000}\n"
      << "{\"plugin\": \"" << VST2_FIXTURE_FAULT_IN_PROCESS << "\", \"vst2\": true, \"out\": \"" << outs[2]
      << "\", \"seconds\": 1}\n"
      << "{\"plugin\": \"" << mda << "\", \"out\": \"" << outs[3] << "\", \"seconds\": 1, \"sr\": 48000}\n"
      << "{\"plugin\": \"" << mda << "\", \"out\": \"" << outs[4] << "\", \"midi\": \"" << CORVEL_DEMO_MIDI
      << "\", \"seconds\": 1}\n";
  auto render = ChildProcess::spawn({CORVEL_RENDER_PATH,
                                     {"--jobs", scratch / "jobs.jsonl", "-j", "2", "--host", CORVEL_PATH},
                                     {"HOME=" + scratch.path.string(), "DISPLAY="}});
  ASSERT_TRUE(render);
  ASSERT_EQ(render->waitExit(std::chrono::seconds(120)), 1) << render->errors();
  EXPECT_NE(render->errors().find("job on line 3 (" + outs[2] + ") failed: "), std::string::npos) << render->errors();
  EXPECT_NE(render->output().find("4 done, 1 failed"), std::string::npos) << render->output();
  EXPECT_FALSE(std::filesystem::exists(outs[2]));
  for (const int i : {0, 1, 3, 4}) {
    const Wav wav = readWav(outs[i]);
    EXPECT_EQ(wav.info.frames, static_cast<sf_count_t>(std::ceil(wav.info.samplerate / 256.0) * 256)) << outs[i];
    EXPECT_GT(peakOf(wav), 0.01f) << outs[i];
  }
}
#endif

TEST(CorvelRender, ExplainsItselfAndRefusesBadOptions) {
  auto help = ChildProcess::spawn({CORVEL_RENDER_PATH, {"--help"}, {}});
  ASSERT_EQ(help->waitExit(std::chrono::seconds(10)), 0);
  EXPECT_EQ(help->output().rfind("usage: corvel-render", 0), 0u);
  auto bad = ChildProcess::spawn({CORVEL_RENDER_PATH, {"--plugin", "x", "--block", "300"}, {}});
  EXPECT_EQ(bad->waitExit(std::chrono::seconds(10)), 2);
}

// Each number is read whole, finite and in range, and a refusal names the
// option and leaves no WAV file behind.
TEST(CorvelRender, RefusesEveryBadNumberByName) {
  const ScratchDir scratch("numbers");
  const std::vector<std::pair<std::string, std::string>> bad{
      {"--sr", "1e300"}, {"--sr", "44100x"}, {"--tail", "inf"}, {"--tail", "1e30"}, {"--block", "1.5"},
      {"--spin-us", "-1"}};
  for (const auto& [option, value] : bad) {
    auto render = ChildProcess::spawn(
        {CORVEL_RENDER_PATH, {"--plugin", "fake", "--host", CORVEL_FAKEHOST_PATH, "--out", scratch / "out.wav", option, value}, {}});
    EXPECT_EQ(render->waitExit(std::chrono::seconds(10)), 2) << option << " " << value;
    EXPECT_NE(render->errors().find(option + " takes a"), std::string::npos) << render->errors();
  }
  EXPECT_FALSE(std::filesystem::exists(scratch / "out.wav"));
}

// A valid file whose one note lies some 140 years in: slowest tempo, one tick
// per quarter, the longest delta time.
TEST(CorvelRender, RefusesARenderLongerThanADay) {
  const ScratchDir scratch("long");
  const unsigned char bytes[] = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 1, 'M', 'T', 'r', 'k', 0, 0, 0, 14,
                                 0x00, 0xFF, 0x51, 0x03, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0x90, 60, 100};
  std::ofstream(scratch / "long.mid", std::ios::binary).write(reinterpret_cast<const char*>(bytes), sizeof bytes);
  auto render = ChildProcess::spawn({CORVEL_RENDER_PATH,
                                     {"--plugin", "fake", "--host", CORVEL_FAKEHOST_PATH, "--midi", scratch / "long.mid",
                                      "--out", scratch / "out.wav", "--block", "1"},
                                     {}});
  EXPECT_EQ(render->waitExit(std::chrono::seconds(10)), 1);
  EXPECT_NE(render->errors().find("more than the 86400 s"), std::string::npos) << render->errors();
  EXPECT_FALSE(std::filesystem::exists(scratch / "out.wav"));
}

// The host dies mid-render: the tool says how within a round of its waits
// and leaves neither the partial WAV nor the shared block.
TEST(CorvelRender, GivesUpAtOnceWhenTheHostDies) {
  const ScratchDir scratch("killed");
  auto render = ChildProcess::spawn({CORVEL_RENDER_PATH,
                                     {"--plugin", "fake", "--host", CORVEL_FAKEHOST_PATH, "--out", scratch / "out.wav",
                                      "--sr", "1000000", "--tail", "3600"},
                                     {}});
  ASSERT_TRUE(render);
  const auto started = std::chrono::steady_clock::now();
  while (!std::filesystem::exists(scratch / "out.wav") && std::chrono::steady_clock::now() - started < std::chrono::seconds(20))
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  std::ifstream children("/proc/" + std::to_string(render->pid()) + "/task/" + std::to_string(render->pid()) + "/children");
  int host = 0;
  ASSERT_TRUE(children >> host);
  const std::string block = hostBlockPath(host, std::chrono::seconds(5));
  ASSERT_NE(block, "");
  ::kill(host, SIGKILL);
  EXPECT_EQ(render->waitExit(std::chrono::seconds(1)), 1);
  EXPECT_NE(render->errors().find("killed by signal 9"), std::string::npos) << render->errors();
  EXPECT_FALSE(std::filesystem::exists(scratch / "out.wav"));
  EXPECT_FALSE(std::filesystem::exists(block));
}

}  // namespace
}  // namespace corvel
