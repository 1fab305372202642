// corvel-render: renders a MIDI file (or a built-in phrase) through one
// plug-in hosted by a corvel process into a WAV file, or a whole file of such
// jobs on a few hosts at once. A parent application in miniature, built on
// corvel::Session.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <type_traits>

#include "corvel/shm_block.h"
#include "host/host_options.h"
#include "tools/jobs_file.h"
#include "tools/number_text.h"
#include "tools/progress_bar.h"
#include "tools/render_batch.h"
#include "tools/render_job.h"

namespace corvel {
namespace {

constexpr char kHelp[] =
    "usage: corvel-render --plugin <path> [options]\n"
    "       corvel-render --jobs <file> [-j <n>] [options]\n"
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
    "  --host <path>        the corvel executable (default: next to this tool, then\n"
    "                       on PATH)\n"
    "  --spin-us <n>        host and this tool watch for each other for up to n µs\n"
    "                       (0-1000000) before they sleep, yielding to any other\n"
    "                       work (default: 50; 0 sleeps at once and leaves the core\n"
    "                       to others)\n"
    "  --jobs <file>        render every job of a JSON-lines file, one host each\n"
    "  -j <n>               with --jobs: jobs rendered at once, 1-64 (default: 1)\n"
    "  --verbose            with --jobs: the host's last log lines follow a failed job's\n"
    "                       line (a single render that fails always shows them)\n"
    "  --help               this text\n"
    "A jobs file holds one JSON object per line, for instance\n"
    "  {\"plugin\": \"dx10.vst3\", \"out\": \"a.wav\", \"midi\": \"a.mid\", \"preset\": \"a.txt\",\n"
    "   \"vst2\": false, \"seconds\": 2.0, \"sr\": 48000}\n"
    "plugin and out are required; midi defaults to the built-in phrase; preset is a file of\n"
    "preset text; seconds is the whole render (default: the song and --tail); sr defaults to\n"
    "--sr. --sr, --block, --tail, --host and --spin-us apply to every job; --plugin, --vst2,\n"
    "--midi, --out and the preset options do not go with --jobs.\n"
    "Exit code 0 when everything was rendered, 1 when the render or any job failed, 2 for a\n"
    "bad command line or jobs file.\n";

struct CommandLine {
  RenderJob job;
  std::string jobsFile;
  uint32_t workers = 1;
  bool verbose = false;
  bool workersGiven = false;
  bool singleOnlyGiven = false;  // an option that names the one render
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
constexpr NumberRule kWorkersRule{"-j", 1, 64, true};

// The value, or an empty optional after saying which option was bad. Main.
std::optional<double> readNumber(const NumberRule& rule, const std::string& text) {
  double value = 0;
  if (parseReal(text, value) && value >= rule.low && value <= rule.high && (!rule.whole || value == std::floor(value)))
    return value;
  std::fprintf(stderr, "corvel-render: %s takes a %s from %.0f to %.0f, not \"%s\"\n", rule.name,
               rule.whole ? "whole number" : "number", rule.low, rule.high, text.c_str());
  return std::nullopt;
}

enum class ParseOutcome { kSingle, kBatch, kBadNumber, kUsage };

// Main.
ParseOutcome parse(int argc, char** argv, CommandLine& c) {
  RenderJob& o = c.job;
  bool numbersGood = true;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> std::string { return i + 1 < argc ? argv[++i] : ""; };
    auto single = [&]() -> std::string {
      c.singleOnlyGiven = true;
      return value();
    };
    auto number = [&](const NumberRule& rule, auto& field) {
      const auto read = readNumber(rule, value());
      if (read) field = static_cast<std::remove_reference_t<decltype(field)>>(*read);
      numbersGood = numbersGood && read;
    };
    if (arg == "--plugin") o.plugin = single();
    else if (arg == "--vst2") o.vst2 = c.singleOnlyGiven = true;
    else if (arg == "--midi") o.midi = single();
    else if (arg == "--out") o.out = single();
    else if (arg == "--sr") number(kSampleRateRule, o.sampleRate);
    else if (arg == "--block") number(kBlockRule, o.block);
    else if (arg == "--tail") number(kTailRule, o.tail);
    else if (arg == "--preset-in") o.presetIn = single();
    else if (arg == "--preset-out") o.presetOut = single();
    else if (arg == "--host") o.host = value();
    else if (arg == "--spin-us") number(kSpinRule, o.spinMicroseconds);
    else if (arg == "--jobs") c.jobsFile = value();
    else if (arg == "-j") {
      c.workersGiven = true;
      number(kWorkersRule, c.workers);
    }
    else if (arg == "--verbose") c.verbose = true;
    else return ParseOutcome::kUsage;
  }
  if (!numbersGood) return ParseOutcome::kBadNumber;
  if (!c.jobsFile.empty()) return c.singleOnlyGiven ? ParseOutcome::kUsage : ParseOutcome::kBatch;
  return o.plugin.empty() || c.workersGiven ? ParseOutcome::kUsage : ParseOutcome::kSingle;
}

// Main.
int renderOne(const CommandLine& c) {
  ProgressBar bar;
  const JobOutcome outcome = renderJob(c.job, [&bar](uint64_t done, uint64_t total) { bar.update(done, total); });
  if (outcome.status != JobStatus::kDone) {
    std::fprintf(stderr, "corvel-render: %s\n%s", outcome.why.c_str(), outcome.hostLog.c_str());
    return 1;
  }
  std::printf("%s\n", outcomeLine(c.job, outcome).c_str());
  return 0;
}

// Main.
int renderBatch(const CommandLine& c) {
  std::ifstream file(c.jobsFile);
  if (!file) return std::fprintf(stderr, "corvel-render: cannot read %s\n", c.jobsFile.c_str()), 2;
  const JobsRead read = readJobs(file, c.job);
  if (!read.error.empty()) return std::fprintf(stderr, "corvel-render: %s: %s\n", c.jobsFile.c_str(), read.error.c_str()), 2;
  if (read.jobs.empty()) return std::fprintf(stderr, "corvel-render: %s holds no jobs\n", c.jobsFile.c_str()), 2;
  return runBatch(read.jobs, c.workers, c.verbose) == BatchStatus::kAllDone ? 0 : 1;
}

}  // namespace
}  // namespace corvel

int main(int argc, char** argv) {
  corvel::CommandLine commandLine;
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "--help") == 0) return std::fputs(corvel::kHelp, stdout), 0;
  switch (corvel::parse(argc, argv, commandLine)) {
    case corvel::ParseOutcome::kSingle:
      return corvel::renderOne(commandLine);
    case corvel::ParseOutcome::kBatch:
      return corvel::renderBatch(commandLine);
    case corvel::ParseOutcome::kBadNumber:
      return 2;
    case corvel::ParseOutcome::kUsage:
      break;
  }
  return std::fputs(corvel::kHelp, stderr), 2;
}
