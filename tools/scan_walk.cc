#include "tools/scan_walk.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace corvel {
namespace {

namespace fs = std::filesystem;

bool isBundle(const fs::path& path) { return path.extension() == ".vst3"; }
bool isLibrary(const fs::path& path) { return path.extension() == ".so"; }

ModuleEntry entryFor(const fs::path& path, bool forceVst2) {
  if (isBundle(path)) return {path.string(), ModuleFormat::kVst3};
  return {path.string(), forceVst2 ? ModuleFormat::kVst2 : ModuleFormat::kByExports};
}

// Unreadable subfolders are passed over: the rest of the folder still counts.
void searchFolder(const fs::path& folder, bool forceVst2, std::vector<ModuleEntry>& found) {
  std::vector<ModuleEntry> inFolder;
  std::error_code error;
  fs::recursive_directory_iterator walk(folder, fs::directory_options::skip_permission_denied, error);
  for (const fs::recursive_directory_iterator end; !error && walk != end; walk.increment(error)) {
    const fs::path& path = walk->path();
    if (isBundle(path)) {
      walk.disable_recursion_pending();
      inFolder.push_back(entryFor(path, forceVst2));
    } else if (isLibrary(path) && walk->is_regular_file(error)) {
      inFolder.push_back(entryFor(path, forceVst2));
    }
  }
  std::sort(inFolder.begin(), inFolder.end(),
            [](const ModuleEntry& a, const ModuleEntry& b) { return a.path < b.path; });
  found.insert(found.end(), inFolder.begin(), inFolder.end());
}

}  // namespace

WalkStatus findModules(const std::string& argument, bool forceVst2, std::vector<ModuleEntry>& found) {
  fs::path path(argument);
  if (!path.has_filename()) path = path.parent_path();  // "Synth.vst3/" is still a bundle
  std::error_code error;
  const fs::file_status status = fs::status(path, error);
  if (!fs::exists(status)) return WalkStatus::kMissing;
  if (fs::is_directory(status) && !isBundle(path)) searchFolder(path, forceVst2, found);
  else found.push_back(entryFor(path, forceVst2));
  return WalkStatus::kFound;
}

const char* formatName(ModuleFormat format) {
  switch (format) {
    case ModuleFormat::kVst3:
      return "vst3";
    case ModuleFormat::kVst2:
      return "vst2";
    case ModuleFormat::kByExports:
      break;
  }
  return "auto";
}

}  // namespace corvel
