// The base64 decoder over arbitrary text: it never crashes, it accepts
// exactly the texts made of the alphabet and the layout characters, and the
// input's bytes come back unchanged through encode and decode. Called by
// libFuzzer on the main thread.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "instrument/base64.h"

namespace {

bool isAccepted(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/' ||
         c == '\n' || c == '\r' || c == ' ' || c == '=';
}

size_t acceptedPrefix(std::string_view text) {
  size_t length = 0;
  while (length < text.size() && isAccepted(text[length])) ++length;
  return length;
}

// Characters that carry six bits each; only whole bytes come out of them.
size_t alphabetCount(std::string_view text) {
  size_t count = 0;
  for (char c : text) count += (c != '\n' && c != '\r' && c != ' ' && c != '=');
  return count;
}

void checkDecode(std::string_view text) {
  std::vector<uint8_t> decoded{0xAA};  // the decoder must clear it first
  const bool accepted = corvel::base64Decode(text, decoded);
  const std::string_view prefix = text.substr(0, acceptedPrefix(text));
  if (accepted != (prefix.size() == text.size())) __builtin_trap();
  if (decoded.size() != alphabetCount(prefix) * 6 / 8) __builtin_trap();
}

void checkRoundTrip(const uint8_t* data, size_t size) {
  const std::string text = corvel::base64Encode(data, size);
  if (text.size() != (size + 2) / 3 * 4) __builtin_trap();
  std::vector<uint8_t> decoded;
  if (!corvel::base64Decode(text, decoded)) __builtin_trap();
  if (decoded != std::vector<uint8_t>(data, data + size)) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  checkDecode(std::string_view(reinterpret_cast<const char*>(data), size));
  checkRoundTrip(data, size);
  return 0;
}
