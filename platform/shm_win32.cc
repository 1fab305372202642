// Named sections backed by the paging file. A section lives as long as some
// process holds a handle to it, so nothing outlives its last user.
#include <windows.h>

#include "platform/shm.h"

namespace corvel {

struct ShmHandle {
  HANDLE mapping = nullptr;
  void* view = nullptr;
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

ShmHandle* mapView(HANDLE mapping, size_t size) {
  uint64_t existing = 0;
  void* view = nullptr;
  if (sectionSize(mapping, existing) && existing >= size)
    view = MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, size);
  if (!view) {
    CloseHandle(mapping);
    return nullptr;
  }
  return new ShmHandle{mapping, view};
}

}  // namespace

ShmHandle* shm_create(const std::string& name, size_t size) {
  if (!usableName(name)) return nullptr;
  HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, static_cast<DWORD>(size),
                                      wideName(name).c_str());
  return mapping ? mapView(mapping, size) : nullptr;
}

ShmHandle* shm_open(const std::string& name, size_t size) {
  if (!usableName(name)) return nullptr;
  HANDLE mapping = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, name.c_str());
  return mapping ? mapView(mapping, size) : nullptr;
}

void* shm_ptr(ShmHandle* handle) { return handle ? handle->view : nullptr; }

// A section goes with the last handle to it: nothing to remove.
std::string shm_removal_file(const ShmHandle*) { return {}; }

void shm_close(ShmHandle* handle) {
  if (!handle) return;
  if (handle->view) UnmapViewOfFile(handle->view);
  if (handle->mapping) CloseHandle(handle->mapping);
  delete handle;
}

}  // namespace corvel
