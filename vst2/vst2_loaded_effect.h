// What one successful load owns. Main thread.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/library.h"
#include "vst2/vst2_event_batch.h"
#include "vst2/vst2_instrument.h"

namespace corvel {

struct Vst2Instrument::LoadedEffect {
  LibraryHandle module = nullptr;
  // Not owned: the plug-in frees it on effClose.
  vst2::AEffect* effect = nullptr;
  // The last captured or decoded plug-in state.
  std::vector<uint8_t> chunk;
  // MIDI messages waiting for the next block.
  Vst2EventBatch pending;
};

}  // namespace corvel
