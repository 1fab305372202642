// corvel-render: renders a MIDI file (or a built-in phrase) through one
// plug-in hosted by a corvel process into a WAV file. A parent application in
// miniature, built on the client library.
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "client/child_process.h"
#include "client/client_block.h"
#include "tools/midi_file.h"
#include "tools/render_plan.h"
#include "tools/beside_this_tool.h"

namespace corvel {
namespace {

constexpr char kHelp[] =
    "usage: corvel-render --plugin <path> [options]\n"
    "Renders a standard MIDI file through one hosted plug-in into a 32-bit float stereo WAV file.\n"
    "  --plugin <path>      VST 3 bundle or .so (VST 2.x library with --vst2)\n"
    "  --vst2               the plug-in is a VST 2.x library\n"
    "  --midi <file>        standard MIDI file (default: a built-in phrase)\n"
    "  --out <file>         WAV file to write (default: out.wav)\n"
    "  --sr <rate>          sample rate in Hz (default: 44100)\n"
    "  --block <frames>     block size, 1-256 (default: 256)\n"
    "  --tail <seconds>     time rendered after the last MIDI event (default: 1)\n"
    "  --preset-in <file>   preset text applied at start-up\n"
    "  --preset-out <file>  write the plug-in's final preset text here\n"
    "  --host <path>        the corvel executable (default: next to this tool)\n"
    "  --spin-us <n>        host and this tool watch for each other for up to n µs\n"
    "                       before they sleep, yielding to any other work (default:\n"
    "                       50; 0 sleeps at once and leaves the core to others)\n"
    "  --verbose            show the host's log\n"
    "  --help               this text\n";

struct RenderOptions {
  std::string plugin, midi, out = "out.wav", presetIn, presetOut, host;
  bool vst2 = false, verbose = false;
  double sampleRate = 44100, tail = 1;
  // Offline, a block is due the moment the other side is done: watching for
  // it saves the two wake-ups of a sleep, which cost more than most plug-ins
  // take to render a block.
  uint32_t block = 256, spinMicroseconds = 50;
};

bool parse(int argc, char** argv, RenderOptions& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> std::string { return i + 1 < argc ? argv[++i] : ""; };
    if (arg == "--plugin") o.plugin = value();
    else if (arg == "--vst2") o.vst2 = true;
    else if (arg == "--midi") o.midi = value();
    else if (arg == "--out") o.out = value();
    else if (arg == "--sr") o.sampleRate = std::atof(value().c_str());
    else if (arg == "--block") o.block = static_cast<uint32_t>(std::atoi(value().c_str()));
    else if (arg == "--tail") o.tail = std::atof(value().c_str());
    else if (arg == "--preset-in") o.presetIn = value();
    else if (arg == "--preset-out") o.presetOut = value();
    else if (arg == "--host") o.host = value();
    else if (arg == "--spin-us") o.spinMicroseconds = static_cast<uint32_t>(std::atoi(value().c_str()));
    else if (arg == "--verbose") o.verbose = true;
    else return false;
  }
  return !o.plugin.empty() && o.block >= 1 && o.block <= kMaxBlockFrames && o.sampleRate > 0 && o.tail >= 0;
}

bool loadSong(const RenderOptions& o, MidiSong& song) {
  if (o.midi.empty()) {
    song = builtInPhrase();
    return true;
  }
  std::ifstream file(o.midi, std::ios::binary);
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), {});
  std::string error;
  if (file.bad() || bytes.empty() || !parseMidiFile(bytes, song, error)) {
    std::fprintf(stderr, "corvel-render: cannot read %s: %s\n", o.midi.c_str(), error.empty() ? "no data" : error.c_str());
    return false;
  }
  return true;
}

class Progress {
 public:
  explicit Progress(uint64_t total) : total(total), shown(isatty(STDERR_FILENO)) {}
  void update(uint64_t done) {
    const int percent = total ? static_cast<int>(done * 100 / total) : 100;
    if (!shown || percent == last) return;
    last = percent;
    std::fprintf(stderr, "\r[%-40s] %3d%%", std::string(static_cast<size_t>(percent * 40 / 100), '#').c_str(), percent);
    if (done == total) std::fputc('\n', stderr);
  }

 private:
  uint64_t total;
  bool shown;
  int last = -1;
};

struct Levels {
  double sumSquares = 0;
  float peak = 0;
  void add(const float* samples, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i) {
      sumSquares += double{samples[i]} * samples[i];
      peak = std::max(peak, std::fabs(samples[i]));
    }
  }
};

float blockPeak(const float* left, const float* right, uint32_t n) {
  float peak = 0;
  for (uint32_t i = 0; i < n; ++i) peak = std::max({peak, std::fabs(left[i]), std::fabs(right[i])});
  return peak;
}

std::vector<std::string> hostArguments(const RenderOptions& o, const std::string& shm) {
  std::vector<std::string> args{"--shm", shm, "--path", o.plugin, "--sr", std::to_string(o.sampleRate),
                                "--block", std::to_string(o.block), "--parent", std::to_string(getpid()), "--open"};
  if (o.vst2) args.push_back("--vst2");
  args.insert(args.end(), {"--spin-us", std::to_string(o.spinMicroseconds)});
  if (!o.presetIn.empty()) args.insert(args.end(), {"--presetfile", o.presetIn});
  return args;
}

int render(const RenderOptions& o) {
  MidiSong song;
  if (!loadSong(o, song)) return 1;
  const std::string shm = "corvel-render-" + std::to_string(getpid());
  auto block = ClientBlock::create(shm);
  if (!block) return std::fprintf(stderr, "corvel-render: cannot create shared block %s\n", shm.c_str()), 1;
  block->setWaitPolicy(WaitPolicy{true, std::chrono::microseconds(o.spinMicroseconds)});
  const std::string hostPath = o.host.empty() ? besideThisTool("corvel") : o.host;
  auto host = ChildProcess::spawn({hostPath, hostArguments(o, shm), {}});
  if (!host) return std::fprintf(stderr, "corvel-render: cannot start %s\n", hostPath.c_str()), 1;
  auto fail = [&](const char* why) {
    host->kill(SIGTERM);
    host->waitExit(std::chrono::seconds(5));
    std::fprintf(stderr, "corvel-render: %s\n%s%s", why, host->output().c_str(), host->errors().c_str());
    return 1;
  };
  // The host's first block is rendered before any MIDI can reach it: take it
  // as pre-roll, so every later batch lands at the start of its own block.
  if (!block->waitForRender(0, std::chrono::seconds(20))) return fail("the host did not start rendering");

  const auto started = std::chrono::steady_clock::now();
  SF_INFO info{};
  info.samplerate = static_cast<int>(o.sampleRate);
  info.channels = 2;
  info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  SNDFILE* wav = sf_open(o.out.c_str(), SFM_WRITE, &info);
  if (!wav) return fail(sf_strerror(nullptr));

  RenderPlan plan(song, o.sampleRate, o.block, o.tail);
  Progress progress(plan.blockCount());
  Levels levels;
  ShmBlock& raw = block->raw();
  uint32_t buffer = loadAcquire(raw.frontIndex) & 1;
  uint32_t taken = block->renderCount();
  plan.blockRendered(blockPeak(raw.outLeft[buffer], raw.outRight[buffer], o.block));
  std::vector<float> interleaved(2 * o.block);
  for (uint64_t index = 0; index < plan.blockCount(); ++index) {
    const auto batch = plan.takeBatch(index);
    if (!batch.empty() && !block->writeMidi(batch, std::chrono::seconds(5))) return sf_close(wav), fail("the host stopped taking MIDI");
    plan.noteSent(batch);
    const bool rendered = !plan.hostIdle();
    block->acknowledge(buffer);
    if (rendered) {
      if (!block->waitForRender(taken, std::chrono::seconds(10))) return sf_close(wav), fail("the host stopped rendering");
      taken = block->renderCount();
      buffer = loadAcquire(raw.frontIndex) & 1;
      plan.blockRendered(blockPeak(raw.outLeft[buffer], raw.outRight[buffer], o.block));
    }
    for (uint32_t i = 0; i < o.block; ++i) {
      interleaved[2 * i] = rendered ? raw.outLeft[buffer][i] : 0.0f;
      interleaved[2 * i + 1] = rendered ? raw.outRight[buffer][i] : 0.0f;
    }
    levels.add(interleaved.data(), 2 * o.block);
    sf_writef_float(wav, interleaved.data(), o.block);
    progress.update(index + 1);
  }
  sf_close(wav);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

  if (!o.presetOut.empty()) std::ofstream(o.presetOut, std::ios::binary) << block->readPublishedPreset();
  host->kill(SIGTERM);
  host->waitExit(std::chrono::seconds(5));
  if (o.verbose) std::fprintf(stderr, "%s%s", host->output().c_str(), host->errors().c_str());
  const double audioSeconds = static_cast<double>(plan.frameCount()) / o.sampleRate;
  const double rms = plan.frameCount() ? std::sqrt(levels.sumSquares / (2.0 * plan.frameCount())) : 0.0;
  std::printf("%s: %llu frames (%.2f s), peak %.4f, RMS %.4f, rendered in %.2f s (%.1fx realtime)\n", o.out.c_str(),
              static_cast<unsigned long long>(plan.frameCount()), audioSeconds, levels.peak, rms, seconds,
              seconds > 0 ? audioSeconds / seconds : 0.0);
  return 0;
}

}  // namespace
}  // namespace corvel

int main(int argc, char** argv) {
  corvel::RenderOptions options;
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "--help") == 0) return std::fputs(corvel::kHelp, stdout), 0;
  if (!corvel::parse(argc, argv, options)) return std::fputs(corvel::kHelp, stderr), 2;
  return corvel::render(options);
}
