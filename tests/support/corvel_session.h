// One real corvel process on a block of its own, with a fresh HOME (real
// plug-ins write settings there); killed and cleaned up even when a test
// fails. Test thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "client/child_process.h"
#include "corvel/client_block.h"

namespace corvel {

// Who creates the block: the test, which corvel then opens (--open), or corvel.
enum class BlockCreator { kParent, kHost };

// What some blocks held over both channels.
struct Heard {
  double rms = 0.0;
  float peak = 0.0f;  // the largest magnitude; a NaN never counts
  bool finite = true;
  int blocks = 0;     // how many were taken
};

struct Corvel {
  // Runs corvel with "--shm NAME --open --channel 7" followed by `extra`, on
  // the X display `display` (":N"); with none it has no display at all, so
  // tests never open windows on a developer's desktop. When the host creates
  // the block, "--open" is left out and `block` attaches once it exists
  // (null if it never does).
  explicit Corvel(const std::vector<std::string>& extra, const std::string& display = "",
                  BlockCreator creator = BlockCreator::kParent);
  ~Corvel();
  Corvel(const Corvel&) = delete;
  Corvel& operator=(const Corvel&) = delete;

  // Waits for the host to have published its preset and started serving.
  bool serving();
  // Takes up to `count` blocks of `frames`, stopping early when none comes
  // (a host idles only on silence).
  Heard listen(int count, uint32_t frames);
  // Takes `count` blocks and returns the largest magnitude in them, or -1 on timeout.
  float peakOf(int count);
  bool noteOn(uint8_t note);
  // A file for a preset to hand to another host; it goes with this one's HOME.
  std::string presetFile() const;

  std::string name;
  std::filesystem::path home;
  std::unique_ptr<ClientBlock> block;
  std::unique_ptr<ChildProcess> process;
};

}  // namespace corvel
