// The VST 2 chunk path of loadSerializedState over arbitrary text, against a
// stub effect: the effect receives a chunk only for a text the decoder
// accepts, and then exactly the text's bytes, no longer than the text allows,
// followed by a zero byte. Called by libFuzzer on the main thread.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "fuzz/vst2_stub_effect.h"
#include "instrument/base64.h"
#include "platform/library.h"
#include "vst2/vst2_instrument.h"

namespace {

using corvel::fuzz::StubChunkReceipt;

struct LoadedStub {
  LoadedStub() {
    // Every accepted text logs a line; nobody reads them here.
    std::cout.rdbuf(nullptr);
    std::cerr.rdbuf(nullptr);
    if (!instrument.loadPlugin(VST2_STUB_EFFECT, 48000.0)) std::abort();
    const auto receiptOf = reinterpret_cast<corvel::fuzz::StubReceiptProc>(
        corvel::findSymbol(corvel::loadLibrary(VST2_STUB_EFFECT), corvel::fuzz::kStubReceiptExport));
    if (!receiptOf) std::abort();
    receipt = receiptOf();
  }
  corvel::Vst2Instrument instrument;
  StubChunkReceipt* receipt = nullptr;
};

void checkReceipt(const std::string& text, const StubChunkReceipt& receipt, int32_t callsBefore) {
  std::vector<uint8_t> expected;
  const bool decodable = !text.empty() && corvel::base64Decode(text, expected);
  // An empty chunk is never handed over.
  const bool delivered = decodable && !expected.empty();
  if (receipt.setChunkCalls != callsBefore + (delivered ? 1 : 0)) __builtin_trap();
  if (!delivered) return;
  if (receipt.chunk.size() > text.size() * 3 / 4) __builtin_trap();
  if (receipt.chunk != expected || !receipt.zeroAfterChunk) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static LoadedStub stub;
  const std::string text(reinterpret_cast<const char*>(data), size);
  const int32_t callsBefore = stub.receipt->setChunkCalls;
  stub.instrument.loadSerializedState(text);
  checkReceipt(text, *stub.receipt, callsBefore);
  return 0;
}
