// A VST 2 effect for the state fuzz target: it keeps a copy of each chunk it
// is handed. The target finds the receipt through the library's export
// kStubReceiptExport. Main thread.
#pragma once

#include <cstdint>
#include <vector>

namespace corvel::fuzz {

struct StubChunkReceipt {
  int32_t setChunkCalls = 0;
  std::vector<uint8_t> chunk;       // the bytes the last effSetChunk announced
  bool zeroAfterChunk = false;      // the byte past the count was 0 (plug-ins that strlen)
};

using StubReceiptProc = StubChunkReceipt* (*)();
inline constexpr char kStubReceiptExport[] = "corvelStubReceipt";

}  // namespace corvel::fuzz
