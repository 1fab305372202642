// An X server of the test's own (Xvfb on a display number it picks itself),
// so editor tests neither need nor disturb a desktop. Killed with the
// object. Test thread.
#pragma once

#include <memory>
#include <string>

#include "client/child_process.h"

namespace corvel {

class VirtualDisplay {
 public:
  // Null when Xvfb is missing or does not come up.
  static std::unique_ptr<VirtualDisplay> start();
  ~VirtualDisplay();

  // ":N"
  const std::string& name() const { return displayName; }
  // "DISPLAY=:N", for a child's environment.
  std::string environment() const { return "DISPLAY=" + displayName; }
  // Ends the server at once, as a crashed or closed X session would.
  void kill();

  // One server for the whole test program, started on first use, with this
  // process's DISPLAY set to it: the platform opens its X connection once
  // per process, from DISPLAY, and keeps it. Null when Xvfb does not come up.
  static const VirtualDisplay* shared();

 private:
  VirtualDisplay(std::unique_ptr<ChildProcess> server, std::string name);

  std::unique_ptr<ChildProcess> server;
  std::string displayName;
};

}  // namespace corvel
