#include "vst3/state_blob.h"

#include "instrument/base64.h"

namespace corvel {

namespace {

constexpr uint64_t kLengthBytes = 4;

void appendLength(std::vector<uint8_t>& out, uint64_t length) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(length >> shift));
}

uint64_t readLength(const std::vector<uint8_t>& bytes, uint64_t offset) {
  uint64_t length = 0;
  for (uint64_t i = 0; i < kLengthBytes; ++i) length = (length << 8) | bytes[offset + i];
  return length;
}

void appendPart(std::vector<uint8_t>& out, const std::vector<uint8_t>& part) {
  appendLength(out, static_cast<uint32_t>(part.size()));
  out.insert(out.end(), part.begin(), part.end());
}

}  // namespace

std::string encodeStateBlob(const std::vector<uint8_t>& component,
                            const std::vector<uint8_t>& controller) {
  if (component.empty() && controller.empty()) return {};
  std::vector<uint8_t> layout;
  layout.reserve(2 * kLengthBytes + component.size() + controller.size());
  appendPart(layout, component);
  appendPart(layout, controller);
  return base64Encode(layout.data(), layout.size());
}

StateBlobError decodeStateBlob(std::string_view text, std::vector<uint8_t>& component,
                               std::vector<uint8_t>& controller) {
  std::vector<uint8_t> bytes;
  if (!base64Decode(text, bytes) || bytes.size() < 2 * kLengthBytes) {
    return StateBlobError::badBase64;
  }
  const uint64_t size = bytes.size();
  const uint64_t compLen = readLength(bytes, 0);
  if (compLen + kLengthBytes > size) return StateBlobError::badCompLen;
  const uint64_t ctrlAt = kLengthBytes + compLen;
  if (ctrlAt + kLengthBytes > size) return StateBlobError::badCtrlLen;
  const uint64_t ctrlLen = readLength(bytes, ctrlAt);
  if (ctrlAt + kLengthBytes + ctrlLen > size) return StateBlobError::badCtrlLen;

  const auto begin = bytes.begin();
  component.assign(begin + kLengthBytes, begin + ctrlAt);
  controller.assign(begin + ctrlAt + kLengthBytes, begin + ctrlAt + kLengthBytes + ctrlLen);
  return StateBlobError::none;
}

}  // namespace corvel
