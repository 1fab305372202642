// Describes a VST 3 module without playing it: every class of its factory, the one
// the host would load, and that instrument's outputs, parameters and programs.
#pragma once

#include <string>

#include "instrument/plugin_info.h"

namespace corvel {

// Loads the module at `path`, lists its classes and hosts the class the host would
// pick just long enough to describe it. kLoadFailed, with `error` saying why, when
// the module or its instrument cannot be loaded; a module without an instrument is
// kScanned with no hosted class. Main thread.
ScanStatus scanVst3Module(const std::string& path, Vst3ModuleInfo& info, std::string& error);

}  // namespace corvel
