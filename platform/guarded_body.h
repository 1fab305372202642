// The part of a guarded call that every platform shares: the body itself,
// with C++ exceptions turned into a fault report. Internal to platform/.
// Any thread.
#pragma once

#include "platform/fault_guard.h"

namespace corvel {

inline bool runBodyCatchingExceptions(void (*body)(void*), void* context, FaultContext* fault) {
  try {
    body(context);
    return true;
  } catch (...) {
    if (fault) {
      *fault = FaultContext{};
      fault->code = kFaultCppException;
    }
    return false;
  }
}

}  // namespace corvel
