// A dispatcher call that survives a fault in the plug-in and reports it:
// exception code and address, registers, two string peeks, the faulting
// module and the stack words that point into modules. Main thread (the
// crash record below is one per process and unlocked).
#pragma once

#include <cstdint>
#include <string>

#include "platform/fault_guard.h"
#include "vst2/vst2_records.h"

namespace corvel {

// The last fault caught by guardedDispatch; kept until the next one.
extern uint32_t lastCrashCode;
extern const void* lastCrashAddress;
extern FaultContext lastCrashContext;

// What the dispatcher returned, or -1 after a caught fault or exception.
intptr_t guardedDispatch(vst2::AEffect* effect, int32_t opcode, int32_t index, intptr_t value,
                         void* ptr, float opt, const char* label, uint32_t channel);

// Records the fault and writes its one-line summary.
void crashFilter(const FaultContext& fault, const char* label, uint32_t channel);
// Writes the register, peek, module and backtrace lines; the peeks are of
// the registers that hold the faulting call's first two arguments.
void dumpCrashContext(const FaultContext& context);
// Up to 64 printable characters at `address` (others as "?"), or "<bad>".
std::string peekString(const void* address);
// File name of the module holding `address` (after its last "/"), or empty.
std::string moduleNameOf(const void* address);

}  // namespace corvel
