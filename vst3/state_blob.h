// The text form of a VST 3 preset: base64 of compLen (u32, big-endian), the component
// bytes, ctrlLen (u32, big-endian), the controller bytes. Two empty states give "".
// Any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvel {

std::string encodeStateBlob(const std::vector<uint8_t>& component,
                            const std::vector<uint8_t>& controller);

enum class StateBlobError { none, badBase64, badCompLen, badCtrlLen };

// Fills both vectors only when the whole text is sound; bytes after the controller
// state are ignored.
StateBlobError decodeStateBlob(std::string_view text, std::vector<uint8_t>& component,
                               std::vector<uint8_t>& controller);

}  // namespace corvel
