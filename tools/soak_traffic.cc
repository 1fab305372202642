#include "tools/soak_traffic.h"

#include <algorithm>

namespace corvel {
namespace {

constexpr size_t kMostNotes = 8;
constexpr char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=";

uint32_t uniform(SoakRandom& random, uint32_t low, uint32_t high) {
  return std::uniform_int_distribution<uint32_t>(low, high)(random);
}

bool chance(SoakRandom& random, double probability) { return std::bernoulli_distribution(probability)(random); }

uint8_t byteOf(uint32_t value) { return static_cast<uint8_t>(value); }

// Any code but the four the host knows (4 to 7).
uint32_t unknownCode(SoakRandom& random) {
  const uint32_t code = uniform(random, 0, UINT32_MAX - 4);
  return code < kCommandOpenGui ? code : code + 4;
}

ShmMidiEvent event(MidiType type, uint32_t channel, uint32_t data1, uint32_t data2, uint32_t value,
                   uint32_t valueHigh = 0) {
  return ShmMidiEvent{type, byteOf(channel), byteOf(data1), byteOf(data2), byteOf(value), byteOf(valueHigh), {}};
}

}  // namespace

std::vector<ShmMidiEvent> MidiTraffic::nextBatch(SoakRandom& random) {
  std::vector<ShmMidiEvent> batch;
  if (stepsLeft == 0) {
    phraseOver = !phraseOver;
    stepsLeft = phraseOver ? uniform(random, 1, 400) : uniform(random, 20, 3000);
  }
  --stepsLeft;
  if (phraseOver) return sounding.empty() ? batch : releaseAll();
  endExpiredNotes(batch);
  if (chance(random, 0.3)) {
    const uint32_t extra = uniform(random, 1, 6);
    for (uint32_t i = 0; i < extra; ++i) addRandomEvent(random, batch);
  }
  return batch;
}

std::vector<ShmMidiEvent> MidiTraffic::releaseAll() {
  std::vector<ShmMidiEvent> batch;
  for (const Note& note : sounding) batch.push_back(event(kMidiNoteOff, note.channel, note.pitch, 0, 0));
  sounding.clear();
  phraseOver = true;
  return batch;
}

void MidiTraffic::endExpiredNotes(std::vector<ShmMidiEvent>& batch) {
  for (Note& note : sounding)
    if (--note.stepsLeft == 0) batch.push_back(event(kMidiNoteOff, note.channel, note.pitch, 0, 0));
  std::erase_if(sounding, [](const Note& note) { return note.stepsLeft == 0; });
}

// Half of the events start notes; the rest are controllers, pitch bend and
// program changes, in falling measure.
void MidiTraffic::addRandomEvent(SoakRandom& random, std::vector<ShmMidiEvent>& batch) {
  const uint32_t kind = uniform(random, 0, 9);
  const uint32_t channel = uniform(random, 0, 15);
  const uint32_t value = uniform(random, 0, 127);
  if (kind < 5) {
    startNote(random, batch);
  } else if (kind < 8) {
    batch.push_back(event(kMidiControlChange, channel, uniform(random, 0, 119), 0, value));
  } else if (kind < 9) {
    const uint32_t bend = uniform(random, 0, 16383);
    batch.push_back(event(kMidiPitchBend, channel, 0, 0, bend & 0x7F, bend >> 7));
  } else {
    batch.push_back(event(kMidiProgramChange, channel, 0, 0, value));
  }
}

// A pitch already sounding on its channel is not started twice: its one
// note-off would leave the second start held for good.
void MidiTraffic::startNote(SoakRandom& random, std::vector<ShmMidiEvent>& batch) {
  if (sounding.size() >= kMostNotes) return;
  const auto channel = byteOf(uniform(random, 0, 15));
  const auto pitch = byteOf(uniform(random, 24, 108));
  const bool taken = std::any_of(sounding.begin(), sounding.end(),
                                 [&](const Note& n) { return n.channel == channel && n.pitch == pitch; });
  if (taken) return;
  batch.push_back(event(kMidiNoteOn, channel, pitch, uniform(random, 1, 127), 0));
  sounding.push_back(Note{channel, pitch, uniform(random, 1, 500)});
}

namespace chaos {

uint32_t countOfAnyClass(SoakRandom& random, uint32_t capacity) {
  switch (uniform(random, 0, 5)) {
    case 0: return 0;
    case 1: return capacity + 1;
    case 2: return uniform(random, capacity + 2, 100000);
    case 3: return UINT32_MAX;
    default: return uniform(random, 1, capacity);
  }
}

uint32_t presetSizeOfAnyClass(SoakRandom& random) {
  switch (uniform(random, 0, 8)) {
    case 0: return 0;
    case 1: return uniform(random, 1, kSmallestPreset - 1);
    case 2: return uniform(random, kSmallestPreset, kPresetCapacity - 1);
    case 3: return uniform(random, kPresetCapacity - 64, kPresetCapacity - 1);
    case 4: return kPresetCapacity;
    case 5: return uniform(random, kPresetCapacity + 1, 1u << 24);
    case 6: return UINT32_MAX;
    default: return uniform(random, kSmallestPreset, 4096);
  }
}

uint32_t writeMidi(ShmBlock& block, SoakRandom& random) {
  auto* bytes = reinterpret_cast<uint8_t*>(block.midiEvents);
  for (size_t i = 0; i < sizeof block.midiEvents; ++i) bytes[i] = byteOf(uniform(random, 0, 255));
  // Now and then a plausible type, so that the instrument sees odd values
  // in the calls it takes and not only skipped records.
  for (ShmMidiEvent& record : block.midiEvents)
    if (chance(random, 0.5)) record.type = byteOf(uniform(random, 8, 14));
  const uint32_t count = countOfAnyClass(random, kMidiCapacity);
  storeRelease(block.midiCount, count);
  return count;
}

uint32_t writeCommands(ShmBlock& block, SoakRandom& random, const std::vector<uint32_t>& codes) {
  for (ShmCommand& command : block.commands) {
    const bool known = !codes.empty() && chance(random, 0.5);
    command.code = known ? codes[uniform(random, 0, static_cast<uint32_t>(codes.size() - 1))] : unknownCode(random);
  }
  const uint32_t count = countOfAnyClass(random, kCommandCapacity);
  storeRelease(block.commandCount, count);
  return count;
}

uint32_t writePreset(ShmBlock& block, SoakRandom& random) {
  const uint32_t size = presetSizeOfAnyClass(random);
  const bool base64 = chance(random, 0.5);
  for (uint32_t i = 0; i < std::min(size, kPresetCapacity); ++i)
    block.presetIn[i] = byteOf(base64 ? kBase64Alphabet[uniform(random, 0, 64)] : uniform(random, 0, 255));
  storeRelease(block.presetInSize, size);
  return size;
}

void scribbleIndices(ShmBlock& block, SoakRandom& random) {
  const uint32_t garbage = chance(random, 0.5) ? uniform(random, 0, 3) : uniform(random, 0, UINT32_MAX);
  switch (uniform(random, 0, 2)) {
    case 0: storeRelease(block.frontIndex, garbage); break;
    case 1: storeRelease(block.consumedCount[0], garbage); break;
    default: storeRelease(block.consumedCount[1], garbage);
  }
}

}  // namespace chaos
}  // namespace corvel
