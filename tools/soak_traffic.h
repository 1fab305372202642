// What corvel-soak writes into the block: random but valid MIDI that ends
// every note it starts, and, for chaos mode, hostile values for every field
// the parent owns. Deterministic for a given random engine. One thread.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "corvel/shm_block.h"

namespace corvel {

using SoakRandom = std::mt19937_64;

// Phrases of notes (each with its note-off), controllers, pitch bend and
// program changes, separated by rests in which every note has ended.
class MidiTraffic {
 public:
  // The records for the next block, often none.
  std::vector<ShmMidiEvent> nextBatch(SoakRandom& random);
  // Note-offs for every note still sounding; the traffic then rests.
  std::vector<ShmMidiEvent> releaseAll();
  bool resting() const { return stepsLeft == 0 || phraseOver; }
  size_t notesSounding() const { return sounding.size(); }

 private:
  struct Note {
    uint8_t channel, pitch;
    uint32_t stepsLeft;
  };
  void endExpiredNotes(std::vector<ShmMidiEvent>& batch);
  void addRandomEvent(SoakRandom& random, std::vector<ShmMidiEvent>& batch);
  void startNote(SoakRandom& random, std::vector<ShmMidiEvent>& batch);

  std::vector<Note> sounding;
  uint32_t stepsLeft = 0;  // of the phrase or the rest now under way
  bool phraseOver = true;  // resting until stepsLeft runs out
};

// Hostile records and sizes. Each writer stores into the raw layout the way
// a broken parent would (payload first, then the announcing field) and
// returns what it announced.
namespace chaos {

// 0, within capacity, just over, far over, and the largest count there is.
uint32_t countOfAnyClass(SoakRandom& random, uint32_t capacity);
// 0, stubs, ordinary, near and over capacity, 2^32 - 1.
uint32_t presetSizeOfAnyClass(SoakRandom& random);

// Random bytes in every record; returns the count announced.
uint32_t writeMidi(ShmBlock& block, SoakRandom& random);
// Codes drawn from `codes` and random ones; returns the count announced.
uint32_t writeCommands(ShmBlock& block, SoakRandom& random, const std::vector<uint32_t>& codes);
// Random bytes or random base64; returns the size announced. Never a
// mangled real preset: that tests the plug-in's state parser, not the host,
// and some trust a count in it far enough to take gigabytes.
uint32_t writePreset(ShmBlock& block, SoakRandom& random);
// Garbage in frontIndex or either consumedCount.
void scribbleIndices(ShmBlock& block, SoakRandom& random);

}  // namespace chaos

}  // namespace corvel
