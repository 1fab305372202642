// Named shared memory, the way the host needs it. On POSIX a name maps to
// the object "/<name>" (mode 0600); on Windows to a paging-file section of
// that name, which lives as long as some process holds it. Main thread.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace corvel {

struct ShmHandle;

// Creates the named block, or attaches to an existing one of at least `size`
// bytes. A block this call created is sized exactly and removed again by
// shm_close. Null when the name cannot be a shared-memory name or mapping fails.
ShmHandle* shm_create(const std::string& name, size_t size);

// Attaches to an existing block; null when there is none, or it is smaller
// than `size`, or mapping fails.
ShmHandle* shm_open(const std::string& name, size_t size);

// The mapped view, or null for a null handle.
void* shm_ptr(ShmHandle* handle);

// The file whose removal removes the block's name, if this process created
// the block and the system keeps the name in a file ("/dev/shm/<name>" on
// Linux); empty otherwise. For a last-chance handler that may not allocate.
std::string shm_removal_file(const ShmHandle* handle);

// Makes shm_close remove the name of a block another process created: for
// a host whose parent (the creator) has died, which is the last process that
// will ever know the name. Where a name ends with its last holder it does
// nothing. Main thread.
void shm_adopt(ShmHandle* handle);

// Unmaps, closes, removes the name if this process created it, and frees the
// handle. Does nothing for null.
void shm_close(ShmHandle* handle);

// Each side of a block sleeps on signals of its own and wakes the other's.
enum class WakeSide : uint8_t { kHost, kParent };

// Blocks the calling thread until the 32-bit `field` inside the block no
// longer holds `seen`, a wake for `side` arrives, or `timeout` has passed.
// Returns at once when the field already differs, so a wake for a change
// that is already in place is never lost; may also return early for no
// reason, so callers re-read their field. Where the block has no wake
// signals (a null handle on Windows, or a peer that made none) it sleeps out
// the timeout, as a polling peer would. Any thread.
// [audio] no allocation, no lock.
void shm_wait(ShmHandle* handle, WakeSide side, const uint32_t& field, uint32_t seen,
              std::chrono::microseconds timeout);

// Wakes whatever `side` waits on `field`; called right after the store the
// other side may be waiting for. Any thread. [audio] no allocation, no lock.
void shm_wake(ShmHandle* handle, WakeSide side, const uint32_t& field);

}  // namespace corvel
