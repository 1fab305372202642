// corvel-scan: describes plug-in modules before anything hosts them, each in
// a child process of its own so that a module that crashes or hangs costs
// only its own entry. One JSON line per module on standard output.
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tools/number_text.h"
#include "tools/scan_child.h"
#include "tools/scan_json.h"
#include "tools/scan_run.h"
#include "tools/scan_walk.h"

namespace corvel {
namespace {

constexpr char kHelp[] =
    "usage: corvel-scan [options] PATH...\n"
    "Describes VST 3 and VST 2.x modules as JSON, one line per module, each scanned in a\n"
    "process of its own. PATH is a module, a .vst3 bundle or a folder searched for both.\n"
    "  --vst2               plain .so libraries are VST 2.x (default: told by their exports)\n"
    "  --timeout <seconds>  a module's scan is ended after this long, 1-3600 (default: 10)\n"
    "  --pretty             indented output, for people\n"
    "  --help               this text\n"
    "  --scan-one <format> <path>   internal: the child that scans one module\n"
    "Exit code: 0 every module was scanned, 1 one failed or a path was missing, 2 bad command line.\n";

constexpr int kExitAllScanned = 0;
constexpr int kExitSomeFailed = 1;
constexpr int kExitUsage = 2;

struct ScanOptions {
  std::vector<std::string> paths;
  bool vst2 = false, pretty = false, help = false;
  int timeoutSeconds = 10;
};

// Main.
bool readTimeout(const std::string& text, int& seconds) {
  return parseExact(text, seconds) && seconds >= 1 && seconds <= 3600;
}

// False on a bad command line, after saying what was wrong. Main.
bool parse(int argc, char** argv, ScanOptions& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--vst2") {
      o.vst2 = true;
    } else if (arg == "--pretty") {
      o.pretty = true;
    } else if (arg == "--help") {
      o.help = true;
    } else if (arg == "--timeout") {
      const std::string value = i + 1 < argc ? argv[++i] : "";
      if (!readTimeout(value, o.timeoutSeconds)) {
        std::fprintf(stderr, "corvel-scan: --timeout takes whole seconds from 1 to 3600, not \"%s\"\n", value.c_str());
        return false;
      }
    } else if (arg.rfind("--", 0) == 0) {
      std::fprintf(stderr, "corvel-scan: unknown option %s\n", arg.c_str());
      return false;
    } else {
      o.paths.push_back(arg);
    }
  }
  return o.help || !o.paths.empty();
}

// "corvel-scan: [3/12] path" on a terminal, overwritten by the next and
// cleared at the end. Main.
class Progress {
 public:
  Progress() : shown(isatty(STDERR_FILENO)) {}
  ~Progress() {
    if (shown) std::fputs("\r\033[K", stderr);
  }
  void show(size_t done, size_t total, const std::string& path) {
    if (shown) std::fprintf(stderr, "\r\033[Kcorvel-scan: [%zu/%zu] %s", done, total, path.c_str());
  }

 private:
  bool shown;
};

// False when an argument names nothing, after saying so. Main.
bool findAll(const ScanOptions& o, std::vector<ModuleEntry>& modules) {
  bool allFound = true;
  for (const std::string& path : o.paths) {
    if (findModules(path, o.vst2, modules) == WalkStatus::kFound) continue;
    std::fprintf(stderr, "corvel-scan: no such file or folder: %s\n", path.c_str());
    allFound = false;
  }
  return allFound;
}

// The exit code. Main.
int scanAll(const ScanOptions& o) {
  std::vector<ModuleEntry> modules;
  bool allScanned = findAll(o, modules);
  const ScanSettings settings{"/proc/self/exe", o.timeoutSeconds};
  Progress progress;
  for (size_t i = 0; i < modules.size(); ++i) {
    progress.show(i + 1, modules.size(), modules[i].path);
    const ModuleReport report = scanInChild(modules[i], settings);
    allScanned = allScanned && report.outcome == ModuleOutcome::kScanned;
    std::printf("%s\n", o.pretty ? prettyJson(report.json).c_str() : report.json.c_str());
    std::fflush(stdout);
  }
  return allScanned ? kExitAllScanned : kExitSomeFailed;
}

}  // namespace
}  // namespace corvel

int main(int argc, char** argv) {
  using namespace corvel;
  if (argc == 4 && std::string(argv[1]) == kScanOneOption) return runScanChild(argv[2], argv[3]);
  ScanOptions options;
  if (!parse(argc, argv, options)) {
    std::fputs(kHelp, stderr);
    return kExitUsage;
  }
  if (options.help) {
    std::fputs(kHelp, stdout);
    return kExitAllScanned;
  }
  return scanAll(options);
}
