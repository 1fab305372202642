// The session's MIDI on its way to the host: a backlog in frame order that
// goes out one batch per block, the host's idle rule mirrored, and the notes
// the session has sent on and not yet off. Owner thread; the [audio]
// functions are also renderBlock's.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "corvel/session.h"
#include "corvel/shm_block.h"

namespace corvel {

// A channel message (status 0x80-0xEF) with 7-bit data. [audio] no allocation, no lock.
bool isChannelMessage(const MidiEvent& event);

// The block's record of a channel message. [audio] no allocation, no lock.
ShmMidiEvent shmEventOf(const MidiEvent& event);

class EventQueue {
 public:
  // Room that tryAdd() fills without allocating. Owner.
  void reserve(size_t events);
  void clear();

  // Appends events due `frame` frames after `start`, in frame order (equal
  // frames keep their order). Every event queued before is due no later.
  // May allocate. Owner.
  void add(std::span<const MidiEvent> events, uint64_t start);
  // Appends events all due at `due`; false, with nothing queued, when the
  // reserved room is short. [audio] no allocation, no lock.
  bool tryAdd(std::span<const MidiEvent> events, uint64_t due);

  // Moves the oldest events due before `end`, at most kMidiCapacity, into
  // `batch`; returns how many. [audio] no allocation, no lock.
  uint32_t takeBatch(uint64_t end, ShmMidiEvent* batch);

 private:
  struct Pending {
    uint64_t due;
    MidiEvent event;
  };
  // Drops the events already sent, keeping the storage.
  void compact();

  std::vector<Pending> backlog;
  size_t head = 0;  // backlog[0, head) went out
};

// What the host does after each block: it idles (renders nothing until the
// next MIDI batch) when no notes are held and the block's peak is below
// kSilenceThreshold. [audio] no allocation, no lock.
class IdleMirror {
 public:
  void reset() { *this = IdleMirror{}; }
  void batchSent(const ShmMidiEvent* batch, uint32_t count);
  void blockRendered(const float* left, const float* right, uint32_t frames);
  // A block came while the host should have idled: it serves an open
  // editor, which keeps it rendering; from now on every block is awaited.
  void hostKeepsRendering() { rendersAlways = true; }
  // The host reset a plug-in whose output was broken: it forgot every note
  // and idles. Only a block it silenced (all zeros) can come before that.
  void hostReset();
  bool mayBeReset() const { return lastSilenced && !hostIdle(); }
  bool hostIdle() const { return idle && !rendersAlways; }

 private:
  int32_t notesHeld = 0;
  bool idle = false;
  bool rendersAlways = false;
  bool lastSilenced = false;  // the newest block was exact zeros
};

// Notes sent on and not off, counted per channel and note, for a panic the
// session plays itself. [audio] no allocation, no lock, except panic().
class HeldNotes {
 public:
  void clear() { *this = HeldNotes{}; }
  void track(const MidiEvent& event);
  // A note-off for each time a held note was struck, then CC 123 on every
  // channel used; forgets them. Owner.
  std::vector<MidiEvent> panic();

 private:
  std::array<std::array<uint16_t, 128>, 16> struck{};
  uint16_t channelsUsed = 0;  // bit per channel
};

}  // namespace corvel
