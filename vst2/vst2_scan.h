// Describes a VST 2.x plug-in library for a scan: loads it the way the host
// does, asks what a parent needs to know before hosting it, and tears it
// down again.
#pragma once

#include <string>

#include "instrument/plugin_info.h"

namespace corvel {

// kLoadFailed with `error` when the library cannot be loaded or faults while
// it is opened. A fault elsewhere in the plug-in ends the calling process,
// as it would end the host. Main.
ScanStatus scanVst2Plugin(const std::string& path, Vst2PluginInfo& info, std::string& error);

}  // namespace corvel
