// Hosting overhead: one instrument plays the same notes for the same stretch
// of audio twice, once through a real corvel process (the parent takes and
// acknowledges every block the moment it appears, waking the host as the
// client library does) and once driven in this process through its adapter.
// Prints one table of wall and processor time of both runs and their ratios,
// at 64 and 256 frames, for the SDK's mda DX10 (VST 3) and Debian's amsynth
// (VST 2, a synth whose DSP costs something). The hosted processor time is
// split into the host process's and this process's (the parent, with the
// thread that captures the host's output).
//
//   hosting_bench [seconds of audio, default 60]
//
// Main thread.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bench/process_cpu.h"
#include "tests/support/corvel_session.h"
#include "vst2/vst2_instrument.h"
#include "vst3/captured_log.h"
#include "vst3/vst3_instrument.h"

namespace corvel {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr double kSampleRate = 44100.0;
constexpr uint32_t kFramesPerNote = 22050;  // a new note every half second
constexpr uint8_t kNotes[] = {48, 55, 60, 64, 67, 72, 67, 64};
constexpr uint8_t kVelocity = 100;

// The note that starts at block `index`, or -1 when the sounding one goes on.
int noteStartingAt(uint32_t index, uint32_t frames) {
  const uint32_t note = index * frames / kFramesPerNote;
  if (index > 0 && note == (index - 1) * frames / kFramesPerNote) return -1;
  return kNotes[note % std::size(kNotes)];
}

struct Subject {
  std::string label;
  std::vector<std::string> hostArguments;  // selects the plug-in on corvel's command line
  // The adapter with the plug-in loaded and prepared, or null.
  std::function<std::unique_ptr<INativeInstrument>(int32_t frames)> load;
};

struct Figures {
  double wall = 0;
  double cpu = 0;      // everything the run cost
  double hostCpu = 0;  // of which the host process (hosted runs only)
  float peak = 0;      // loudest sample, to show that both runs played
};

float peakOf(const std::vector<float>& left, const std::vector<float>& right, float peak) {
  for (size_t i = 0; i < left.size(); ++i) peak = std::max({peak, std::fabs(left[i]), std::fabs(right[i])});
  return peak;
}

// Wall time and processor time since construction, optionally of a child too.
class Meter {
 public:
  explicit Meter(unsigned long child = 0)
      : child(child), wallStart(Clock::now()), cpuStart(ownCpuSeconds()),
        childStart(child ? cpuSeconds(child) : 0) {}
  Figures read() const {
    Figures figures;
    figures.hostCpu = child ? cpuSeconds(child) - childStart : 0;
    figures.cpu = ownCpuSeconds() - cpuStart + figures.hostCpu;
    figures.wall = std::chrono::duration<double>(Clock::now() - wallStart).count();
    return figures;
  }

 private:
  unsigned long child;
  Clock::time_point wallStart;
  double cpuStart;
  double childStart;
};

std::vector<ShmMidiEvent> noteChange(int sounding, int next) {
  std::vector<ShmMidiEvent> events;
  if (sounding >= 0) events.push_back({kMidiNoteOff, 0, static_cast<uint8_t>(sounding), 0, 0, 0, {}});
  events.push_back({kMidiNoteOn, 0, static_cast<uint8_t>(next), kVelocity, 0, 0, {}});
  return events;
}

std::optional<Figures> runHosted(const Subject& subject, uint32_t frames, uint32_t blocks) {
  std::vector<std::string> arguments{"--block", std::to_string(frames)};
  arguments.insert(arguments.end(), subject.hostArguments.begin(), subject.hostArguments.end());
  Corvel host(arguments);
  AudioBlock audio;
  // The host renders one block before any MIDI, then idles until the first note.
  if (!host.serving() || !host.block->readBlock(frames, audio, 5s)) return std::nullopt;
  const Meter meter(host.process->pid());
  int sounding = -1;
  float peak = 0;
  for (uint32_t index = 0; index < blocks; ++index) {
    if (const int note = noteStartingAt(index, frames); note >= 0) {
      if (!host.block->writeMidi(noteChange(sounding, note), 5s)) return std::nullopt;
      sounding = note;
    }
    if (!host.block->readBlock(frames, audio, 5s)) return std::nullopt;
    peak = peakOf(audio.left, audio.right, peak);
  }
  Figures figures = meter.read();
  figures.peak = peak;
  return figures;
}

std::optional<Figures> runInProcess(const Subject& subject, uint32_t frames, uint32_t blocks) {
  const CapturedLog quiet;  // the adapters' lines would interleave with the figures
  auto instrument = subject.load(static_cast<int32_t>(frames));
  if (!instrument) return std::nullopt;
  std::vector<float> left(frames), right(frames);
  const auto render = [&] { instrument->process(left.data(), right.data(), static_cast<int32_t>(frames)); };
  render();  // as the host does before any MIDI
  const Meter meter;
  int sounding = -1;
  float peak = 0;
  for (uint32_t index = 0; index < blocks; ++index) {
    if (const int note = noteStartingAt(index, frames); note >= 0) {
      if (sounding >= 0) instrument->noteOff(0, static_cast<uint32_t>(sounding), 0);
      instrument->noteOn(0, static_cast<uint32_t>(note), kVelocity / 127.0f, 0);
      sounding = note;
    }
    render();
    peak = peakOf(left, right, peak);
  }
  Figures figures = meter.read();
  figures.peak = peak;
  return figures;
}

// The table's head, above the rows report() prints.
void printHeading(double seconds) {
  std::printf("hosting, %.0f s of audio; wall and cpu in seconds, ratios hosted / in-process\n", seconds);
  std::printf("%-17s %6s | %-15s | %-31s | %-6s %-6s %-6s | %s\n", "", "", "in-process", "hosted", "", "", "",
              "peak");
  std::printf("%-17s %6s | %7s %7s | %7s %7s %7s %7s | %6s %6s %6s | %s\n", "plug-in", "frames", "wall", "cpu",
              "wall", "cpu", "host", "parent", "wall x", "cpu x", "host x", "in-process / hosted");
}

void report(const Subject& subject, uint32_t frames, uint32_t blocks) {
  const auto inProcess = runInProcess(subject, frames, blocks);
  const auto hosted = runHosted(subject, frames, blocks);
  if (!inProcess || !hosted) {
    std::printf("%-17s %6u | %s run failed\n", subject.label.c_str(), frames, inProcess ? "hosted" : "in-process");
    return;
  }
  const double parentCpu = hosted->cpu - hosted->hostCpu;
  std::printf("%-17s %6u | %7.3f %7.3f | %7.3f %7.3f %7.3f %7.3f | %6.2f %6.2f %6.2f | %.3f / %.3f\n",
              subject.label.c_str(), frames, inProcess->wall, inProcess->cpu, hosted->wall, hosted->cpu,
              hosted->hostCpu, parentCpu, hosted->wall / inProcess->wall, hosted->cpu / inProcess->cpu,
              hosted->hostCpu / inProcess->cpu, inProcess->peak, hosted->peak);
  std::fflush(stdout);
}

std::vector<Subject> subjects() {
  const std::string mda = std::string(CORVEL_VST3_SAMPLES) + "/mda-vst3.vst3";
  const std::string amsynth = "/usr/lib/vst/amsynth_vst.so";
  return {
      {"mda DX10 (VST 3)", {"--path", mda},
       [mda](int32_t frames) -> std::unique_ptr<INativeInstrument> {
         auto instrument = std::make_unique<Vst3Instrument>();
         instrument->prepare(kSampleRate, frames);
         if (!instrument->loadPlugin(mda, kSampleRate)) return nullptr;
         return instrument;
       }},
      {"amsynth (VST 2)", {"--vst2", "--path", amsynth},
       [amsynth](int32_t frames) -> std::unique_ptr<INativeInstrument> {
         auto instrument = std::make_unique<Vst2Instrument>();
         if (!instrument->loadPlugin(amsynth, kSampleRate) || !instrument->prepare(kSampleRate, frames))
           return nullptr;
         return instrument;
       }},
  };
}

}  // namespace
}  // namespace corvel

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 60.0;
  corvel::printHeading(seconds);
  for (const auto& subject : corvel::subjects()) {
    for (const uint32_t frames : {64u, 256u}) {
      const auto blocks = static_cast<uint32_t>(seconds * corvel::kSampleRate / frames);
      corvel::report(subject, frames, blocks);
    }
  }
  return 0;
}
