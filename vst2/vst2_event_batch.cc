#include "vst2/vst2_event_batch.h"

namespace corvel {

using namespace vst2;

void Vst2EventBatch::add(const VstMidiEvent& event) {
  messages[count] = event;
  // Set with every message: a plug-in may have scribbled on the entries.
  batch.events[count] = reinterpret_cast<VstEvent*>(&messages[count]);
  ++count;
}

VstEvents* Vst2EventBatch::events() {
  batch.numEvents = static_cast<int32_t>(count);
  return reinterpret_cast<VstEvents*>(&batch);
}

}  // namespace corvel
