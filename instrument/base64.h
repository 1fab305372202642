// Base64 for state texts: the encoder writes standard base64 (RFC 4648 §4,
// "=" padding, no line breaks); the decoder skips line feeds, carriage
// returns, spaces and "=" wherever they stand and rejects every other byte
// outside the alphabet. Any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvel {

std::string base64Encode(const uint8_t* bytes, size_t count);

// Clears `out` and fills it. Returns false at the first byte outside the
// accepted set; `out` then holds the bytes decoded before it. Leftover bits
// of a final partial group are dropped without complaint.
bool base64Decode(std::string_view text, std::vector<uint8_t>& out);

}  // namespace corvel
