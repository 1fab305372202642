// How the fault guard's signal handlers and the fatal report meet on POSIX:
// one set of handlers, installed once, serves both. Internal to platform/.
#pragma once

#include <cstdint>

namespace corvel {

// Installs, once per process, the handlers for every signal a fault raises,
// keeping the ones they replace for faults that no guarded call is waiting
// for; and, once per thread, the calling thread's alternate signal stack, on
// which a stack overflow can still be handled. Any thread.
void prepareFaultHandling();

// Writes the fatal line and removes the block, once armFatalReport has run;
// does nothing for a signal the report does not cover. Any thread, inside a
// signal handler: async-signal-safe.
void reportFatalSignal(int signal, uintptr_t instruction);

}  // namespace corvel
