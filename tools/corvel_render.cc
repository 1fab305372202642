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
#include <optional>
#include <string>
#include <type_traits>

#include "client/child_process.h"
#include "corvel/client_block.h"
#include "host/block_scan.h"
#include "host/host_options.h"
#include "tools/beside_this_tool.h"
#include "tools/midi_file.h"
#include "tools/number_text.h"
#include "tools/render_plan.h"

namespace corvel {
namespace {

constexpr char kHelp[] =
    "usage: corvel-render --plugin <path> [options]\n"
    "Renders a standard MIDI file through one hosted plug-in into a 32-bit float stereo WAV file\n"
    "of at most 24 hours.\n"
    "  --plugin <path>      VST 3 bundle or .so (VST 2.x library with --vst2)\n"
    "  --vst2               the plug-in is a VST 2.x library\n"
    "  --midi <file>        standard MIDI file (default: a built-in phrase)\n"
    "  --out <file>         WAV file to write (default: out.wav)\n"
    "  --sr <rate>          sample rate in Hz, 1000-1000000 (default: 44100)\n"
    "  --block <frames>     block size, 1-256 (default: 256)\n"
    "  --tail <seconds>     time rendered after the last MIDI event, 0-3600 (default: 1)\n"
    "  --preset-in <file>   preset text applied at start-up\n"
    "  --preset-out <file>  write the plug-in's final preset text here\n"
    "  --host <path>        the corvel executable (default: next to this tool)\n"
    "  --spin-us <n>        host and this tool watch for each other for up to n µs\n"
    "                       (0-1000000) before they sleep, yielding to any other\n"
    "                       work (default: 50; 0 sleeps at once and leaves the core\n"
    "                       to others)\n"
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

// An option's number: the whole argument, finite, within [low, high].
struct NumberRule {
  const char* name;
  double low, high;
  bool whole;  // a count rather than a measure
};

constexpr NumberRule kSampleRateRule{"--sr", kMinSampleRate, kMaxSampleRate, false};
constexpr NumberRule kBlockRule{"--block", 1, kMaxBlockFrames, true};
constexpr NumberRule kTailRule{"--tail", 0, 3600, false};
constexpr NumberRule kSpinRule{"--spin-us", 0, 1000000, true};

// The value, or an empty optional after saying which option was bad. Main.
std::optional<double> readNumber(const NumberRule& rule, const std::string& text) {
  double value = 0;
  if (parseReal(text, value) && value >= rule.low && value <= rule.high && (!rule.whole || value == std::floor(value)))
    return value;
  std::fprintf(stderr, "corvel-render: %s takes a %s from %.0f to %.0f, not \"%s\"\n", rule.name,
               rule.whole ? "whole number" : "number", rule.low, rule.high, text.c_str());
  return std::nullopt;
}

enum class ParseOutcome { kReady, kBadNumber, kUsage };

// Main.
ParseOutcome parse(int argc, char** argv, RenderOptions& o) {
  bool numbersGood = true;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> std::string { return i + 1 < argc ? argv[++i] : ""; };
    auto number = [&](const NumberRule& rule, auto& field) {
      const auto read = readNumber(rule, value());
      if (read) field = static_cast<std::remove_reference_t<decltype(field)>>(*read);
      numbersGood = numbersGood && read;
    };
    if (arg == "--plugin") o.plugin = value();
    else if (arg == "--vst2") o.vst2 = true;
    else if (arg == "--midi") o.midi = value();
    else if (arg == "--out") o.out = value();
    else if (arg == "--sr") number(kSampleRateRule, o.sampleRate);
    else if (arg == "--block") number(kBlockRule, o.block);
    else if (arg == "--tail") number(kTailRule, o.tail);
    else if (arg == "--preset-in") o.presetIn = value();
    else if (arg == "--preset-out") o.presetOut = value();
    else if (arg == "--host") o.host = value();
    else if (arg == "--spin-us") number(kSpinRule, o.spinMicroseconds);
    else if (arg == "--verbose") o.verbose = true;
    else return ParseOutcome::kUsage;
  }
  if (!numbersGood) return ParseOutcome::kBadNumber;
  return o.plugin.empty() ? ParseOutcome::kUsage : ParseOutcome::kReady;
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

std::vector<std::string> hostArguments(const RenderOptions& o, const std::string& shm) {
  std::vector<std::string> args{"--shm", shm, "--path", o.plugin, "--sr", std::to_string(o.sampleRate),
                                "--block", std::to_string(o.block), "--parent", std::to_string(getpid()), "--open"};
  if (o.vst2) args.push_back("--vst2");
  args.insert(args.end(), {"--spin-us", std::to_string(o.spinMicroseconds)});
  if (!o.presetIn.empty()) args.insert(args.end(), {"--presetfile", o.presetIn});
  return args;
}

// The WAV file being written, removed again unless the render completes, so
// a failure never leaves a partial or empty file behind. Main.
class WavOutput {
 public:
  WavOutput(const std::string& path, double sampleRate) : path(path) {
    SF_INFO info{};
    info.samplerate = static_cast<int>(sampleRate);
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    file = sf_open(path.c_str(), SFM_WRITE, &info);
  }
  ~WavOutput() {
    if (!file) return;
    sf_close(file);
    std::remove(path.c_str());
  }
  WavOutput(const WavOutput&) = delete;
  WavOutput& operator=(const WavOutput&) = delete;

  bool isOpen() const { return file != nullptr; }
  bool write(const std::vector<float>& interleaved) {
    const sf_count_t frames = static_cast<sf_count_t>(interleaved.size() / 2);
    return sf_writef_float(file, interleaved.data(), frames) == frames;
  }
  // Keeps the file: the render is complete.
  void finish() {
    sf_close(file);
    file = nullptr;
  }

 private:
  std::string path;
  SNDFILE* file = nullptr;
};

enum class HostWait { kDone, kTimedOut, kHostEnded };

// Repeats `attempt` (a block wait given a timeout) in short rounds until it
// succeeds or `limit` has passed, and gives up at once when the host has
// ended: a dead host answers nothing, and its parent should not sit out the
// whole limit. Main.
template <class Attempt>
HostWait awaitHost(ChildProcess& host, std::chrono::milliseconds limit, Attempt attempt) {
  constexpr std::chrono::milliseconds kRound(100);
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!attempt(std::chrono::duration_cast<Timeout>(kRound))) {
    if (host.waitExit(std::chrono::milliseconds(0))) return HostWait::kHostEnded;
    if (std::chrono::steady_clock::now() >= deadline) return HostWait::kTimedOut;
  }
  return HostWait::kDone;
}

// "how it ended" for a host that is gone, empty while it still runs. Main.
std::string hostEnding(ChildProcess& host) {
  const auto code = host.waitExit(std::chrono::milliseconds(0));
  if (!code) return "";
  return *code < 0 ? ": the host was killed by signal " + std::to_string(-*code)
                   : ": the host exited with code " + std::to_string(*code);
}

// Says why the plan cannot be rendered; true when it can. Main.
bool planIsRenderable(const RenderPlan& plan, const MidiSong& song, const RenderOptions& o) {
  if (plan.status() == PlanStatus::kReady) return true;
  std::fprintf(stderr, "corvel-render: the song and its tail last %g s, more than the %g s one render may take\n",
               song.lengthSeconds + o.tail, kMaxRenderSeconds);
  return false;
}

int render(const RenderOptions& o) {
  MidiSong song;
  if (!loadSong(o, song)) return 1;
  RenderPlan plan(song, o.sampleRate, o.block, o.tail);
  if (!planIsRenderable(plan, song, o)) return 1;
  const std::string shm = "corvel-render-" + std::to_string(getpid());
  auto block = ClientBlock::create(shm);
  if (!block) return std::fprintf(stderr, "corvel-render: cannot create shared block %s\n", shm.c_str()), 1;
  block->setWaitPolicy(WaitPolicy{true, std::chrono::microseconds(o.spinMicroseconds)});
  const std::string hostPath = o.host.empty() ? besideThisTool("corvel") : o.host;
  auto host = ChildProcess::spawn({hostPath, hostArguments(o, shm), {}});
  if (!host) return std::fprintf(stderr, "corvel-render: cannot start %s\n", hostPath.c_str()), 1;
  // The name goes before the host: killed between the host's end and its
  // own, this tool would leave a block that no living process knows of.
  auto endHost = [&] {
    block->remove();
    host->kill(SIGTERM);
    host->waitExit(std::chrono::seconds(5));
  };
  auto fail = [&](const std::string& why) {
    const std::string ending = hostEnding(*host);
    endHost();
    std::fprintf(stderr, "corvel-render: %s%s\n%s%s", why.c_str(), ending.c_str(), host->output().c_str(),
                 host->errors().c_str());
    return 1;
  };
  auto rendered = [&](uint32_t previous) {
    return [&block, previous](Timeout round) { return block->waitForRender(previous, round); };
  };
  // The host's first block is rendered before any MIDI can reach it: take it
  // as pre-roll, so every later batch lands at the start of its own block.
  if (awaitHost(*host, std::chrono::seconds(20), rendered(0)) != HostWait::kDone)
    return fail("the host did not start rendering");

  const auto started = std::chrono::steady_clock::now();
  WavOutput wav(o.out, o.sampleRate);
  if (!wav.isOpen()) return fail(sf_strerror(nullptr));

  Progress progress(plan.blockCount());
  Levels levels;
  ShmBlock& raw = block->raw();
  uint32_t buffer = loadAcquire(raw.frontIndex) & 1;
  uint32_t taken = block->renderCount();
  plan.blockRendered(scanBlock(raw.outLeft[buffer], raw.outRight[buffer], o.block).peak);
  std::vector<float> interleaved(2 * o.block);
  for (uint64_t index = 0; index < plan.blockCount(); ++index) {
    const auto batch = plan.takeBatch(index);
    const auto written = [&](Timeout round) { return block->writeMidi(batch, round); };
    if (!batch.empty() && awaitHost(*host, std::chrono::seconds(5), written) != HostWait::kDone)
      return fail("the host stopped taking MIDI");
    plan.noteSent(batch);
    const bool rendering = !plan.hostIdle();
    block->acknowledge(buffer);
    if (rendering) {
      if (awaitHost(*host, std::chrono::seconds(10), rendered(taken)) != HostWait::kDone)
        return fail("the host stopped rendering");
      taken = block->renderCount();
      buffer = loadAcquire(raw.frontIndex) & 1;
      plan.blockRendered(scanBlock(raw.outLeft[buffer], raw.outRight[buffer], o.block).peak);
    } else if (host->waitExit(std::chrono::milliseconds(0))) {
      // An idle host is not waited on, so only its process tells of its end.
      return fail("the host ended while idle");
    }
    for (uint32_t i = 0; i < o.block; ++i) {
      interleaved[2 * i] = rendering ? raw.outLeft[buffer][i] : 0.0f;
      interleaved[2 * i + 1] = rendering ? raw.outRight[buffer][i] : 0.0f;
    }
    levels.add(interleaved.data(), 2 * o.block);
    if (!wav.write(interleaved)) return fail("cannot write " + o.out);
    progress.update(index + 1);
  }
  wav.finish();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

  if (!o.presetOut.empty()) std::ofstream(o.presetOut, std::ios::binary) << block->readPublishedPreset();
  endHost();
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
  switch (corvel::parse(argc, argv, options)) {
    case corvel::ParseOutcome::kReady:
      return corvel::render(options);
    case corvel::ParseOutcome::kBadNumber:
      return 2;
    case corvel::ParseOutcome::kUsage:
      break;
  }
  return std::fputs(corvel::kHelp, stderr), 2;
}
