// The effect behind vst2_stub_effect.h: it declares program chunks, renders
// nothing, and copies what effSetChunk hands it, reading exactly the count it
// is given plus the terminating byte, so that ASan sees any overrun.
#include "fuzz/vst2_stub_effect.h"

#include "vst2/vst2_records.h"

namespace {

using namespace corvel::vst2;
using corvel::fuzz::StubChunkReceipt;

StubChunkReceipt receipt;

void receiveChunk(intptr_t count, const void* data) {
  ++receipt.setChunkCalls;
  const auto* bytes = static_cast<const uint8_t*>(data);
  receipt.chunk.assign(bytes, bytes + count);
  receipt.zeroAfterChunk = bytes[count] == 0;
}

intptr_t dispatcher(AEffect*, int32_t opcode, int32_t, intptr_t value, void* ptr, float) {
  if (opcode == effSetChunk) receiveChunk(value, ptr);
  return 0;
}

void processReplacing(AEffect*, float**, float**, int32_t) {}

AEffect effect = [] {
  AEffect e{};
  e.magic = kEffectMagic;
  e.dispatcher = dispatcher;
  e.processReplacing = processReplacing;
  e.numOutputs = 2;
  e.flags = effFlagsCanReplacing | effFlagsProgramChunks;
  return e;
}();

}  // namespace

extern "C" __attribute__((visibility("default"))) StubChunkReceipt* corvelStubReceipt() { return &receipt; }

extern "C" __attribute__((visibility("default"))) AEffect* VSTPluginMain(HostCallbackProc) { return &effect; }
