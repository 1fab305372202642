// Stand-ins for the adapters' scan functions until they land: the same
// declarations. Delete this file and scan_stub_scanners.cc once
// vst3/vst3_scan.h and vst2/vst2_scan.h exist. Main thread.
#pragma once

#include <string>

#include "instrument/plugin_info.h"

namespace corvel {

ScanStatus scanVst3Module(const std::string& path, Vst3ModuleInfo& info, std::string& error);
ScanStatus scanVst2Plugin(const std::string& path, Vst2PluginInfo& info, std::string& error);

}  // namespace corvel
