// Processor faults on demand, for the crash guard's tests. Any thread.
#pragma once

namespace corvel {

__attribute__((no_sanitize("address", "undefined"), noinline)) inline void writeThroughNull() {
  volatile int* volatile target = nullptr;
  *target = 1;
}

__attribute__((no_sanitize("undefined"), noinline)) inline void divideByZero() {
  volatile int numerator = 7;
  volatile int zero = 0;
  volatile int result = numerator / zero;
  (void)result;
}

}  // namespace corvel
