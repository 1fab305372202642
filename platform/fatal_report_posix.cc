// The signal handlers of the fault guard (fault_guard_posix.cc) send here
// every fault that no guarded call on the faulting thread is waiting for.
// All but armFatalReport runs inside such a handler, on the faulting thread:
// async-signal-safe calls only, nothing allocated.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstring>

#include "platform/fatal_line.h"
#include "platform/fatal_report.h"
#include "platform/fatal_signal.h"
#include "platform/signal_safe_posix.h"

namespace corvel {
namespace {

// Prepared at start-up; the handler only reads them.
uint32_t armedChannel = 0;
char armedBlockFile[PATH_MAX] = {};
std::atomic<bool> armed{false};  // lock-free, so safe to read in a handler

const char* reportedName(int signal) {
  switch (signal) {
    case SIGSEGV:
      return "SIGSEGV";
    case SIGBUS:
      return "SIGBUS";
    case SIGILL:
      return "SIGILL";
    case SIGFPE:
      return "SIGFPE";
    case SIGABRT:
      return "SIGABRT";
    default:
      return nullptr;
  }
}

uintptr_t parseHex(const char*& at) {
  uintptr_t value = 0;
  for (;; ++at) {
    const char c = *at;
    if (c >= '0' && c <= '9') value = value * 16 + static_cast<uintptr_t>(c - '0');
    else if (c >= 'a' && c <= 'f') value = value * 16 + static_cast<uintptr_t>(c - 'a' + 10);
    else return value;
  }
}

void skipField(const char*& at) {
  while (*at == ' ') ++at;
  while (*at && *at != ' ') ++at;
}

// The file of one line of /proc/self/maps ("start-end perms offset dev inode
// path") if its range holds `address`; null otherwise.
const char* fileMappedAt(const char* line, uintptr_t address) {
  const char* at = line;
  const uintptr_t start = parseHex(at);
  if (*at++ != '-') return nullptr;
  const uintptr_t end = parseHex(at);
  if (address < start || address >= end) return nullptr;
  for (int field = 0; field < 4; ++field) skipField(at);
  while (*at == ' ') ++at;
  return *at == '/' ? at : nullptr;
}

// The path of the library mapped at `address`, copied into `module`. Only
// open and read: dladdr and dl_iterate_phdr take the loader's lock, which the
// faulting thread may hold, and a table made at start-up would miss the
// plug-in, which is loaded later.
bool moduleAt(uintptr_t address, char (&module)[PATH_MAX]) {
  const int fd = open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char chunk[1024];
  char line[PATH_MAX + 128];
  size_t length = 0;
  bool found = false;
  ssize_t got;
  while (!found && (got = read(fd, chunk, sizeof chunk)) > 0) {
    for (ssize_t i = 0; i < got && !found; ++i) {
      if (chunk[i] != '\n') {
        if (length + 1 < sizeof line) line[length++] = chunk[i];
        continue;
      }
      line[length] = '\0';
      length = 0;
      if (const char* file = fileMappedAt(line, address)) {
        std::strncpy(module, file, sizeof module - 1);
        module[sizeof module - 1] = '\0';
        found = true;
      }
    }
  }
  close(fd);
  return found;
}

}  // namespace

void armFatalReport(uint32_t channel, const std::string& blockFile) {
  armedChannel = channel;
  copyWhole(armedBlockFile, blockFile);
  prepareFaultHandling();
  armed.store(true, std::memory_order_release);
}

void reportFatalSignal(int signal, uintptr_t instruction) {
  const char* name = reportedName(signal);
  if (!armed.load(std::memory_order_acquire) || !name) return;
  char module[PATH_MAX];
  const FatalLine line(signal, name, instruction, moduleAt(instruction, module) ? module : "<unknown>", armedChannel);
  writeAll(STDOUT_FILENO, line.text(), line.size());
  if (armedBlockFile[0] != '\0') unlink(armedBlockFile);
}

}  // namespace corvel
