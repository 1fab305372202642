// Runs a call into foreign code so that a processor fault (bad memory
// access, illegal instruction, division by zero, abort) or a C++ exception
// raised inside it returns here instead of ending the process. What the
// skipped frames held (locks, heap) stays held. Any thread; each thread
// guards only its own calls.
#pragma once

#include <type_traits>

namespace corvel {

// True if `body(context)` returned normally.
bool callGuarded(void (*body)(void* context), void* context);

template <class Body>
bool runGuarded(Body&& body) {
  using Callable = std::remove_reference_t<Body>;
  return callGuarded([](void* context) { (*static_cast<Callable*>(context))(); }, &body);
}

}  // namespace corvel
