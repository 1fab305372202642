// Named sections backed by the paging file. A section lives as long as some
// process holds a handle to it, so nothing outlives its last user. Beside
// each block live two named auto-reset events, "<name>-host-wake" and
// "<name>-parent-wake", on which each side sleeps until the other wakes it.
#include <windows.h>

#include <array>
#include <atomic>

#include "platform/shm.h"

namespace corvel {

struct ShmHandle {
  HANDLE mapping = nullptr;
  void* view = nullptr;
  std::array<HANDLE, 2> wake{};  // by WakeSide; null where the peer made none
};

namespace {

// SectionBasicInformation of NtQuerySection: the section's exact size, which
// a view's page-rounded region cannot tell.
struct SectionBasicInformation {
  void* base;
  ULONG attributes;
  LARGE_INTEGER size;
};
using QuerySection = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);

bool sectionSize(HANDLE mapping, uint64_t& size) {
  static const auto query = reinterpret_cast<QuerySection>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySection")));
  SectionBasicInformation information{};
  if (!query || query(mapping, 0, &information, sizeof information, nullptr) != 0) return false;
  size = static_cast<uint64_t>(information.size.QuadPart);
  return true;
}

std::wstring wideName(const std::string& name) {
  const int length = MultiByteToWideChar(CP_UTF8, 0, name.data(), static_cast<int>(name.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, name.data(), static_cast<int>(name.size()), wide.data(), length);
  return wide;
}

// An empty name would create an anonymous section; an embedded NUL would
// silently name a shorter one.
bool usableName(const std::string& name) { return !name.empty() && name.find('\0') == std::string::npos; }

// Sections and events share one namespace, so the events carry a suffix.
std::string wakeName(const std::string& name, WakeSide side) {
  return name + (side == WakeSide::kHost ? "-host-wake" : "-parent-wake");
}

// The side that creates the block creates its events; one that attaches to
// an existing block of the same name gets the existing events.
void createWakeEvents(ShmHandle& handle, const std::string& name) {
  for (const WakeSide side : {WakeSide::kHost, WakeSide::kParent})
    handle.wake[static_cast<size_t>(side)] = CreateEventW(nullptr, FALSE, FALSE, wideName(wakeName(name, side)).c_str());
}

// A block made by a peer that knows no events has none: its waits then poll.
void openWakeEvents(ShmHandle& handle, const std::string& name) {
  for (const WakeSide side : {WakeSide::kHost, WakeSide::kParent})
    handle.wake[static_cast<size_t>(side)] = OpenEventA(EVENT_MODIFY_STATE | SYNCHRONIZE, FALSE, wakeName(name, side).c_str());
}

HANDLE wakeEvent(ShmHandle* handle, WakeSide side) { return handle ? handle->wake[static_cast<size_t>(side)] : nullptr; }

// Whole milliseconds, at least one for any wait at all: a zero wait would
// turn a waiting loop into a spinning one.
DWORD roundedUpMilliseconds(std::chrono::microseconds timeout) {
  return static_cast<DWORD>((timeout.count() + 999) / 1000);
}

ShmHandle* mapView(HANDLE mapping, size_t size) {
  uint64_t existing = 0;
  void* view = nullptr;
  if (sectionSize(mapping, existing) && existing >= size)
    view = MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, size);
  if (!view) {
    CloseHandle(mapping);
    return nullptr;
  }
  return new ShmHandle{mapping, view, {}};
}

}  // namespace

ShmHandle* shm_create(const std::string& name, size_t size) {
  if (!usableName(name)) return nullptr;
  HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, static_cast<DWORD>(size),
                                      wideName(name).c_str());
  ShmHandle* handle = mapping ? mapView(mapping, size) : nullptr;
  if (handle) createWakeEvents(*handle, name);
  return handle;
}

ShmHandle* shm_open(const std::string& name, size_t size) {
  if (!usableName(name)) return nullptr;
  HANDLE mapping = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, name.c_str());
  ShmHandle* handle = mapping ? mapView(mapping, size) : nullptr;
  if (handle) openWakeEvents(*handle, name);
  return handle;
}

void* shm_ptr(ShmHandle* handle) { return handle ? handle->view : nullptr; }

// A section goes with the last handle to it: nothing to remove.
std::string shm_removal_file(const ShmHandle*) { return {}; }

void shm_adopt(ShmHandle*) {}

void shm_close(ShmHandle* handle) {
  if (!handle) return;
  if (handle->view) UnmapViewOfFile(handle->view);
  if (handle->mapping) CloseHandle(handle->mapping);
  for (HANDLE event : handle->wake)
    if (event) CloseHandle(event);
  delete handle;
}

// An auto-reset event stays set until a wait takes it, so a wake that comes
// between the field check and the wait still ends the wait.
void shm_wait(ShmHandle* handle, WakeSide side, const uint32_t& field, uint32_t seen, std::chrono::microseconds timeout) {
  if (timeout.count() <= 0) return;
  if (std::atomic_ref<uint32_t>(const_cast<uint32_t&>(field)).load(std::memory_order_acquire) != seen) return;
  if (HANDLE event = wakeEvent(handle, side))
    WaitForSingleObject(event, roundedUpMilliseconds(timeout));
  else
    Sleep(roundedUpMilliseconds(timeout));
}

void shm_wake(ShmHandle* handle, WakeSide side, const uint32_t&) {
  if (HANDLE event = wakeEvent(handle, side)) SetEvent(event);
}

}  // namespace corvel
