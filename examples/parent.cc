// parent.cc: a parent in C++. It hosts one instrument plug-in in a corvel
// process, plays a C-major chord for two seconds, lets it ring out and writes
// what came back to a WAV file.
//
//   parent-cpp PLUGIN [--vst2] [OUT.wav]          (OUT.wav: chord.wav here)
//   built by CMakeLists.txt beside it: find_package(corvel), corvel::client
#include <corvel/session.h>

#include <cstdio>
#include <string>
#include <vector>

#include "wav_file.h"

int main(int argc, char** argv) {
  if (argc < 2) return std::fprintf(stderr, "usage: %s PLUGIN [--vst2] [OUT.wav]\n", argv[0]), 2;
  corvel::SessionOptions options;  // the defaults: 48 kHz, blocks of 256 frames
  options.plugin = argv[1];
  std::string out = "chord.wav";
  for (int i = 2; i < argc; ++i) {
    if (std::string(argv[i]) == "--vst2") options.vst2 = true;
    else out = argv[i];
  }
  // Each event is due at a frame counted from the start of the render call
  // that carries it: the notes go on at once and off after two seconds.
  const uint32_t rate = 48000, held = 2 * rate, frames = held + rate / 2;
  std::vector<corvel::MidiEvent> chord;
  for (uint8_t note : {60, 64, 67}) chord.push_back({0, 0x90, note, 100});  // C4, E4, G4
  for (uint8_t note : {60, 64, 67}) chord.push_back({held, 0x80, note, 0});
  std::vector<float> left(frames), right(frames);

  // start() spawns the host and waits for its first block: from then on MIDI
  // is safe. One render() plays it all; the session cuts it into blocks.
  corvel::Session session;
  bool played = session.start(options) == corvel::StartStatus::kStarted;
  if (played) {
    corvel::RenderStatus status = session.render(chord, frames, {left.data(), right.data()});
    played = status == corvel::RenderStatus::kBlock || status == corvel::RenderStatus::kIdle;
  }
  // A failure says what it was and, when the host ended, how and what it logged.
  if (!played) {
    std::fprintf(stderr, "%s: %s\n%s\n", argv[0], session.lastError().message.c_str(), session.lastError().hostLog.c_str());
    return 1;
  }
  session.stop();  // ends the host and removes the shared block (the destructor would too)

  if (wav_write_stereo_float(out.c_str(), left.data(), right.data(), frames, rate) != 0)
    return std::fprintf(stderr, "cannot write %s\n", out.c_str()), 1;
  std::printf("%s: %.1f s from %s\n", out.c_str(), double(frames) / rate, options.plugin.c_str());
}
