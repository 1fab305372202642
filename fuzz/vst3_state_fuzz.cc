// The VST 3 state text parser over arbitrary text: a rejected text leaves
// both parts as they were, and an accepted one re-encodes to a text that
// gives the same parts. Called by libFuzzer on the main thread.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "vst3/state_blob.h"

namespace {

using corvel::StateBlobError;

const std::vector<uint8_t> kComponentSentinel{0xC0, 0x4E};
const std::vector<uint8_t> kControllerSentinel{0xC7, 0x21, 0x00};

void checkReencoding(const std::vector<uint8_t>& component, const std::vector<uint8_t>& controller) {
  const std::string text = corvel::encodeStateBlob(component, controller);
  // Two empty parts are the empty text, which the parser refuses by design.
  if (text.empty()) {
    if (!component.empty() || !controller.empty()) __builtin_trap();
    return;
  }
  std::vector<uint8_t> componentAgain, controllerAgain;
  if (corvel::decodeStateBlob(text, componentAgain, controllerAgain) != StateBlobError::none) __builtin_trap();
  if (componentAgain != component || controllerAgain != controller) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::vector<uint8_t> component = kComponentSentinel;
  std::vector<uint8_t> controller = kControllerSentinel;
  if (corvel::decodeStateBlob(text, component, controller) == StateBlobError::none) {
    // Both parts come out of the text, so neither can be longer than it.
    if (component.size() + controller.size() > size) __builtin_trap();
    checkReencoding(component, controller);
  } else if (component != kComponentSentinel || controller != kControllerSentinel) {
    __builtin_trap();
  }
  return 0;
}
