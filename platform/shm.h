// Named shared memory, the way the host needs it. On POSIX a name maps to
// the object "/<name>" (mode 0600); on Windows to a paging-file section of
// that name, which lives as long as some process holds it. Main thread.
#pragma once

#include <cstddef>
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

// Unmaps, closes, removes the name if this process created it, and frees the
// handle. Does nothing for null.
void shm_close(ShmHandle* handle);

}  // namespace corvel
