// Which modules corvel-scan's arguments name: files, .vst3 bundles (never
// entered) and folders searched for both kinds. Main thread.
#pragma once

#include <string>
#include <vector>

namespace corvel {

enum class ModuleFormat {
  kVst3,
  kVst2,
  kByExports,  // a plain library: the child tells by its entry points
};

struct ModuleEntry {
  std::string path;
  ModuleFormat format;
};

enum class WalkStatus { kFound, kMissing };

// Appends the modules `argument` names, a folder's sorted by path. With
// `forceVst2` a plain library is VST 2 whatever it exports.
WalkStatus findModules(const std::string& argument, bool forceVst2, std::vector<ModuleEntry>& found);

// "vst3", "vst2", or "auto" for kByExports: the child's option value.
const char* formatName(ModuleFormat format);

}  // namespace corvel
