// corvel-render end to end, with the fake-instrument host standing in for
// corvel: the WAV it writes must have the song's length and the levels the
// song's controller 7 asks the fake instrument for.
#include <sndfile.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "client/child_process.h"

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

TEST(CorvelRender, WritesTheWholeSongAtTheRequestedFormat) {
  const std::string dir = std::filesystem::temp_directory_path() / ("corvel-render-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  auto render = ChildProcess::spawn({CORVEL_RENDER_PATH,
                                     {"--plugin", "fake", "--host", CORVEL_FAKEHOST_PATH, "--midi", CORVEL_DEMO_MIDI,
                                      "--out", dir + "/out.wav", "--sr", "48000", "--block", "128", "--tail", "0.5",
                                      "--preset-out", dir + "/preset.txt"},
                                     {}});
  ASSERT_TRUE(render);
  ASSERT_EQ(render->waitExit(std::chrono::seconds(60)), 0) << render->errors();
  EXPECT_NE(render->output().find("out.wav: "), std::string::npos);

  const Wav wav = readWav(dir + "/out.wav");
  EXPECT_EQ(wav.info.samplerate, 48000);
  EXPECT_EQ(wav.info.channels, 2);
  // The demo's last event is at 9.575 s (100 BPM, 16 beats less 20 ticks).
  const double expectedFrames = std::ceil((9.6 - 20 * 0.6 / 480 + 0.5) * 48000 / 128) * 128;
  EXPECT_EQ(wav.info.frames, static_cast<sf_count_t>(expectedFrames));
  ASSERT_FALSE(wav.samples.empty());
  // Controller 7 = 100 arrives with the first block and sets the fake level.
  EXPECT_FLOAT_EQ(wav.samples[0], 100.0f / 127.0f);
  EXPECT_FLOAT_EQ(wav.samples.back(), 100.0f / 127.0f);

  std::ifstream preset(dir + "/preset.txt");
  std::string text((std::istreambuf_iterator<char>(preset)), {});
  EXPECT_EQ(text.rfind("fake:", 0), 0u);
  std::filesystem::remove_all(dir);
}

TEST(CorvelRender, ExplainsItselfAndRefusesBadOptions) {
  auto help = ChildProcess::spawn({CORVEL_RENDER_PATH, {"--help"}, {}});
  ASSERT_EQ(help->waitExit(std::chrono::seconds(10)), 0);
  EXPECT_EQ(help->output().rfind("usage: corvel-render", 0), 0u);
  auto bad = ChildProcess::spawn({CORVEL_RENDER_PATH, {"--plugin", "x", "--block", "300"}, {}});
  EXPECT_EQ(bad->waitExit(std::chrono::seconds(10)), 2);
}

}  // namespace
}  // namespace corvel
