// Plug-in chunk capture and restore, and its base64 text. Main thread.
#include "instrument/base64.h"
#include "instrument/log.h"
#include "vst2/vst2_loaded_effect.h"

namespace corvel {

using namespace vst2;

void Vst2Instrument::captureState() {
  AEffect* target = effect();
  if (!target || !(target->flags & effFlagsProgramChunks)) return;
  void* data = nullptr;
  const intptr_t count = dispatch(effGetChunk, 0, 1, &data);
  if (count <= 0 || !data) return;
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  plugin->chunk.assign(bytes, bytes + count);
}

// A zero byte follows the chunk, outside its count: plug-ins that keep their
// state as text (amsynth) take its length with strlen.
void Vst2Instrument::restoreState() {
  if (!effect() || plugin->chunk.empty()) return;
  std::vector<uint8_t>& chunk = plugin->chunk;
  const auto count = static_cast<intptr_t>(chunk.size());
  chunk.push_back(0);
  dispatch(effSetChunk, 0, count, chunk.data());
  chunk.pop_back();
}

std::string Vst2Instrument::getSerializedState() {
  if (!plugin || plugin->chunk.empty()) return {};
  return base64Encode(plugin->chunk.data(), plugin->chunk.size());
}

void Vst2Instrument::loadSerializedState(const std::string& text) {
  if (!effect() || text.empty()) return;
  // A rejected text must not clobber the state we already hold.
  std::vector<uint8_t> decoded;
  if (!base64Decode(text, decoded)) {
    log::err("[Vst2Instrument] loadSerializedState: bad base64 ch=", channel);
    return;
  }
  plugin->chunk = std::move(decoded);
  restoreState();
  log::out("[Vst2Instrument] preset restored ch=", channel, " (", plugin->chunk.size(), "B)");
}

}  // namespace corvel
