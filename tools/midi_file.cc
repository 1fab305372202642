#include "tools/midi_file.h"

#include <algorithm>

namespace corvel {
namespace {

struct TickEvent {
  uint64_t tick;
  bool tempo;            // a tempo change rather than a channel message
  uint32_t microsPerQuarter;
  TimedMidi message;
};

class Reader {
 public:
  Reader(const uint8_t* begin, const uint8_t* end) : at(begin), end(end) {}
  bool has(size_t n) const { return static_cast<size_t>(end - at) >= n; }
  bool done() const { return at >= end; }
  uint8_t byte() { return has(1) ? *at++ : (failed = true, 0); }
  uint32_t bigEndian(int bytes) {
    uint32_t value = 0;
    for (int i = 0; i < bytes; ++i) value = (value << 8) | byte();
    return value;
  }
  uint32_t variableLength() {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
      const uint8_t b = byte();
      value = (value << 7) | (b & 0x7F);
      if (!(b & 0x80)) return value;
    }
    failed = true;
    return value;
  }
  void skip(size_t n) {
    if (!has(n)) failed = true;
    at += std::min(n, static_cast<size_t>(end - at));
  }
  const uint8_t* position() const { return at; }
  bool failed = false;

 private:
  const uint8_t* at;
  const uint8_t* end;
};

int dataBytes(uint8_t status) { return (status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0 ? 1 : 2; }

// A data byte has its top bit clear; anything else where one is due leaves
// the rest of the track unreadable.
uint8_t dataByte(Reader& track) {
  const uint8_t value = track.byte();
  if (value & 0x80) track.failed = true;
  return value;
}

// A tempo of 0 µs per quarter would stack every later event on one instant:
// such an event is ignored and the tempo in force stays. Returns the type.
uint8_t readMeta(Reader& track, uint64_t tick, std::vector<TickEvent>& out) {
  const uint8_t type = track.byte();
  const uint32_t length = track.variableLength();
  if (type != 0x51 || length != 3) {
    track.skip(length);
    return type;
  }
  const uint32_t microsPerQuarter = track.bigEndian(3);
  if (microsPerQuarter > 0) out.push_back({tick, true, microsPerQuarter, {}});
  return type;
}

// Meta and sysex events carry their length and cancel running status. The
// other system common and real-time bytes (0xF1-0xF6, 0xF8-0xFE) have no
// place in a file and no length to skip them by, so a track holding one is
// refused rather than guessed at.
bool readTrack(Reader& track, std::vector<TickEvent>& out) {
  uint64_t tick = 0;
  uint8_t running = 0;
  while (!track.done() && !track.failed) {
    tick += track.variableLength();
    const uint8_t first = track.byte();
    if (first == 0xFF) {
      running = 0;
      if (readMeta(track, tick, out) == 0x2F) break;  // end of track
      continue;
    }
    if (first == 0xF0 || first == 0xF7) {
      track.skip(track.variableLength());
      running = 0;
      continue;
    }
    if (first >= 0xF0) return false;
    uint8_t status = first;
    uint8_t data1;
    if (first & 0x80) {
      running = status;
      data1 = dataByte(track);
    } else {
      if (!running) return false;
      status = running;
      data1 = first;
    }
    const uint8_t data2 = dataBytes(status) == 2 ? dataByte(track) : 0;
    out.push_back({tick, false, 0, {0, status, data1, data2}});
  }
  return !track.failed;
}

}  // namespace

bool parseMidiFile(const std::vector<uint8_t>& bytes, MidiSong& song, std::string& error) {
  Reader file(bytes.data(), bytes.data() + bytes.size());
  if (!file.has(14) || file.bigEndian(4) != 0x4D546864 /* MThd */) return error = "not a MIDI file", false;
  const uint32_t headerLength = file.bigEndian(4);
  file.bigEndian(2);  // format: 0 and 1 read alike
  const uint32_t tracks = file.bigEndian(2);
  const uint32_t division = file.bigEndian(2);
  if (headerLength < 6) return error = "not a MIDI file", false;
  if (division == 0 || (division & 0x8000)) return error = "SMPTE time division is not supported", false;
  file.skip(headerLength - 6);
  if (file.failed) return error = "truncated header", false;

  std::vector<TickEvent> events;
  for (uint32_t t = 0; t < tracks && !file.done(); ++t) {
    if (file.bigEndian(4) != 0x4D54726B /* MTrk */) return error = "bad track header", false;
    const uint32_t length = file.bigEndian(4);
    if (!file.has(length)) return error = "truncated track", false;
    Reader track(file.position(), file.position() + length);
    if (!readTrack(track, events)) return error = "bad track data", false;
    file.skip(length);
  }
  std::stable_sort(events.begin(), events.end(), [](const TickEvent& a, const TickEvent& b) { return a.tick < b.tick; });

  song = {};
  double seconds = 0;
  uint64_t lastTick = 0;
  double secondsPerTick = 0.5 / division;  // 120 BPM until told otherwise
  for (const TickEvent& event : events) {
    seconds += static_cast<double>(event.tick - lastTick) * secondsPerTick;
    lastTick = event.tick;
    if (event.tempo) {
      secondsPerTick = event.microsPerQuarter / 1e6 / division;
      continue;
    }
    TimedMidi message = event.message;
    message.seconds = seconds;
    song.events.push_back(message);
  }
  song.lengthSeconds = song.events.empty() ? 0 : song.events.back().seconds;
  return true;
}

MidiSong builtInPhrase() {
  MidiSong song;
  const uint8_t notes[] = {60, 64, 67, 72};
  for (int i = 0; i < 4; ++i) {
    song.events.push_back({i * 0.25, 0x90, notes[i], 100});
    song.events.push_back({i * 0.25 + 0.2, 0x80, notes[i], 0});
  }
  for (uint8_t note : notes) song.events.push_back({1.0, 0x90, note, 90});
  for (uint8_t note : notes) song.events.push_back({2.0, 0x80, note, 0});
  song.lengthSeconds = 2.0;
  return song;
}

}  // namespace corvel
