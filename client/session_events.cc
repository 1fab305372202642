#include "client/session_events.h"

#include <algorithm>

#include "corvel/block_scan.h"

namespace corvel {
namespace {

uint8_t typeOf(uint8_t status) { return static_cast<uint8_t>(status >> 4); }

bool isNoteOn(const MidiEvent& event) { return typeOf(event.status) == kMidiNoteOn && event.data2 > 0; }

bool isNoteOff(const MidiEvent& event) {
  return typeOf(event.status) == kMidiNoteOff || (typeOf(event.status) == kMidiNoteOn && event.data2 == 0);
}

}  // namespace

bool isChannelMessage(const MidiEvent& event) {
  return event.status >= 0x80 && event.status <= 0xEF && event.data1 < 0x80 && event.data2 < 0x80;
}

ShmMidiEvent shmEventOf(const MidiEvent& event) {
  ShmMidiEvent record{};
  record.type = typeOf(event.status);
  record.channel = event.status & 0x0F;
  record.data1 = event.data1;
  record.data2 = event.data2;
  // Program and pitch-bend bits travel in `value` (and `valueHigh`).
  switch (record.type) {
    case kMidiProgramChange:
      record.value = event.data1;
      break;
    case kMidiPitchBend:
      record.value = event.data1;
      record.valueHigh = event.data2;
      break;
    default:
      record.value = event.data2;
  }
  return record;
}

void EventQueue::reserve(size_t events) { backlog.reserve(events); }

void EventQueue::clear() {
  backlog.clear();
  head = 0;
}

void EventQueue::compact() {
  backlog.erase(backlog.begin(), backlog.begin() + static_cast<std::ptrdiff_t>(head));
  head = 0;
}

void EventQueue::add(std::span<const MidiEvent> events, uint64_t start) {
  compact();
  const size_t first = backlog.size();
  for (const MidiEvent& event : events) backlog.push_back({start + event.frame, event});
  std::stable_sort(backlog.begin() + static_cast<std::ptrdiff_t>(first), backlog.end(),
                   [](const Pending& a, const Pending& b) { return a.due < b.due; });
}

bool EventQueue::tryAdd(std::span<const MidiEvent> events, uint64_t due) {
  if (backlog.size() + events.size() > backlog.capacity()) compact();
  if (backlog.size() + events.size() > backlog.capacity()) return false;
  for (const MidiEvent& event : events) backlog.push_back({due, event});
  return true;
}

uint32_t EventQueue::takeBatch(uint64_t end, ShmMidiEvent* batch) {
  uint32_t count = 0;
  for (; head < backlog.size() && backlog[head].due < end && count < kMidiCapacity; ++head)
    batch[count++] = shmEventOf(backlog[head].event);
  if (head == backlog.size()) clear();
  return count;
}

// Counted as the host's service loop counts them.
void IdleMirror::batchSent(const ShmMidiEvent* batch, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) {
    const ShmMidiEvent& event = batch[i];
    if (event.type == kMidiNoteOn && event.data2 > 0)
      ++notesHeld;
    else if ((event.type == kMidiNoteOff || event.type == kMidiNoteOn) && notesHeld > 0)
      --notesHeld;
  }
  if (count > 0) idle = false;
}

// Measured as the host measures it, so the mirror cannot drift from the rule.
void IdleMirror::blockRendered(const float* left, const float* right, uint32_t frames) {
  const auto zero = [](float sample) { return sample == 0.0f; };
  lastSilenced = std::all_of(left, left + frames, zero) && std::all_of(right, right + frames, zero);
  if (notesHeld == 0 && scanBlock(left, right, frames).peak < kSilenceThreshold) idle = true;
}

void IdleMirror::hostReset() {
  notesHeld = 0;
  idle = true;
  lastSilenced = false;
}

void HeldNotes::track(const MidiEvent& event) {
  const uint8_t channel = event.status & 0x0F;
  uint16_t& count = struck[channel][event.data1 & 0x7F];
  if (isNoteOn(event)) {
    ++count;
    channelsUsed = static_cast<uint16_t>(channelsUsed | (1u << channel));
  } else if (isNoteOff(event) && count > 0) {
    --count;
  }
}

std::vector<MidiEvent> HeldNotes::panic() {
  std::vector<MidiEvent> events;
  for (uint8_t channel = 0; channel < 16; ++channel) {
    for (uint8_t note = 0; note < 128; ++note)
      events.insert(events.end(), struck[channel][note], MidiEvent{0, static_cast<uint8_t>(0x80 | channel), note, 0});
    if (channelsUsed & (1u << channel)) events.push_back({0, static_cast<uint8_t>(0xB0 | channel), 123, 0});
  }
  clear();
  return events;
}

}  // namespace corvel
