#include "tests/support/corvel_session.h"

#include <algorithm>
#include <atomic>
#include <cmath>

#include "client/wait_until.h"
#include "platform/system.h"

namespace corvel {
namespace {

using namespace std::chrono_literals;

std::string uniqueName() {
  static std::atomic<int> counter{0};
  return "corvel-e2e-" + std::to_string(currentProcessId()) + "-" + std::to_string(counter++);
}

}  // namespace

Corvel::Corvel(const std::vector<std::string>& extra, const std::string& display, BlockCreator creator)
    : name(uniqueName()), home(std::filesystem::temp_directory_path() / (name + "-home")) {
  const bool hostCreates = creator == BlockCreator::kHost;
  if (!hostCreates) block = ClientBlock::create(name);
  std::vector<std::string> args{"--shm", name};
  if (!hostCreates) args.push_back("--open");
  args.insert(args.end(), {"--channel", "7"});
  args.insert(args.end(), extra.begin(), extra.end());
  std::filesystem::create_directories(home / ".config");
  std::filesystem::create_directories(home / ".local/share");
  process = ChildProcess::spawn({CORVEL_PATH, args, {"HOME=" + home.string(), "DISPLAY=" + display}});
  if (hostCreates) waitUntil([&] { return (block = ClientBlock::attach(name)) != nullptr; }, 20s);
}

Corvel::~Corvel() {
  if (process) process->kill();
  process.reset();
  block.reset();
  std::error_code ignored;
  std::filesystem::remove_all(home, ignored);
}

bool Corvel::serving() {
  return process && process->waitForOutput("[corvel] panic after preset ch=7\n", 20s);
}

float Corvel::peakOf(int count) {
  float peak = 0;
  AudioBlock audio;
  for (int i = 0; i < count; ++i) {
    if (!block->readBlock(256, audio, 5s)) return -1;
    for (size_t s = 0; s < audio.left.size(); ++s)
      peak = std::max({peak, std::fabs(audio.left[s]), std::fabs(audio.right[s])});
  }
  return peak;
}

std::string Corvel::presetFile() const { return (home / "preset.txt").string(); }

bool Corvel::noteOn(uint8_t note) {
  return block->writeMidi({ShmMidiEvent{kMidiNoteOn, 0, note, 100, 0, 0, {}}}, 5s);
}

}  // namespace corvel
