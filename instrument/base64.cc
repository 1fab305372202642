#include "instrument/base64.h"

#include <array>

namespace corvel {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

enum : int8_t { kSkip = -1, kBad = -2 };

constexpr auto kDecodeTable = [] {
  std::array<int8_t, 256> table{};
  table.fill(kBad);
  for (int value = 0; value < 64; ++value) table[static_cast<uint8_t>(kAlphabet[value])] = static_cast<int8_t>(value);
  for (char layout : {'\n', '\r', ' ', '='}) table[static_cast<uint8_t>(layout)] = kSkip;
  return table;
}();

}  // namespace

std::string base64Encode(const uint8_t* bytes, size_t count) {
  std::string text;
  text.reserve((count + 2) / 3 * 4);
  for (size_t i = 0; i < count; i += 3) {
    const bool hasB1 = i + 1 < count;
    const bool hasB2 = i + 2 < count;
    const uint32_t group = (uint32_t{bytes[i]} << 16) | (hasB1 ? uint32_t{bytes[i + 1]} << 8 : 0) |
                           (hasB2 ? uint32_t{bytes[i + 2]} : 0);
    text += kAlphabet[(group >> 18) & 63];
    text += kAlphabet[(group >> 12) & 63];
    text += hasB1 ? kAlphabet[(group >> 6) & 63] : '=';
    text += hasB2 ? kAlphabet[group & 63] : '=';
  }
  return text;
}

bool base64Decode(std::string_view text, std::vector<uint8_t>& out) {
  out.clear();
  out.reserve(text.size() / 4 * 3);
  uint32_t accumulator = 0;
  int bits = 0;
  for (char c : text) {
    const int8_t value = kDecodeTable[static_cast<uint8_t>(c)];
    if (value == kSkip) continue;
    if (value == kBad) return false;
    accumulator = (accumulator << 6) | static_cast<uint32_t>(value);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out.push_back(static_cast<uint8_t>((accumulator >> bits) & 0xFF));
    }
  }
  return true;
}

}  // namespace corvel
