// Standard MIDI files (format 0 and 1) read into one time-ordered list of
// channel messages. Any thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace corvel {

struct TimedMidi {
  double seconds;  // from the start of the file
  uint8_t status;  // channel message status byte (0x80-0xEF)
  uint8_t data1;
  uint8_t data2;
};

struct MidiSong {
  std::vector<TimedMidi> events;  // ordered by time, file order within a tick
  double lengthSeconds = 0;       // time of the last event
};

// False (with `error` set) when the bytes are not a readable MIDI file.
bool parseMidiFile(const std::vector<uint8_t>& bytes, MidiSong& song, std::string& error);

// A short phrase (a rising arpeggio and a chord) for when no file is given.
MidiSong builtInPhrase();

}  // namespace corvel
