// Watches the parent process by a handle taken once, so that a parent that
// became a zombie, or whose pid was reused by another process, counts as gone.
// Main thread.
#pragma once

#include <cstdint>

namespace corvel {

class ParentWatch {
 public:
  // pid 0 watches nothing: the parent then always counts as alive.
  explicit ParentWatch(uint32_t pid);
  ~ParentWatch();
  ParentWatch(const ParentWatch&) = delete;
  ParentWatch& operator=(const ParentWatch&) = delete;

  bool watching() const { return watched; }
  // False once the watched process has ended (or could never be found).
  bool parentAlive() const;

 private:
  bool watched;
  int handle = -1;
};

}  // namespace corvel
