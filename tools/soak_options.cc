#include "tools/soak_options.h"

#include "corvel/shm_block.h"
#include "tools/number_text.h"

namespace corvel {

const char kSoakHelp[] =
    "usage: corvel-soak --plugin <path> [options]\n"
    "Drives one corvel host for a while and checks that nothing is lost or leaks.\n"
    "  --plugin <path>   VST 3 bundle or .so (VST 2.x library with --vst2)\n"
    "  --vst2            the plug-in is a VST 2.x library\n"
    "  --seconds <n>     how long to run (default: 60)\n"
    "  --host <path>     the corvel executable (default: next to this tool)\n"
    "  --sr <rate>       sample rate, 1000-1000000 Hz (default: 44100)\n"
    "  --block <frames>  block size, 1-256 (default: 256)\n"
    "  --seed <n>        seed of the random traffic (default: from the clock); always printed\n"
    "  --spin-us <n>     host and tool watch for each other up to n us before sleeping (default: 0)\n"
    "  --chaos           hostile values in every field the parent writes\n"
    "  --allow-quit      with --chaos and --vst2: send QUIT now and then and restart the host\n"
    "  --host-log <file> write every host's whole log (standard output, then error) here\n"
    "  --verbose         progress every 10 s even off a terminal, and each unanswered probe\n"
    "  --help            this text\n"
    "\n"
    "Normal mode plays random valid MIDI (notes and their ends, controllers, pitch bend,\n"
    "program changes), round-trips the published preset, and in VST 2 mode sends\n"
    "ALL_NOTES_OFF (OPEN_GUI and CLOSE_GUI when DISPLAY is set). It renders in lock step,\n"
    "following the host's idle rule, and fails when a block the host counted was not\n"
    "taken (lost), a preset or command went unapplied, or when, in either mode:\n"
    "  - a sample is not finite;\n"
    "  - the heartbeat stands still for 2 s, or the host ends on its own;\n"
    "  - the host's resident memory, measured from the end of the warm-up (the first\n"
    "    10 % of the run, at least 5 s) to the end, grew by more than max(8 MiB, 10 % of\n"
    "    the warm-up reading) (not judged under AddressSanitizer, whose quarantine keeps\n"
    "    freed memory), or its open descriptors grew at all;\n"
    "  - the host printed a sanitizer report.\n"
    "Chaos mode writes counts beyond capacity, garbage frontIndex and consumedCount,\n"
    "presets of every size class filled with random bytes, random MIDI records and\n"
    "unknown commands. The counts it scribbles on make the block account meaningless,\n"
    "so there \"lost\" counts probes: once a second the tool repairs the acknowledgement\n"
    "counts and sends one valid note; a probe the host does not take within 5 s, or\n"
    "answer with a block within 5 s more, is lost. B counts the blocks seen, P the\n"
    "presets written, C the command records a VST 2 host was given. A host restarted\n"
    "after QUIT warms up for 5 s; rss and fds are of the host that grew most.\n"
    "Ends with \"soak: B blocks, P presets, C commands, R restarts, lost L, rss +K KiB, fds +F\";\n"
    "exit code 0 when every check held, 1 when one failed (the reason is printed\n"
    "before the summary), 2 for a bad command line.\n";

namespace {

constexpr double kLongestRun = 1e7;  // seconds: four months, far within the clock's range

struct Refusal {
  std::string& error;
  bool operator()(const std::string& why) const {
    if (error.empty()) error = why;
    return false;
  }
};

bool checkRanges(const SoakOptions& o, Refusal refuse) {
  if (o.plugin.empty()) return refuse("--plugin is required");
  if (!(o.seconds > 0 && o.seconds <= kLongestRun)) return refuse("--seconds must be above 0 and at most 10000000");
  if (o.sampleRate < 1000 || o.sampleRate > 1000000) return refuse("--sr must be 1000-1000000");
  if (o.block < 1 || o.block > kMaxBlockFrames) return refuse("--block must be 1-256");
  if (o.allowQuit && !(o.chaos && o.vst2)) return refuse("--allow-quit needs --chaos and --vst2");
  return true;
}

}  // namespace

SoakParse parseSoakOptions(const std::vector<std::string>& arguments) {
  SoakParse parse;
  SoakOptions& o = parse.options;
  Refusal refuse{parse.error};
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& arg = arguments[i];
    const bool hasValue = i + 1 < arguments.size();
    const std::string value = hasValue ? arguments[i + 1] : "";
    auto number = [&](auto& field) {
      ++i;
      return (hasValue && parseExact(value, field)) || refuse(arg + " takes a whole number, not '" + value + "'");
    };
    auto real = [&](double& field) {
      ++i;
      return (hasValue && parseReal(value, field)) || refuse(arg + " takes a number, not '" + value + "'");
    };
    auto text = [&](std::string& field) {
      ++i;
      field = value;
      return hasValue || refuse(arg + " takes a value");
    };
    if (arg == "--help") parse.command = SoakCommand::kHelp;
    else if (arg == "--plugin") text(o.plugin);
    else if (arg == "--host") text(o.host);
    else if (arg == "--host-log") text(o.hostLog);
    else if (arg == "--vst2") o.vst2 = true;
    else if (arg == "--chaos") o.chaos = true;
    else if (arg == "--allow-quit") o.allowQuit = true;
    else if (arg == "--verbose") o.verbose = true;
    else if (arg == "--seconds") real(o.seconds);
    else if (arg == "--sr") real(o.sampleRate);
    else if (arg == "--block") number(o.block);
    else if (arg == "--spin-us") number(o.spinMicroseconds);
    else if (arg == "--seed") o.seedGiven = number(o.seed);
    else refuse("unknown option " + arg);
  }
  if (parse.command == SoakCommand::kHelp) return parse;
  // The first refusal is the one reported.
  if (!parse.error.empty() || !checkRanges(o, refuse)) parse.command = SoakCommand::kRefused;
  return parse;
}

}  // namespace corvel
