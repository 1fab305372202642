#include <fcntl.h>
#include <linux/futex.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "platform/shm.h"

namespace corvel {

struct ShmHandle {
  std::string objectName;
  void* view = nullptr;
  size_t size = 0;
  bool ownsName = false;  // created here, or adopted: shm_close removes the name
};

namespace {

// A POSIX name is one leading slash and up to NAME_MAX further bytes, none of
// them a slash; anything else would silently name some other object.
bool toObjectName(const std::string& name, std::string& objectName) {
  if (name.empty() || name.size() > NAME_MAX || name.find('/') != std::string::npos ||
      name.find('\0') != std::string::npos)
    return false;
  objectName = "/" + name;
  return true;
}

size_t objectSize(int fd) {
  struct stat status {};
  return fstat(fd, &status) == 0 ? static_cast<size_t>(status.st_size) : 0;
}

ShmHandle* mapWhole(int fd, std::string objectName, size_t size, bool created) {
  void* view = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  close(fd);
  if (view == MAP_FAILED) {
    if (created) ::shm_unlink(objectName.c_str());
    return nullptr;
  }
  return new ShmHandle{std::move(objectName), view, size, created};
}

ShmHandle* attachExisting(int fd, std::string objectName, size_t size) {
  if (objectSize(fd) < size) {
    close(fd);
    return nullptr;
  }
  return mapWhole(fd, std::move(objectName), size, false);
}

}  // namespace

ShmHandle* shm_create(const std::string& name, size_t size) {
  std::string objectName;
  if (!toObjectName(name, objectName)) return nullptr;
  int fd = ::shm_open(objectName.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
  if (fd < 0 && errno == EEXIST) {
    fd = ::shm_open(objectName.c_str(), O_RDWR, 0600);
    if (fd < 0) return nullptr;
    return attachExisting(fd, std::move(objectName), size);
  }
  if (fd < 0) return nullptr;
  if (ftruncate(fd, static_cast<off_t>(size)) != 0) {
    close(fd);
    ::shm_unlink(objectName.c_str());
    return nullptr;
  }
  return mapWhole(fd, std::move(objectName), size, true);
}

ShmHandle* shm_open(const std::string& name, size_t size) {
  std::string objectName;
  if (!toObjectName(name, objectName)) return nullptr;
  const int fd = ::shm_open(objectName.c_str(), O_RDWR, 0600);
  if (fd < 0) return nullptr;
  return attachExisting(fd, std::move(objectName), size);
}

void* shm_ptr(ShmHandle* handle) { return handle ? handle->view : nullptr; }

std::string shm_removal_file(const ShmHandle* handle) {
  return handle && handle->ownsName ? "/dev/shm" + handle->objectName : std::string();
}

void shm_adopt(ShmHandle* handle) {
  if (handle) handle->ownsName = true;
}

void shm_close(ShmHandle* handle) {
  if (!handle) return;
  if (handle->view) munmap(handle->view, handle->size);
  if (handle->ownsName) ::shm_unlink(handle->objectName.c_str());
  delete handle;
}

// The block's own fields are the futex words, shared (no private flag)
// because the other side is another process: neither the layout nor the
// reserved ranges change, and the kernel compares the word at entry, so a
// store before the wait is never missed. Both sides wait on different
// fields, so one word needs no side of its own.
void shm_wait(ShmHandle*, WakeSide, const uint32_t& field, uint32_t seen, std::chrono::microseconds timeout) {
  if (timeout.count() <= 0) return;
  const timespec relative{static_cast<time_t>(timeout.count() / 1000000),
                          static_cast<long>(timeout.count() % 1000000) * 1000L};
  syscall(SYS_futex, &field, FUTEX_WAIT, seen, &relative, nullptr, 0);
}

void shm_wake(ShmHandle*, WakeSide, const uint32_t& field) {
  syscall(SYS_futex, &field, FUTEX_WAKE, INT_MAX, nullptr, nullptr, 0);
}

}  // namespace corvel
