#include "tests/support/virtual_display.h"

#include <signal.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>

namespace corvel {

using namespace std::chrono_literals;

std::unique_ptr<VirtualDisplay> VirtualDisplay::start() {
  const char* program = "/usr/bin/Xvfb";
  if (!std::filesystem::exists(program)) return nullptr;
  // -displayfd picks a free display and writes its number once it accepts
  // connections, so tests never race the server or each other.
  auto server = ChildProcess::spawn(
      {program, {"-displayfd", "1", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"}, {}});
  if (!server || !server->waitForOutput("\n", 10s)) return nullptr;
  std::string number = server->output();
  number.erase(number.find('\n'));
  return std::unique_ptr<VirtualDisplay>(new VirtualDisplay(std::move(server), ":" + number));
}

const VirtualDisplay* VirtualDisplay::shared() {
  static const std::unique_ptr<VirtualDisplay> display = [] {
    auto started = start();
    if (started) setenv("DISPLAY", started->name().c_str(), 1);
    return started;
  }();
  return display.get();
}

VirtualDisplay::VirtualDisplay(std::unique_ptr<ChildProcess> server, std::string name)
    : server(std::move(server)), displayName(std::move(name)) {}

VirtualDisplay::~VirtualDisplay() { kill(); }

void VirtualDisplay::kill() {
  server->kill(SIGTERM);
  if (!server->waitExit(3s)) server->kill(SIGKILL);
  server->waitExit(3s);
}

}  // namespace corvel
