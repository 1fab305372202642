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

Heard Corvel::listen(int count, uint32_t frames) {
  Heard heard;
  double sum = 0.0;
  AudioBlock audio;
  for (; heard.blocks < count; ++heard.blocks) {
    if (!block->readBlock(frames, audio, 5s)) break;
    for (uint32_t i = 0; i < frames; ++i) {
      for (float sample : {audio.left[i], audio.right[i]}) {
        heard.finite = heard.finite && std::isfinite(sample);
        heard.peak = std::max(heard.peak, std::fabs(sample));
        sum += double(sample) * sample;
      }
    }
  }
  if (heard.blocks > 0) heard.rms = std::sqrt(sum / (2.0 * frames * heard.blocks));
  return heard;
}

float Corvel::peakOf(int count) {
  const Heard heard = listen(count, 256);
  return heard.blocks < count ? -1 : heard.peak;
}

std::string Corvel::presetFile() const { return (home / "preset.txt").string(); }

bool Corvel::noteOn(uint8_t note) {
  return block->writeMidi({ShmMidiEvent{kMidiNoteOn, 0, note, 100, 0, 0, {}}}, 5s);
}

}  // namespace corvel
