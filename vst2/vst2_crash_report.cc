#include "vst2/vst2_crash_report.h"

#include "instrument/log.h"
#include "platform/library.h"

namespace corvel {
namespace {

constexpr size_t kPeekBytes = 64;

const void* asAddress(uint64_t value) { return reinterpret_cast<const void*>(value); }

void writeBacktrace(const FaultContext& context) {
  for (size_t i = 0; i < context.stackWordCount; ++i) {
    const uint64_t word = context.stack[i];
    const std::string module = moduleNameOf(asAddress(word));
    if (!module.empty()) log::err("    [", i, "] 0x", log::Hex{word}, " -> ", module);
  }
}

}  // namespace

uint32_t lastCrashCode = 0;
const void* lastCrashAddress = nullptr;
FaultContext lastCrashContext{};

intptr_t guardedDispatch(vst2::AEffect* effect, int32_t opcode, int32_t index, intptr_t value,
                         void* ptr, float opt, const char* label, uint32_t channel) {
  intptr_t result = -1;
  FaultContext fault{};
  const bool completed = runGuarded(
      [&] { result = effect->dispatcher(effect, opcode, index, value, ptr, opt); }, &fault);
  if (completed) return result;
  crashFilter(fault, label, channel);
  dumpCrashContext(lastCrashContext);
  return -1;
}

void crashFilter(const FaultContext& fault, const char* label, uint32_t channel) {
  lastCrashCode = fault.code;
  lastCrashAddress = fault.address;
  lastCrashContext = fault;
  log::err("[Vst2Instrument] ", label, " SEH code=0x", log::Hex{fault.code}, " addr=0x",
           log::Ptr{fault.address}, " ch=", channel);
}

void dumpCrashContext(const FaultContext& context) {
  log::err("[Vst2Instrument]   rip=0x", log::Hex{context.rip}, " rsp=0x", log::Hex{context.rsp});
  log::err("[Vst2Instrument]   rax=0x", log::Hex{context.rax}, " rbx=0x", log::Hex{context.rbx},
           " rcx=0x", log::Hex{context.rcx}, " rdx=0x", log::Hex{context.rdx}, " rsi=0x",
           log::Hex{context.rsi}, " rdi=0x", log::Hex{context.rdi}, " r8=0x", log::Hex{context.r8},
           " r9=0x", log::Hex{context.r9});
  const auto [first, second] = firstArguments(context);
  log::err("[Vst2Instrument]   ", first.name, "=str: ", peekString(asAddress(first.value)), " | ", second.name,
           "=str: ", peekString(asAddress(second.value)));
  log::err("[Vst2Instrument]   crash module: ", moduleNameOf(asAddress(context.rip)));
  writeBacktrace(context);
}

std::string peekString(const void* address) {
  char bytes[kPeekBytes];
  if (!readMemory(address, bytes, sizeof bytes)) return "<bad>";
  std::string text;
  for (char byte : bytes) {
    if (byte == 0) break;
    text += (byte >= 0x20 && byte <= 0x7E) ? byte : '?';
  }
  return text;
}

std::string moduleNameOf(const void* address) {
  const std::string file = moduleFileOf(address);
  const size_t slash = file.rfind('/');
  return slash == std::string::npos ? file : file.substr(slash + 1);
}

}  // namespace corvel
