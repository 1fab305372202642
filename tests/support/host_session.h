// One corvel-fakehost run for a process test: its own block name, its own
// temporary HOME, and clean-up of the process, the block and the folder even
// when the test fails half-way. Test thread.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "client/child_process.h"
#include "corvel/client_block.h"
#include "client/wait_until.h"
#include "tests/support/audio_taker.h"
#include "tests/support/test_platform.h"

namespace corvel {

using namespace std::chrono_literals;

inline constexpr auto kLineTimeout = 5s;

class HostSession {
 public:
  HostSession();
  ~HostSession();

  const std::string& blockName() const { return name; }

  // How the session's client waits and wakes; set before the block is made.
  void useWaitPolicy(const WaitPolicy& policy) { waitPolicy = policy; }
  // Creates the block for the host to --open. False on failure.
  bool createBlock();
  ClientBlock& block() { return *client; }

  // The X display (":N") the host is started on; none unless set, so tests
  // never open windows on a developer's desktop.
  void useDisplay(const std::string& display) { displayName = display; }

  // Starts the fake host with `arguments` exactly as given.
  bool start(const std::vector<std::string>& arguments);
  // Creates the block, starts the host on it (--open) and waits until it has
  // published its initial preset and started serving.
  bool startServing(const std::vector<std::string>& extraArguments = {});
  // startServing, then takes the first block, after which a silent host idles.
  bool startIdle(const std::vector<std::string>& extraArguments = {});

  // From now on a thread of the session's own takes every block, as a
  // parent's audio thread would: a host that renders without pause (an
  // editor open, a note held) serves nothing else while it waits for one.
  void takeBlocksInBackground();

  bool hasHost() const { return process != nullptr; }
  ChildProcess& host() { return *process; }

  // The host's output up to the commands sent so far, marked by an
  // ALL_NOTES_OFF sent after them (VST 2 mode): a window is seen sooner than
  // the host's log lines arrive through their pipe.
  std::string outputSoFar();

  // The "[fake] " lines on standard error whose call addresses `channel`,
  // without the prefix, in order.
  std::vector<std::string> callsOnChannel(unsigned channel) const;

 private:
  std::string name;
  std::string home;
  std::string displayName;
  WaitPolicy waitPolicy;
  std::unique_ptr<ClientBlock> client;
  std::unique_ptr<ChildProcess> process;
  std::unique_ptr<AudioTaker> taker;
};

// Occurrences of `text` in `haystack`. Any thread.
size_t countOf(const std::string& haystack, const std::string& text);

}  // namespace corvel
