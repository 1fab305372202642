// The parent side of corvel-scan: each module is scanned by a child process
// of its own (this tool again, with kScanOneOption) under a timeout, and
// whatever becomes of the child, the module gets its one JSON line. Main thread.
#pragma once

#include <string>

#include "tools/scan_walk.h"

namespace corvel {

// The internal option that makes the tool a child: --scan-one FORMAT PATH.
constexpr char kScanOneOption[] = "--scan-one";

struct ScanSettings {
  std::string program;  // the executable that answers kScanOneOption
  int timeoutSeconds = 10;
};

enum class ModuleOutcome { kScanned, kFailed };

struct ModuleReport {
  ModuleOutcome outcome;
  std::string json;  // compact, one line
};

ModuleReport scanInChild(const ModuleEntry& module, const ScanSettings& settings);

}  // namespace corvel
