#include <windows.h>

#include <cstdint>

#include "platform/parent_watch.h"

namespace corvel {
namespace {

// Kernel handles carry 32 significant bits even in 64-bit processes (the
// documented rule for sharing them with 32-bit ones), so the int slot holds
// one exactly: truncate to store, sign-extend to use.
int toSlot(HANDLE process) { return process ? static_cast<int>(reinterpret_cast<intptr_t>(process)) : -1; }
HANDLE fromSlot(int slot) { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(slot)); }

}  // namespace

ParentWatch::ParentWatch(uint32_t pid) : watched(pid != 0) {
  // Holding the handle keeps the process object, so a reused pid cannot
  // pass for the parent.
  if (watched) handle = toSlot(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, pid));
}

ParentWatch::~ParentWatch() {
  if (handle != -1) CloseHandle(fromSlot(handle));
}

bool ParentWatch::parentAlive() const {
  if (!watched) return true;
  if (handle == -1) return false;
  // A process object is signalled once the process has ended.
  return WaitForSingleObject(fromSlot(handle), 0) == WAIT_TIMEOUT;
}

}  // namespace corvel
