// Which class of a module the host plays. The adapter loads this class and the scan
// reports it, so both ask this one function. Any thread.
#pragma once

#include <cstddef>
#include <optional>

#include "public.sdk/source/vst/hosting/module.h"

namespace corvel {

// Index of the first class whose sub-categories name an instrument, else of the
// first audio module; none when the module holds no audio module.
std::optional<size_t> chooseInstrumentClass(const VST3::Hosting::PluginFactory::ClassInfos& infos);

}  // namespace corvel
